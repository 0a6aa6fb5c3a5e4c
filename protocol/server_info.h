#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include <boost/property_tree/ptree_fwd.hpp>

#include "protocol/device_info.h"

namespace velmor {

// One answering data server with the devices it lists.
struct ServerInfo {
    std::string uid;
    std::string type;
    std::vector<std::string> addresses;
    std::uint16_t port = 0;
    std::uint32_t apiVersion = 0;
    std::string serverVersion;
    std::uint32_t minClientRev = 0;
    std::vector<DeviceInfo> devices; // document order

    // True when `type` is "dataserver" in any letter case.
    bool isDataServer() const;

    friend bool operator==(const ServerInfo&, const ServerInfo&) = default;
};

// Builds a server from one parsed server object. "devices" may be an array of device
// objects or an object whose members are device objects. Never fails.
ServerInfo readServerInfo(const boost::property_tree::ptree& tree);

} // namespace velmor
