// Which devices of a search the finder shows, and how their rows read and sort.
#pragma once

#include <compare>
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

// The row text of the device list, "TYPE - SERIAL - ADDRESS", as the wide format
// "%s - %s - %s" writes it: each "%s" stops at its value's first NUL (an answer's
// "\u0000") and the rest of the format stays. The narrow form is rbfind's (UTF-8 bytes),
// the wide one the window's (widened text); both cut at the same places.
std::string deviceRowText(std::string_view type, std::string_view serial, std::string_view address);
std::u16string deviceRowText(std::u16string_view type, std::u16string_view serial,
                             std::u16string_view address);
std::string deviceRowText(const DeviceInfo& device);

// The order of the sorted device list, in both windows and in rbfind: the order of a
// Windows sorted list box, whose rows the system compares ignoring case in the user's
// default locale (a "word sort"). For ASCII:
// - first the characters that have a primary weight, in this order: white space,
//   punctuation, the symbols + < = >, digits, then letters, case ignored;
// - control characters (NUL included), the apostrophe and the hyphen have none and are
//   passed over, so "RB-1" ties with "RB1" at first. Only between texts equal so far do
//   they count, pair by pair from the left: the one behind more weighted characters
//   first, then by their own weight (controls in code order, then ', then -); the text
//   whose passed-over characters run out first comes first.
// Every other code unit weighs more than ASCII, by its value; a narrow byte of 0x80 or
// more counts as widenText() widens it, so a narrow text and its widened one sort alike.
// Texts that are equal under this order differ in letter case only; a sorted list puts a
// new row behind its equals.
std::weak_ordering compareRowTexts(std::string_view left, std::string_view right);
std::weak_ordering compareRowTexts(std::u16string_view left, std::u16string_view right);

// The row texts of `devices` as the sorted list shows them; equal texts keep their order.
std::vector<std::string> sortedRowTexts(const std::vector<DeviceInfo>& devices);

} // namespace velmor
