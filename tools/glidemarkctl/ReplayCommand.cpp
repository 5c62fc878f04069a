#include "Commands.h"

namespace gm::ctl {

void addReplayCommand(CLI::App&, int&) {}

}  // namespace gm::ctl
