#include "protocol/device_info.h"

#include <boost/algorithm/string/predicate.hpp>
#include <boost/property_tree/ptree.hpp>

#include "protocol/property_reading.h"

namespace velmor {

DeviceInfo readDeviceInfo(const boost::property_tree::ptree& tree) {
    DeviceInfo device;
    device.serial = readText(tree, "serial");
    device.type = readText(tree, "type");
    device.address = readText(tree, "address");
    for (const auto& name : readStringList(tree, "interfaces")) {
        if (const auto interface = parseInterfaceType(name); interface != InterfaceType::None) {
            device.interfaces.insert(interface);
        }
    }
    device.connected = parseInterfaceType(readText(tree, "connected"));
    device.connectedServerUid = readText(tree, "connectedServerUid");
    device.available = readValue<bool>(tree, "available", false);
    device.owner = readText(tree, "owner");
    if (boost::algorithm::iequals(device.owner, "none")) {
        device.owner.clear();
    }
    device.status = readText(tree, "status");
    if (device.status == "free") {
        device.status = "Available";
    }
    device.statusFlags = readValue<std::uint32_t>(tree, "statusFlags", 0);
    device.options = readText(tree, "options");
    device.firmwareRev = readValue<std::uint32_t>(tree, "firmwareRev", 0);
    device.minServRev = readValue<std::uint32_t>(tree, "minServRev", 0);
    if (device.minServRev == 0) {
        device.minServRev = 0xFFFFFFFF;
    }
    device.kvComVersion = readValue<std::uint32_t>(tree, "kvComVersion", 0);
    device.lastRefresh = readValue<std::uint64_t>(tree, "lastRefresh", 0);
    return device;
}

} // namespace velmor
