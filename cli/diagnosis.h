// rbfind --diagnose: what one search did, told for a person who wonders why it found
// nothing, from the search's own counters.
#pragma once

#include <list>
#include <string>
#include <vector>

#include "app/device_selection.h"
#include "cli/reachability.h"
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
    // Instruments heard but out of reach, and adapters that explain an empty search.
    std::vector<ReachabilityFinding> reachability;
    std::vector<std::string> hints; // only when nothing was listed
};

// `servers` are the search's records, `listed` the number of devices it shows and
// `subnets` this computer's (a host asked by unicast is reached by a route, so only the
// adapters are looked at then).
Diagnosis diagnose(const SearchStatistics& statistics, const std::list<ServerInfo>& servers,
                   SelectionMode mode, std::size_t listed, bool unicast,
                   const std::vector<LocalSubnet>& subnets = {});

// The report as lines of text; texts from the network are made terminal-safe.
std::string diagnosisText(const Diagnosis& diagnosis);

// The report as the value of a "diagnosis" member.
void writeDiagnosisJson(JsonWriter& json, const Diagnosis& diagnosis);

} // namespace velmor::cli
