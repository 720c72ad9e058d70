// The corrected mode: fixes of the design's own defects, each opt-in behind one setting. With the mode
// off the program follows the design to the letter, byte for byte. Each correction is one switch point
// at the place it changes behaviour, asked for by its name: `if (mode.Applies(Correction::X))`.
#pragma once

namespace skyvox {

enum class Correction {
  SoundBearings,             // bearings, courses and destination points by numerically sound formulas
  LinesHeardInPass,          // a line that changes within a consumed pass is still sent
  PlansNameRealAirports,     // "pst_fp:" airports match by identifier and by name without blanks
  RunwayBusyThisRunway,      // only pilots at the same airport make its runway busy
  GoAroundLeavesQueue,       // go-arounds and missed approaches leave the landing queue
  NoEmptyHandoff,            // a handoff with no facility to hand off to says so properly
  HandoffSurvivesTraffic,    // a traffic report keeps the handoff option and the flight plan
  DepartedSenderSkipped,     // a message whose sender's name cannot be found is skipped
  TwoDigitChoices,           // menus past nine options accept "10", "11" ...
  OneLineOnce,               // a line whose state changes on its own goes out once, with its options
  NumbersAsRead,             // ground speed rounded; spot numbers never taxiway names; south missed approach
  MagVarFromModel,           // without magdec.bgl, the World Magnetic Model's variation
  SilentPilotsReleaseSlots,  // 60 s without a position report in a queue or on approach: the slot is freed
  WholeBuildsOnly,           // a first-run build cut short is built again at the next start
};

struct CorrectedMode {
  bool On = false;
  bool Applies(Correction) const { return On; }
};

}  // namespace skyvox
