// The chain of windows: each controller says which window opens when it closes.
#pragma once

namespace skyvox::app {

enum class NextWindow {
  None,             // still open, or closed without a successor
  SimulatorFolder,  // "Creating Configuration File"
  Settings,         // "Settings"
  Connection,       // "Connecting to FS Multiplayer Session"
  Station,          // "ATC Station Window"
  Terminate,        // the program ends
};

}  // namespace skyvox::app
