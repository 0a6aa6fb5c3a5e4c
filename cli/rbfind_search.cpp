#include "cli/rbfind_search.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

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

SearchOutcome searchForFirst(const RbfindOptions& options) {
    if (!options.first) {
        return searchOnce(options);
    }
    using Clock = std::chrono::steady_clock;
    // As long as the window's search: each one asks again.
    constexpr std::int64_t roundMs = 2000;
    const auto end = Clock::now() + std::chrono::milliseconds(options.timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        RbfindOptions round = options;
        round.timeoutMs = std::clamp<std::int64_t>(left, 0, roundMs);
        SearchOutcome outcome = searchOnce(round);
        if (left <= roundMs || anyDeviceSelected(outcome.servers, selectionModeOf(options))) {
            return outcome;
        }
    }
}

} // namespace velmor::cli
