#include "cli/rbfind_search.h"

#include <KVLogger>

#include "discovery/multicast_discovery.h"
#include "net/local_addresses.h"
#include "protocol/discovery_message.h"

namespace velmor::cli {

SelectionMode selectionModeOf(const RbfindOptions& options) {
    return options.all ? SelectionMode::all : SelectionMode::window;
}

SearchOutcome searchOnce(const RbfindOptions& options) {
    // The window's search: every address kind, both ports, one multicast hop.
    MulticastDiscovery discovery(static_cast<std::int32_t>(allAddressKinds), &discoveryPorts, 1);
    SearchTuning tuning;
    tuning.localAddresses = options.addresses;
    if (options.first) {
        const SelectionMode mode = selectionModeOf(options);
        tuning.fast = true;
        tuning.stopWhen = [mode](const std::list<ServerInfo>& servers) {
            return anyDeviceSelected(servers, mode);
        };
    }
    discovery.setTuning(std::move(tuning));
    discovery.run(RequestFlag::Servers, options.timeoutMs);

    const SearchStatistics& statistics = discovery.statistics();
    logging::LogMessage(logging::debug)
        << "Search " << statistics.requestId << ": " << statistics.sockets << " sockets, "
        << statistics.storedAnswers << " answers stored, " << statistics.droppedAnswers
        << " dropped" << (statistics.stoppedEarly ? ", stopped early" : "");
    return SearchOutcome{statistics.requestId, discovery.servers()};
}

} // namespace velmor::cli
