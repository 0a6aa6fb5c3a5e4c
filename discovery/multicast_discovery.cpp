#include "discovery/multicast_discovery.h"

#include <algorithm>
#include <string>
#include <vector>

#include <boost/uuid/uuid_io.hpp>

#include <KVLogger>

#include "discovery/search_run.h"
#include "net/host_name.h"
#include "net/local_addresses.h"
#include "protocol/discovery_message.h"

namespace velmor {

const std::vector<std::uint16_t> discoveryPorts{8017, 8018};

namespace {

using logging::LogMessage;

std::vector<LocalAddress> onlyListed(std::vector<LocalAddress> addresses,
                                     const std::vector<std::string>& wanted) {
    if (wanted.empty()) {
        return addresses;
    }
    std::erase_if(addresses, [&wanted](const LocalAddress& local) {
        return std::find(wanted.begin(), wanted.end(), local.address) == wanted.end();
    });
    return addresses;
}

} // namespace

MulticastDiscovery::MulticastDiscovery(std::int32_t kinds,
                                       const std::vector<std::uint16_t>* portList,
                                       std::uint64_t hops)
    : ioContext(), addressKinds(kinds), ports(portList), deviceList(), serverList(),
      localHostName(hostName()), randomSource(), multicastHops(hops) {}

void MulticastDiscovery::run() {
    run(RequestFlag::Servers, 2000);
}

void MulticastDiscovery::run(std::int32_t requestFlags, std::int64_t timeoutMs) {
    const std::vector<std::string> deviceNames;
    const std::vector<std::string> serverNames;
    discover(requestFlags, deviceNames, serverNames, timeoutMs);
}

std::string MulticastDiscovery::makeRequestId() {
    return localHostName + "-" + boost::uuids::to_string(randomSource());
}

void MulticastDiscovery::discover(std::int32_t requestFlags,
                                  const std::vector<std::string>& deviceNames,
                                  const std::vector<std::string>& serverNames,
                                  std::int64_t timeoutMs) {
    // Nothing of an earlier search on this object may pass for this one's results.
    searchStatistics = SearchStatistics{};
    deviceList.clear();
    serverList.clear();

    const bool unicast = !searchTuning.unicastHosts.empty() && !searchTuning.multicastToo;
    const std::vector<LocalAddress> localAddresses =
        unicast ? std::vector<LocalAddress>{}
                : onlyListed(enumerateLocalAddresses(static_cast<std::uint32_t>(addressKinds),
                                                     searchAddressFlags),
                             searchTuning.localAddresses);
    if (!unicast && localAddresses.empty()) {
        LogMessage(logging::debug) << "No local adresses to discover on";
        return;
    }

    searchStatistics.requestId = makeRequestId();
    SearchRun search(ioContext, searchTuning, searchStatistics,
                     makeDiscoveryRequest(DiscoveryProtocolVersion, searchStatistics.requestId,
                                          requestFlags, deviceNames, serverNames));
    search.openSockets(localAddresses, *ports, multicastHops);
    const std::int64_t settledMs = search.settle();
    search.wait(timeoutMs, settledMs);
    search.closeAndDrain();
    search.merge(deviceList, serverList);
}

} // namespace velmor
