#include "app/device_search.h"

#include <utility>

#include <KVLogger>

#include "discovery/multicast_discovery.h"
#include "net/local_addresses.h"
#include "protocol/discovery_message.h"

namespace velmor {

SearchResult MulticastDeviceSearch::search(const SearchSettings& settings, std::stop_token stop) {
    MulticastDiscovery discovery(static_cast<std::int32_t>(allAddressKinds), &discoveryPorts, 1);
    SearchTuning tuning;
    tuning.localAddresses = settings.localAddresses;
    tuning.unicastHosts = settings.unicastHosts;
    if (tuning.unicastHosts.empty() && !settings.additionalHosts.empty()) {
        tuning.unicastHosts = settings.additionalHosts;
        tuning.multicastToo = true;
    }
    tuning.stop = std::move(stop);
    if (settings.stopWhen) {
        tuning.fast = true;
        tuning.stopWhen = settings.stopWhen;
    }
    discovery.setTuning(std::move(tuning));
    discovery.run(RequestFlag::Servers, settings.timeoutMs);

    const SearchStatistics& statistics = discovery.statistics();
    logging::LogMessage(logging::debug)
        << "Search " << statistics.requestId << ": " << statistics.sockets << " sockets, "
        << statistics.storedAnswers << " answers stored, " << statistics.droppedAnswers
        << " dropped" << (statistics.stoppedEarly ? ", stopped early" : "");

    SearchResult result;
    if (statistics.requestsSent > 0) {
        result.requestId = statistics.requestId;
    }
    result.servers = discovery.servers();
    result.stoppedEarly = statistics.stoppedEarly;
    result.cancelled = statistics.cancelled;
    result.statistics = statistics;
    return result;
}

} // namespace velmor
