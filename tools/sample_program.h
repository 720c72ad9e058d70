// The program's first start on the sample world of the Pacific Northwest, as a person goes through it:
// a simulator folder written from data/sample_world.txt, the start-up check, the simulator-folder
// window, the settings window's first-run build tick by tick, the controlled airports added one by one
// and "Next". The demo narrates it; the end-to-end tests start from the folder it leaves.
#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace skyvox::tools {

struct SampleProgram {
  std::string AppFolder;  // WORK/Skyvox: database, configuration, terrain
  std::string SimFolder;  // WORK/FS2002
};

// Runs the first start in `work` with `dataDir` holding the shipped data (sample_world.txt, WMM.COF,
// the terrain file). Prints each window's step, the build's progress and what was loaded to `out`.
// Throws std::runtime_error when a window does not lead where a first start leads (an Ident the
// sample world lacks, a folder that cannot be written).
SampleProgram FirstStartOnSampleWorld(const std::string& work, const std::vector<std::string>& controlled,
                                      const std::string& dataDir, std::ostream& out);

}  // namespace skyvox::tools
