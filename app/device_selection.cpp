#include "app/device_selection.h"

#include <algorithm>
#include <unordered_set>

#include <boost/algorithm/string/predicate.hpp>

#include "protocol/device_family.h"

namespace velmor {

namespace {

// Upper-casing as the default "C" locale does it: ASCII letters only.
char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool isSelected(const ServerInfo& server, const DeviceInfo& device, SelectionMode mode) {
    return mode == SelectionMode::all || windowExclusion(server, device) == Exclusion::none;
}

bool isServerSearched(const ServerInfo& server, SelectionMode mode) {
    return mode == SelectionMode::all || server.isDataServer();
}

} // namespace

Exclusion windowExclusion(const ServerInfo& server, const DeviceInfo& device) {
    if (!server.isDataServer()) {
        return Exclusion::notDataServer;
    }
    if (deviceFamilyFromType(device.type) != DeviceFamily::RB) {
        return Exclusion::notRbType;
    }
    return serverOwnsDevice(server, device) ? Exclusion::none : Exclusion::notServersOwn;
}

bool serverOwnsDevice(const ServerInfo& server, const DeviceInfo& device) {
    // Without a uid a server speaks for its device only when it lists exactly one. An
    // empty serial is contained in every uid.
    return (server.uid.empty() && server.devices.size() == 1) ||
           boost::algorithm::icontains(server.uid, device.serial);
}

std::vector<DeviceInfo> selectDevices(const std::list<ServerInfo>& servers, SelectionMode mode) {
    std::vector<DeviceInfo> selected;
    for (const ServerInfo& server : servers) {
        if (!isServerSearched(server, mode)) {
            continue;
        }
        for (const DeviceInfo& device : server.devices) {
            if (!isSelected(server, device, mode)) {
                continue;
            }
            DeviceInfo copy = device;
            copy.address = server.addresses.empty() ? std::string() : server.addresses.front();
            selected.push_back(std::move(copy));
        }
    }
    return selected;
}

bool anyDeviceSelected(const std::list<ServerInfo>& servers, SelectionMode mode) {
    return std::any_of(servers.begin(), servers.end(), [mode](const ServerInfo& server) {
        return isServerSearched(server, mode) &&
               std::any_of(server.devices.begin(), server.devices.end(),
                           [&server, mode](const DeviceInfo& device) {
                               return isSelected(server, device, mode);
                           });
    });
}

std::vector<DeviceInfo> uniqueBySerial(std::vector<DeviceInfo> devices) {
    std::unordered_set<std::string> serials;
    std::vector<DeviceInfo> unique;
    unique.reserve(devices.size());
    for (DeviceInfo& device : devices) {
        if (serials.insert(device.serial).second) {
            unique.push_back(std::move(device));
        }
    }
    return unique;
}

std::string deviceRowText(const DeviceInfo& device) {
    return device.type + " - " + device.serial + " - " + device.address;
}

bool rowTextLess(std::string_view left, std::string_view right) {
    return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(),
                                        [](char a, char b) {
                                            return static_cast<unsigned char>(asciiUpper(a)) <
                                                   static_cast<unsigned char>(asciiUpper(b));
                                        });
}

std::vector<std::string> sortedRowTexts(const std::vector<DeviceInfo>& devices) {
    std::vector<std::string> rows;
    rows.reserve(devices.size());
    for (const DeviceInfo& device : devices) {
        rows.push_back(deviceRowText(device));
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const std::string& a, const std::string& b) { return rowTextLess(a, b); });
    return rows;
}

} // namespace velmor
