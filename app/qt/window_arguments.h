// The Linux window's command line: only --host H (repeatable), each host asked by
// unicast beside the multicast search from the first search on.
#pragma once

#include <string>
#include <vector>

namespace velmor::qt {

struct WindowArguments {
    std::vector<std::string> hosts; // IPv4 addresses, resolved, without repeats
    std::string error;              // a usage error for the user, in one line
};

// `arguments` are those after the program name that Qt left. Names are resolved here.
WindowArguments parseWindowArguments(const std::vector<std::string>& arguments);

} // namespace velmor::qt
