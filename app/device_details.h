// A listed device's record as a person reads it: the row's texts and what the latest
// search's server records say of it, without raw JSON.
#pragma once

#include <list>
#include <string>

#include "app/device_table.h"
#include "protocol/server_info.h"

namespace velmor {

// Lines "Name: value". The row's type, serial and address come from `entry`; the rest
// from the first data server of `servers` whose answer came from the entry's address and
// that lists its serial, when there is one. Texts are the records' bytes.
std::string deviceDetailsText(const DeviceEntry& entry, const std::list<ServerInfo>& servers);

} // namespace velmor
