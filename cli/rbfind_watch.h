#pragma once

#include "cli/rbfind_options.h"

namespace velmor::cli {

// rbfind --watch: searches every period and prints a timestamped line for every device
// that comes or goes, as the window logs them. Runs until SIGINT or SIGTERM, then the
// process exits with 0.
[[noreturn]] void watchDevices(const RbfindOptions& options);

} // namespace velmor::cli
