#pragma once

#include <cstdint>
#include <set>
#include <string>

#include <boost/property_tree/ptree_fwd.hpp>

#include "protocol/interface_type.h"

namespace velmor {

// One device as a data server lists it. Texts are the JSON bytes as read.
struct DeviceInfo {
    std::string serial;
    std::string type;
    std::string address;
    std::set<InterfaceType> interfaces; // never holds InterfaceType::None
    InterfaceType connected = InterfaceType::None;
    std::string connectedServerUid;
    bool available = false;
    std::string owner;  // "" when the server says "none"
    std::string status; // "Available" when the server says "free"
    std::uint32_t statusFlags = 0;
    std::string options;
    std::uint32_t firmwareRev = 0;
    std::uint32_t minServRev = 0xFFFFFFFF; // 0 (or unreadable) means "no limit"
    std::uint32_t kvComVersion = 0;
    std::uint64_t lastRefresh = 0;

    friend bool operator==(const DeviceInfo&, const DeviceInfo&) = default;
};

// Builds a device from one parsed device object. Never fails: every missing or
// malformed member gives its default.
DeviceInfo readDeviceInfo(const boost::property_tree::ptree& tree);

} // namespace velmor
