#pragma once

#include "cli/rbfind_options.h"

namespace velmor::cli {

// rbfind --watch: searches every period on the shell's worker and prints a timestamped
// line for every device that comes or goes, as the window logs them. Returns once SIGINT
// or SIGTERM has come and the worker has ended: a running search is stopped and no line
// is cut.
void watchDevices(const RbfindOptions& options);

} // namespace velmor::cli
