// The two messages of the discovery protocol that this system uses: the request it
// sends and the answer it accepts, each one compact JSON object in one UDP datagram.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include <boost/property_tree/ptree_fwd.hpp>

#include "protocol/device_info.h"
#include "protocol/server_info.h"

namespace velmor {

// Written into every request and compared with the version of every answer.
inline constexpr std::uint32_t DiscoveryProtocolVersion = 3;

inline constexpr const char* DiscoveryRequestType = "kv-discovery-request";
inline constexpr const char* DiscoveryAnswerType = "kv-discovery-answer";

// Bits of DiscoveryRequest::flags.
struct RequestFlag {
    static constexpr std::int32_t Devices = 1; // ask for devices; the request carries "devices"
    static constexpr std::int32_t Servers = 2; // ask for servers; the request carries "servers"
};

struct DiscoveryRequest {
    std::string messageType;
    std::uint32_t version = 0;
    std::string id; // the only link between an answer and its request
    std::uint32_t minDiscoveryVersion = 0;
    std::int32_t flags = 0;
    std::vector<std::string> deviceList;
    std::vector<std::string> serverList;

    friend bool operator==(const DiscoveryRequest&, const DiscoveryRequest&) = default;
};

// One stored datagram: the sender's address text (no port) and the bytes received.
struct ReceivedAnswer {
    std::string sender;
    std::string payload;
};

struct DiscoveryAnswer {
    std::list<DeviceInfo> devices;
    std::list<ServerInfo> servers;
    DiscoveryRequest header; // only messageType, version, id and minDiscoveryVersion are read
};

// A request of type "kv-discovery-request" with minDiscoveryVersion 0.
DiscoveryRequest makeDiscoveryRequest(std::uint32_t version, std::string id, std::int32_t flags,
                                      std::vector<std::string> deviceList,
                                      std::vector<std::string> serverList);

// The request's compact JSON text followed by one line feed, exactly as it goes on the
// wire. Every value is a JSON string; a list without non-empty texts is written "".
std::string serializeDiscoveryRequest(const DiscoveryRequest& request);

// Reads a protocol number as std::stoul does in base 10, computed in 32 bits: leading
// white space, an optional sign, digits up to the first non-digit. "-1" gives
// 4294967295; no digit, or a magnitude above 32 bits, gives 0.
std::uint32_t parseProtocolNumber(const std::string& text);

// The header members "request", "version", "id" and "minDiscoveryVersion" of a parsed
// message; missing members give "", 0, "" and 0.
DiscoveryRequest readMessageHeader(const boost::property_tree::ptree& tree);

// The header and the top-level "devices" and "servers" of a parsed answer.
DiscoveryAnswer parseDiscoveryAnswer(const boost::property_tree::ptree& tree);

} // namespace velmor
