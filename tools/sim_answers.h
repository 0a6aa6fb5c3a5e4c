// What rbsim reads from a request and the answer datagrams it sends back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/discovery_message.h"
#include "tools/sim_servers.h"

namespace velmor::tools {

// The finder reads at most this many bytes of a datagram.
inline constexpr std::size_t MaxAnswerDatagramBytes = 4096;

// What an answer depends on in a request.
struct SimRequest {
    std::string id;
    bool wantsDevices = false; // the request carries "devices"
    bool wantsServers = false; // the request carries "servers"
};

// The request in a datagram, or nothing when the datagram is not a JSON object of type
// "kv-discovery-request". A missing "id" reads as "".
std::optional<SimRequest> readSimRequest(const std::string& payload);

// `raw` with each "@ID@" replaced by `id` as the inside of a JSON string, so that a
// hand-made answer can pass the finder's id check.
std::string withRequestId(const std::string& raw, const std::string& id);

// The header of the answers to one request.
struct AnswerHeader {
    std::uint32_t version = DiscoveryProtocolVersion;
    std::string id;
    bool withDevices = false; // add the top-level "devices" of the servers in each datagram
};

// Compact JSON texts of the records, numbers as numbers and "available" as a boolean,
// as a data server writes them.
std::string serverJson(const SimServer& server);
std::string deviceJson(const SimDevice& device);

// Renders the servers once and packs them into answers for any number of requests.
class AnswerBuilder {
public:
    explicit AnswerBuilder(const std::vector<SimServer>& servers,
                           std::size_t maxDatagramBytes = MaxAnswerDatagramBytes);

    // The answer datagrams for one request: every server exactly once, in order, as many
    // per datagram as fit within the limit, so one datagram for a small configuration.
    // A server too large to fit on its own gets a datagram of its own that exceeds the
    // limit. Without servers, one answer with an empty "servers" array.
    std::vector<std::string> datagrams(const AnswerHeader& header) const;

private:
    struct Rendered {
        std::string server;
        std::string devices; // the device objects joined with commas, "" for none
    };
    // The datagram of servers [first, last) behind `prefix`, the answer's opening.
    std::string assemble(const std::string& prefix, const AnswerHeader& header, std::size_t first,
                         std::size_t last) const;
    std::vector<Rendered> rendered_;
    std::size_t maxDatagramBytes_;
};

} // namespace velmor::tools
