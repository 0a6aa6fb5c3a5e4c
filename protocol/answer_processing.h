#pragma once

#include <cstddef>
#include <cstdint>
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

// What one datagram turned out to be.
enum class AnswerVerdict {
    accepted,     // an answer to this request: its records are taken
    notJson,      // not valid JSON after the line-feed repair, or nested too deeply
    notAnAnswer,  // valid JSON, but no "kv-discovery-answer"
    otherRequest, // an answer that carries another request's id
};

// The records of one accepted answer, in document order.
struct AnswerRecords {
    std::list<DeviceInfo> devices;
    std::list<ServerInfo> servers;
    std::uint32_t version = 0; // the protocol version the answer names

    // Servers, devices and the devices the servers carry, each counted once: what the
    // records cost in memory, roughly.
    std::size_t recordCount() const;
};

// The answer handling of one datagram: repaired, parsed and, when it is a
// "kv-discovery-answer" whose id equals `request.id`, turned into records in `records`
// (replaced). A version other than 3 is logged at debug and the answer still used.
// Devices (flag 1) take the sender as their address; servers (flag 2) take the sender as
// their only address.
AnswerVerdict processAnswer(const ReceivedAnswer& received, const DiscoveryRequest& request,
                            AnswerRecords& records);

// The answer handling of one discovery socket. Each stored datagram, in list order
// (newest first), is repaired, parsed and kept only when it is a "kv-discovery-answer"
// whose id equals `request.id`; anything else is skipped without a message. A version
// other than 3 is logged at debug and the answer still used. Devices (flag 1) take the
// sender as their address; servers (flag 2) take the sender as their only address.
// Nothing is de-duplicated. Empties `answers` and replaces `devices` and `servers`.
void processAnswers(std::forward_list<ReceivedAnswer>& answers, const DiscoveryRequest& request,
                    std::list<DeviceInfo>& devices, std::list<ServerInfo>& servers);

} // namespace velmor
