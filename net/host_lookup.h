// The hosts asked by unicast (rbfind --host, the window's "Ask a host..."), resolved once
// when they are given.
#pragma once

#include <string>
#include <vector>

namespace velmor {

struct HostLookup {
    std::vector<std::string> addresses; // IPv4 texts, without repeats, in the order given
    std::string error;                  // the first name that did not resolve, in one line
};

// True when `text` is an IPv4 address in dotted-quad form without leading zeros.
bool isDottedQuad(const std::string& text);

// IPv4 literals are taken as they are; a name becomes the first IPv4 address the
// system's resolver gives for it.
HostLookup lookUpHosts(const std::vector<std::string>& hosts);

} // namespace velmor
