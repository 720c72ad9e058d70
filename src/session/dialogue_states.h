// The dialogue's vocabulary: the values of a pilot's PilotRequest (where its dialogue stands) and
// FacilityType (whom it is tuned to). They are plain strings stored in the pilot's record and compared
// exactly, as the design keeps them, because some states are built by prefixing others ("Reporting
// Traffic and ", "Out of Airspace - "). Every dialogue names them from here.
#pragma once

namespace skyvox::session {

namespace states {
// The unplaced pilot: choosing an airport or a frequency, and what the receive loop records.
inline constexpr const char* kSelectingAControlledAirport = "Selecting a controlled airport";
inline constexpr const char* kSelectingOneFrequency = "Selecting one frequency";
inline constexpr const char* kPlayerIsAirbone = "Player is airbone";
// Clearance delivery and ground.
inline constexpr const char* kRequestingIfrClearance = "Requesting IFR Clearance";
inline constexpr const char* kAcknowledgeIfrClearance = "Acknowledge IFR Clearance";
inline constexpr const char* kRequestingTaxiIfr = "Requesting Taxi IFR";
inline constexpr const char* kContactingGround = "Contacting Ground";
inline constexpr const char* kAcknowledgeTaxiClearance = "Acknowledge Taxi Clearance";
inline constexpr const char* kTaxiing = "Taxiing";
inline constexpr const char* kCancelingIfr = "Canceling IFR";
// Tower.
inline constexpr const char* kAcknowledgeTakeoffClearanceVfr = "Acknowledge Takeoff Clearance VFR";
inline constexpr const char* kAcknowledgeTakeoffClearanceIfr = "Acknowledge Takeoff Clearance IFR";
inline constexpr const char* kAcknowledgeHoldShort = "Acknowledge Hold Short";
inline constexpr const char* kHoldingShort = "Holding Short";
inline constexpr const char* kTakingoff = "Takingoff";
inline constexpr const char* kFlyingTowersAirspace = "Flying Tower's Airspace";
inline constexpr const char* kAcknowledgeHandoffContactDeparture = "Acknowledge Handoff - Contact Departure";
inline constexpr const char* kContactingDepartureDepartureAirport =
    "Contacting Departure - Departure Airport";
inline constexpr const char* kApproaching = "Approaching";
inline constexpr const char* kFlyingPattern = "Flying Pattern";
inline constexpr const char* kAcknowledgeLandingClearance = "Acknowledge Landing Clearance";
inline constexpr const char* kLanding = "Landing";
inline constexpr const char* kAcknowledgeGoAround = "Acknowledge Go-Around";
inline constexpr const char* kGoingAround = "Going Around";
inline constexpr const char* kAcknowledgeHandoffMissedApproach = "Acknowledge Handoff - Missed Approach";
inline constexpr const char* kMissedApproach = "Missed Approach";
inline constexpr const char* kAcknowledgeGroundHandoff = "Acknowledge Ground Handoff";
inline constexpr const char* kChangingFrequency = "Changing frequency";
// Departure, approach and center.
inline constexpr const char* kDeparting = "Departing";
inline constexpr const char* kAcknowledgeInstructionDeparting = "Acknowledge Instruction - Departing";
inline constexpr const char* kEnroute = "Enroute";
inline constexpr const char* kAcknowledgeSquawkCode = "Acknowledge Squawk Code";
inline constexpr const char* kAcknowledgeRadarContact = "Acknowledge Radar Contact";
inline constexpr const char* kDescending = "Descending";
inline constexpr const char* kIlsApproach = "ILS Approach";
inline constexpr const char* kVisualApproach = "Visual Approach";
inline constexpr const char* kLookingForAirport = "Looking for Airport";
inline constexpr const char* kFlightFollowingInProgress = "Flight Following in Progress";
inline constexpr const char* kAcknowledgeHandoff = "Acknowledge Handoff";
// Prefixes put in front of the interrupted state and taken off again.
inline constexpr const char* kReportingTrafficPrefix = "Reporting Traffic and ";
inline constexpr const char* kOutOfAirspacePrefix = "Out of Airspace - ";
}  // namespace states

namespace facilities {
inline constexpr const char* kClearance = "Clearance";
inline constexpr const char* kGround = "Ground";
inline constexpr const char* kTower = "Tower";
inline constexpr const char* kDeparture = "Departure";
inline constexpr const char* kApproach = "Approach";
inline constexpr const char* kCenter = "Center";
}  // namespace facilities

}  // namespace skyvox::session
