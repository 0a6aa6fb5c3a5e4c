// The data servers and devices that rbsim pretends to be, as it writes them on the wire.
// Unlike the finder's records these keep the texts a real server sends ("none", "free",
// interface names), so a configuration can also carry values the finder must tolerate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmor::tools {

struct SimDevice {
    std::string serial;
    std::string type = "RBLK";
    std::string address;
    std::vector<std::string> interfaces{"USB", "1GbE"};
    std::string connected = "1GbE";
    std::string connectedServerUid; // the uid of the device's own server unless configured
    bool available = true;
    std::string owner = "none";
    std::string status = "free";
    std::uint32_t statusFlags = 0;
    std::string options;
    std::uint32_t firmwareRev = 1;
    std::uint32_t minServRev = 1;
    std::uint32_t kvComVersion = 1;
    std::uint64_t lastRefresh = 0;
};

struct SimServer {
    std::string uid;
    std::string type = "dataserver";
    std::vector<std::string> addresses;
    std::uint16_t port = 80;
    std::uint32_t apiVersion = 1;
    std::string serverVersion = "1.0.0";
    std::uint32_t minClientRev = 1;
    std::vector<SimDevice> devices;
};

// A configuration file that cannot be used; the text says where and why.
class SimConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads {"servers":[ server objects ]} with the wire member names; every member is
// optional. A missing "uid" becomes "dataserver-" + the first device's serial, and a
// missing "connectedServerUid" the uid of the device's server. Members of the wrong kind
// (a word where a number belongs, a number out of range, an object for a text) throw.
std::vector<SimServer> parseSimConfig(const std::string& json);

// One server of `serverType` holding one device per serial/type pair, in order. The
// shorter list is padded: serials with "RB0001", "RB0002", ... by position, types with
// "RBLK". An empty `uid` becomes "dataserver-" + the first serial.
std::vector<SimServer> makeSimServers(std::vector<std::string> serials,
                                      std::vector<std::string> types, std::string uid,
                                      std::string serverType);

// `count` servers "sim-RB0001", "sim-RB0002", ... of type "dataserver", each holding one
// RBLK device whose serial ("RB0001", ...) is part of its server's uid, so that the
// finder lists every one of them. Serials have at least four digits, more when `count`
// needs them, so they all have the same length.
std::vector<SimServer> makeGeneratedServers(std::size_t count);

} // namespace velmor::tools
