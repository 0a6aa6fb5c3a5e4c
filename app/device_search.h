// One discovery search as the shell sees it: settings in, server records out.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <stop_token>
#include <string>
#include <vector>

#include "discovery/search_statistics.h"
#include "protocol/server_info.h"

namespace velmor {

struct SearchSettings {
    // The window's search lasts 2000 ms.
    std::int64_t timeoutMs = 2000;
    // When not empty, only these local addresses are searched from.
    std::vector<std::string> localAddresses;
    // When not empty, only these IPv4 hosts are asked, by unicast.
    std::vector<std::string> unicastHosts;
    // IPv4 hosts asked by unicast beside the multicast search (unless unicastHosts are
    // given): their answers join the search's as multicast answers do.
    std::vector<std::string> additionalHosts;
    // When set, the search waits on each answer as it arrives and ends at the first one
    // whose records this returns true for.
    std::function<bool(const std::list<ServerInfo>&)> stopWhen;
};

struct SearchResult {
    // Empty when no request could be sent: no local address, no socket could be opened,
    // or every send failed. The search has then failed.
    std::string requestId;
    std::list<ServerInfo> servers;
    bool stoppedEarly = false; // by stopWhen
    bool cancelled = false;    // by the stop token
    // What the search did, socket by socket; empty for searches that are no real search.
    SearchStatistics statistics;

    bool failed() const { return requestId.empty(); }
};

class DeviceSearch {
public:
    virtual ~DeviceSearch() = default;
    // Runs one complete search on the calling thread. A stop request ends it early with
    // what it has. Raises what the search raises (the random source, the host name, an
    // address or socket error, memory).
    virtual SearchResult search(const SearchSettings& settings, std::stop_token stop) = 0;
};

// The real search: a fresh MulticastDiscovery for every call (every address kind, both
// discovery ports, one multicast hop), so nothing of one search can outlive it.
class MulticastDeviceSearch : public DeviceSearch {
public:
    SearchResult search(const SearchSettings& settings, std::stop_token stop) override;
};

} // namespace velmor
