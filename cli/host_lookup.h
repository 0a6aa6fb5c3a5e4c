// The hosts of rbfind --host, resolved once before the first search.
#pragma once

#include <string>
#include <vector>

namespace velmor::cli {

struct HostLookup {
    std::vector<std::string> addresses; // IPv4 texts, without repeats, in the order given
    std::string error;                  // the first name that did not resolve, in one line
};

// IPv4 literals are taken as they are; a name becomes the first IPv4 address the
// system's resolver gives for it.
HostLookup lookUpHosts(const std::vector<std::string>& hosts);

} // namespace velmor::cli
