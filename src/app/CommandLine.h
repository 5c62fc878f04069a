#pragma once
// The options `glidemark` itself understands, handled before anything else
// starts (no display, no backend): --help, --version, and --wait-for-pid PID,
// with which a copy that has just been installed waits for the copy that
// installed it to end. Everything else is left for Qt.
#include <optional>

namespace gm::app {

// Handles and removes our options from argv (argc shrinks accordingly).
// Returns an exit status when the program should end now.
std::optional<int> handleCommandLine(int& argc, char** argv);

}  // namespace gm::app
