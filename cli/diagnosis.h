// rbfind --diagnose: what one search did, told for a person who wonders why it found
// nothing, from the search's own counters.
#pragma once

#include <list>
#include <string>
#include <vector>

#include "app/device_selection.h"
#include "discovery/search_statistics.h"
#include "protocol/json_writer.h"
#include "protocol/server_info.h"

namespace velmor::cli {

// A device that a server reported and the window's filter left out.
struct LeftOutDevice {
    DeviceInfo device; // its address is the server's
    std::string serverUid;
    Exclusion reason = Exclusion::none;
    std::string explanation; // the rule that left it out, in words
};

struct Diagnosis {
    SearchStatistics statistics;
    bool unicast = false; // the hosts were asked directly
    std::size_t servers = 0;
    std::size_t listed = 0;
    std::vector<LeftOutDevice> leftOut;
    std::vector<std::string> hints; // only when nothing was listed
};

// `servers` are the search's records and `listed` the number of devices it shows.
Diagnosis diagnose(const SearchStatistics& statistics, const std::list<ServerInfo>& servers,
                   SelectionMode mode, std::size_t listed, bool unicast);

// The report as lines of text; texts from the network are made terminal-safe.
std::string diagnosisText(const Diagnosis& diagnosis);

// The report as the value of a "diagnosis" member.
void writeDiagnosisJson(JsonWriter& json, const Diagnosis& diagnosis);

} // namespace velmor::cli
