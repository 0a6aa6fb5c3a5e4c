// Which devices of a search the finder shows, and how their rows read and sort.
#pragma once

#include <list>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/device_info.h"
#include "protocol/server_info.h"

namespace velmor {

enum class SelectionMode {
    // The window's filter: RB devices that a data server reports as its own.
    window,
    // Every device of every server, whatever its family or its server.
    all,
};

// Why the window's filter leaves a device of a server out, in the order it asks: the
// server is no data server, the device is of no RB type, the server does not report the
// device as its own.
enum class Exclusion { none, notDataServer, notRbType, notServersOwn };
Exclusion windowExclusion(const ServerInfo& server, const DeviceInfo& device);

// True when `server` reports `device` as its own: either the server has no uid and lists
// exactly this one device, or its uid contains the device's serial ignoring ASCII case
// (an empty serial is contained in every uid).
bool serverOwnsDevice(const ServerInfo& server, const DeviceInfo& device);

// The selected devices, servers in list order and devices in each server's order. Each
// is a copy whose address is the server's first address (the address its answer came
// from), or empty when the server has none. Repeats are kept.
std::vector<DeviceInfo> selectDevices(const std::list<ServerInfo>& servers,
                                      SelectionMode mode = SelectionMode::window);

// True when selectDevices() would select at least one device; does not copy.
bool anyDeviceSelected(const std::list<ServerInfo>& servers,
                       SelectionMode mode = SelectionMode::window);

// Keeps the first device of every serial (compared byte for byte, so case counts), in
// order: the same instrument listed by two servers, or answering on two sockets, once.
std::vector<DeviceInfo> uniqueBySerial(std::vector<DeviceInfo> devices);

// The row text of the device list: "TYPE - SERIAL - ADDRESS".
std::string deviceRowText(const DeviceInfo& device);

// The order of the window's sorted list: row texts compared ignoring ASCII case, bytes
// otherwise as unsigned values.
bool rowTextLess(std::string_view left, std::string_view right);

// The row texts of `devices` as the sorted list shows them; equal texts keep their order.
std::vector<std::string> sortedRowTexts(const std::vector<DeviceInfo>& devices);

} // namespace velmor
