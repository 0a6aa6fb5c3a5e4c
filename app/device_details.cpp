#include "app/device_details.h"

#include <algorithm>

#include "app/wide_text.h"

namespace velmor {

namespace {

void line(std::string& text, const char* name, const std::string& value) {
    if (!value.empty()) {
        text += std::string(name) + ": " + value + "\n";
    }
}

// The record of the device as its server reported it; null when no search holds it.
const DeviceInfo* recordOf(const std::list<ServerInfo>& servers, const std::string& serial,
                           const std::string& address, const ServerInfo** server) {
    for (const ServerInfo& candidate : servers) {
        if (candidate.addresses.empty() || candidate.addresses.front() != address) {
            continue;
        }
        const auto found =
            std::find_if(candidate.devices.begin(), candidate.devices.end(),
                         [&serial](const DeviceInfo& device) { return device.serial == serial; });
        if (found != candidate.devices.end()) {
            *server = &candidate;
            return &*found;
        }
    }
    return nullptr;
}

} // namespace

std::string deviceDetailsText(const DeviceEntry& entry, const std::list<ServerInfo>& servers) {
    const std::string serial = narrowText(entry.serial);
    const std::string address = narrowText(entry.address);
    std::string text;
    line(text, "Type", narrowText(entry.type));
    line(text, "Serial", serial);
    line(text, "Address", address);
    const ServerInfo* server = nullptr;
    const DeviceInfo* device = recordOf(servers, serial, address, &server);
    if (device == nullptr) {
        return text;
    }
    line(text, "Server uid", server->uid);
    line(text, "Server type", server->type);
    line(text, "Server version", server->serverVersion);
    line(text, "Status", device->status);
    line(text, "Owner", device->owner);
    line(text, "Available", device->available ? "yes" : "no");
    line(text, "Firmware", device->firmwareRev != 0 ? std::to_string(device->firmwareRev) : "");
    line(text, "Options", device->options);
    return text;
}

} // namespace velmor
