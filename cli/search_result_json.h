// The --json document of rbfind.
#pragma once

#include <list>
#include <string>
#include <string_view>
#include <vector>

#include "cli/diagnosis.h"
#include "protocol/device_info.h"
#include "protocol/server_info.h"

namespace velmor::cli {

// {"requestId": ..., "servers": [...], "devices": [...]} on one line, without line end.
// Records use the wire member names with the values as read: texts as strings, numbers
// as numbers, "available" as a boolean, "interfaces" as the ascending interface numbers.
// `servers` are written as given; every entry of `devices` also carries "family". An
// empty request id (no request was sent) is written as null. A `diagnosis`, when given,
// is the last member, "diagnosis".
std::string searchResultJson(std::string_view requestId, const std::list<ServerInfo>& servers,
                             const std::vector<DeviceInfo>& devices,
                             const Diagnosis* diagnosis = nullptr);

} // namespace velmor::cli
