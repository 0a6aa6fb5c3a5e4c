// One discovery search on a MulticastDiscovery's I/O context, from its first socket to
// the merged records, one member per step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include "discovery/multicast_discovery.h"
#include "discovery/search_shared.h"
#include "discovery/search_statistics.h"
#include "net/local_addresses.h"
#include "protocol/device_info.h"
#include "protocol/discovery_message.h"
#include "protocol/server_info.h"

namespace velmor {

class MulticastDiscoveryInterface;

// The steps run in this order: openSockets, settle, wait, closeAndDrain, merge.
class SearchRun {
public:
    // `tuning` and `statistics` are not owned and must outlive the run; `statistics`
    // is filled in as the steps go.
    SearchRun(boost::asio::io_context& ioContext, const SearchTuning& tuning,
              SearchStatistics& statistics, DiscoveryRequest request);
    // After an error the sockets are abandoned and their aborted completions run here:
    // left queued they would run inside the next search on the same I/O context,
    // against a request that no longer exists.
    ~SearchRun();
    SearchRun(const SearchRun&) = delete;
    SearchRun& operator=(const SearchRun&) = delete;

    // One socket per address and port (or per unicast host and port), each sending as
    // soon as it is open. Raises for an address text that does not parse.
    void openSockets(const std::vector<LocalAddress>& addresses,
                     const std::vector<std::uint16_t>& ports, std::uint64_t multicastHops);
    // Reads answers for the settling time, none when the tuning is fast; gives that time.
    std::int64_t settle();
    // Reads answers until `timeoutMs` less `settledMs` pass or the search stops early.
    void wait(std::int64_t timeoutMs, std::int64_t settledMs);
    // Closes the sockets and runs handlers until none holds a socket or the deadline.
    void closeAndDrain();
    // Replaces `devices` and `servers` with the records of all sockets, the loopback
    // sockets' blocks first, and completes the statistics.
    void merge(std::list<DeviceInfo>& devices, std::list<ServerInfo>& servers);

private:
    void openMulticastSockets(const std::vector<LocalAddress>& addresses,
                              const std::vector<std::uint16_t>& ports, std::uint64_t multicastHops);
    // From the local address routed through to each host; a host without a route gets
    // a report per port and no socket.
    void openUnicastSockets(const std::vector<std::uint16_t>& ports);
    // Opens `socket` and, if it opened, sends from it and keeps it in the search.
    void addSocket(std::shared_ptr<MulticastDiscoveryInterface> socket, std::uint16_t port);
    SocketReport& newReport(const MulticastDiscoveryInterface& socket, std::uint16_t port);
    void joinAndSend(MulticastDiscoveryInterface& socket, SocketReport& report, std::uint16_t port);
    void addToStatistics(const MulticastDiscoveryInterface& socket, SocketReport& report);
    void abandonLeftovers() noexcept;

    // Runs handlers as their completions arrive until `until` holds or `milliseconds`
    // pass (when not negative), one handler at a time so that a steady stream of
    // datagrams cannot hold the search past its end; looks at the stop token at least
    // every 100 ms.
    template <typename Condition> void serve(Condition until, std::int64_t milliseconds);
    // Sleeps `milliseconds`, or less when the tuning's stop token is triggered.
    void pause(std::int64_t milliseconds) const;
    bool stopping() const;

    boost::asio::io_context& ioContext;
    const SearchTuning& tuning;
    SearchStatistics& statistics;
    const DiscoveryRequest request; // every socket of the search points to it
    SearchShared shared;
    boost::asio::steady_timer deadline;
    bool deadlineWaiting = false;
    bool timedOut = false;
    bool stopRequested = false;
    std::vector<std::size_t> reportOfSocket; // index into statistics.socketReports
    int exceptionsAtStart;
};

} // namespace velmor
