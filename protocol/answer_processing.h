#pragma once

#include <cstddef>
#include <forward_list>
#include <list>
#include <optional>
#include <string>

#include <boost/property_tree/ptree.hpp>

#include "protocol/discovery_message.h"

namespace velmor {

// Deepest bracket nesting accepted in a datagram. A real answer nests six levels
// (answer, servers, server, devices, device, interfaces); the bound keeps the
// recursive JSON reader and the recursive tree destructor far from the stack limit
// of a worker thread, even on a 4096-byte datagram of nothing but brackets.
inline constexpr std::size_t MaxJsonNesting = 64;

// The deepest nesting of arrays and objects in `text`, strings skipped as JSON reads
// them; counting stops early once `limit` is exceeded.
std::size_t jsonNestingDepth(const std::string& text, std::size_t limit);

// Parses one repaired payload. Gives nothing for invalid JSON or nesting deeper than
// MaxJsonNesting.
std::optional<boost::property_tree::ptree> parseJsonPayload(const std::string& payload);

// The answer handling of one discovery socket. Each stored datagram, in list order
// (newest first), is repaired, parsed and kept only when it is a "kv-discovery-answer"
// whose id equals `request.id`; anything else is skipped without a message. A version
// other than 3 is logged at debug and the answer still used. Devices (flag 1) take the
// sender as their address; servers (flag 2) take the sender as their only address.
// Nothing is de-duplicated. Empties `answers` and replaces `devices` and `servers`.
void processAnswers(std::forward_list<ReceivedAnswer>& answers, const DiscoveryRequest& request,
                    std::list<DeviceInfo>& devices, std::list<ServerInfo>& servers);

} // namespace velmor
