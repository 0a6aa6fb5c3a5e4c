#include "discovery/multicast_discovery.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/uuid/uuid_io.hpp>

#include <KVLogger>

#include "discovery/multicast_discovery_interface.h"
#include "net/host_name.h"
#include "net/local_addresses.h"
#include "protocol/answer_processing.h"
#include "protocol/discovery_message.h"

namespace velmor {

const std::vector<std::uint16_t> discoveryPorts{8017, 8018};

namespace {

namespace asio = boost::asio;
using logging::LogMessage;
using Milliseconds = std::chrono::milliseconds;

constexpr std::int64_t settlingSleepMs = 200;
constexpr std::int64_t idleSleepMs = 100;

void sleepMilliseconds(std::int64_t milliseconds) {
    if (milliseconds > 0) {
        std::this_thread::sleep_for(Milliseconds(milliseconds));
    }
}

// `timeoutMs` less `alreadyWaitedMs` as a timer duration, saturating instead of
// overflowing; the timer saturates the sum with the current time in turn.
asio::steady_timer::duration remainingTime(std::int64_t timeoutMs, std::int64_t alreadyWaitedMs) {
    using Duration = asio::steady_timer::duration;
    constexpr auto int64Min = std::numeric_limits<std::int64_t>::min();
    const std::int64_t milliseconds =
        timeoutMs < int64Min + alreadyWaitedMs ? int64Min : timeoutMs - alreadyWaitedMs;
    constexpr auto largest = std::chrono::duration_cast<Milliseconds>(Duration::max()).count();
    constexpr auto smallest = std::chrono::duration_cast<Milliseconds>(Duration::min()).count();
    if (milliseconds >= largest) {
        return Duration::max();
    }
    if (milliseconds <= smallest) {
        return Duration::min();
    }
    return std::chrono::duration_cast<Duration>(Milliseconds(milliseconds));
}

asio::ip::address parseLocalAddress(const std::string& text) {
    boost::system::error_code notIpv6;
    const asio::ip::address_v6 ipv6 = asio::ip::make_address_v6(text, notIpv6);
    if (!notIpv6) {
        return ipv6;
    }
    return asio::ip::make_address_v4(text);
}

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

// The local address the system routes through to reach `host`: connecting a UDP socket
// sends nothing, it only makes the kernel choose the route and the source address.
asio::ip::address routeSource(asio::io_context& io, const asio::ip::address& host,
                              boost::system::error_code& error) {
    asio::ip::udp::socket probe(io);
    probe.open(host.is_v4() ? asio::ip::udp::v4() : asio::ip::udp::v6(), error);
    if (!error) {
        probe.connect(asio::ip::udp::endpoint(host, discoveryPorts.front()), error);
    }
    const asio::ip::udp::endpoint local =
        error ? asio::ip::udp::endpoint{} : probe.local_endpoint(error);
    return local.address();
}

using SocketList = std::vector<std::shared_ptr<MulticastDiscoveryInterface>>;

bool anySocketHeld(const SocketList& sockets) {
    return std::any_of(sockets.begin(), sockets.end(),
                       [](const auto& socket) { return socket.use_count() != 1; });
}

// A search that ends with an exception leaves pending receives and perhaps the deadline's
// wait in the I/O context. They would run inside the next search on the same object,
// against a request that no longer exists, so on the way out they are closed and run.
class LeftoverCleanup {
public:
    LeftoverCleanup(asio::io_context& io, const SocketList& socketList, asio::steady_timer& timer,
                    const bool& timerWaiting)
        : ioContext(io), sockets(socketList), deadline(timer), deadlineWaiting(timerWaiting),
          exceptionsAtStart(std::uncaught_exceptions()) {}
    LeftoverCleanup(const LeftoverCleanup&) = delete;
    LeftoverCleanup& operator=(const LeftoverCleanup&) = delete;

    ~LeftoverCleanup() {
        if (std::uncaught_exceptions() == exceptionsAtStart) {
            return; // the search ended normally and has drained everything itself
        }
        boost::system::error_code ignored;
        deadline.cancel(ignored);
        for (const auto& socket : sockets) {
            socket->abandon();
        }
        try {
            // The aborted completions are ready at once; the bound only guards the unwinding.
            for (int pass = 0; pass < 100 && (deadlineWaiting || anySocketHeld(sockets)); ++pass) {
                ioContext.restart();
                if (ioContext.poll() == 0) {
                    sleepMilliseconds(1);
                }
            }
        } catch (...) {
            // Already unwinding from the first error.
        }
    }

private:
    asio::io_context& ioContext;
    const SocketList& sockets;
    asio::steady_timer& deadline;
    const bool& deadlineWaiting;
    int exceptionsAtStart;
};

} // namespace

MulticastDiscovery::MulticastDiscovery(std::int32_t kinds,
                                       const std::vector<std::uint16_t>* portList,
                                       std::uint64_t hops)
    : ioContext(), addressKinds(kinds), ports(portList), timedOut(false), deviceList(),
      serverList(), localHostName(hostName()), randomSource(), multicastHops(hops) {}

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

template <typename Condition>
void MulticastDiscovery::serve(Condition until, std::int64_t milliseconds) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end =
        milliseconds >= 0 ? Clock::now() + Milliseconds(milliseconds) : Clock::time_point::max();
    while (!until() && !stopping()) {
        const Clock::time_point now = Clock::now();
        if (now >= end) {
            return;
        }
        const Clock::duration step =
            std::min<Clock::duration>(end - now, Milliseconds(idleSleepMs));
        ioContext.restart();
        if (ioContext.run_one_for(step) == 0 && ioContext.stopped()) {
            // Nothing is waiting for a completion (no socket receives): only time passes.
            pause(
                std::max<std::int64_t>(1, std::chrono::duration_cast<Milliseconds>(step).count()));
        }
    }
}

void MulticastDiscovery::pause(std::int64_t milliseconds) const {
    if (milliseconds <= 0) {
        return;
    }
    if (!searchTuning.stop.stop_possible()) {
        sleepMilliseconds(milliseconds);
        return;
    }
    // Woken by the stop request itself, so a stopped search does not sleep on.
    std::mutex mutex;
    std::condition_variable_any stopped;
    std::unique_lock lock(mutex);
    stopped.wait_for(lock, searchTuning.stop, Milliseconds(milliseconds), [] { return false; });
}

bool MulticastDiscovery::stopping() const {
    return stopRequested || searchTuning.stop.stop_requested();
}

void MulticastDiscovery::discover(std::int32_t requestFlags,
                                  const std::vector<std::string>& deviceNames,
                                  const std::vector<std::string>& serverNames,
                                  std::int64_t timeoutMs) {
    // Nothing of an earlier search on this object may pass for this one's results.
    searchStatistics = SearchStatistics{};
    deviceList.clear();
    serverList.clear();
    stopRequested = false;

    const bool unicast = !searchTuning.unicastHosts.empty();
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
    const DiscoveryRequest request =
        makeDiscoveryRequest(DiscoveryProtocolVersion, searchStatistics.requestId, requestFlags,
                             deviceNames, serverNames);

    // Sees in each answer's servers, as the answer arrives, whether the caller has what
    // it waits for.
    const auto checkEarlyStop = [this](const std::list<ServerInfo>& answerServers) {
        if (!answerServers.empty() && searchTuning.stopWhen(answerServers)) {
            stopRequested = true;
        }
    };
    std::size_t recordsLeft = AnswerBudget::defaultSearchRecords;

    SocketList sockets;
    asio::steady_timer deadline(ioContext);
    bool deadlineWaiting = false;
    const LeftoverCleanup cleanup(ioContext, sockets, deadline, deadlineWaiting);
    std::vector<std::size_t> reportOfSocket;
    const auto addSocket = [&](std::shared_ptr<MulticastDiscoveryInterface> socket,
                               std::uint16_t port) {
        SocketReport& report = searchStatistics.socketReports.emplace_back();
        report.localAddress = socket->localAddress().to_string();
        report.destination = socket->destinationAddress().to_string();
        report.port = port;
        socket->open();
        if (!socket->isOpen()) {
            LogMessage(logging::debug)
                << "Discovery interface " << report.localAddress << " not connected";
            report.openError = socket->openError();
            return;
        }
        report.opened = true;
        if (searchTuning.stopWhen) {
            socket->setAnswerObserver(checkEarlyStop);
        }
        socket->shareRecordAllowance(&recordsLeft);
        socket->readBeforeParsing(&sockets);
        report.sent = socket->send(port);
        report.sendError = socket->sendError();
        if (report.sent) {
            ++searchStatistics.requestsSent;
        }
        reportOfSocket.push_back(searchStatistics.socketReports.size() - 1);
        sockets.push_back(std::move(socket));
        // The first answers may come in a burst within a millisecond: they are read
        // while the next sockets are made.
        ioContext.restart();
        ioContext.poll();
    };
    for (const LocalAddress& local : localAddresses) {
        const asio::ip::address address = parseLocalAddress(local.address);
        for (const std::uint16_t port : *ports) {
            addSocket(std::make_shared<MulticastDiscoveryInterface>(ioContext, address,
                                                                    multicastHops, &request),
                      port);
        }
    }
    for (const std::string& hostText : searchTuning.unicastHosts) {
        const asio::ip::address host = asio::ip::make_address_v4(hostText);
        boost::system::error_code noRoute;
        const asio::ip::address source = routeSource(ioContext, host, noRoute);
        for (const std::uint16_t port : *ports) {
            if (noRoute) {
                SocketReport& report = searchStatistics.socketReports.emplace_back();
                report.destination = hostText;
                report.port = port;
                report.openError = "no route: " + noRoute.message();
                continue;
            }
            addSocket(
                std::make_shared<MulticastDiscoveryInterface>(ioContext, source, host, &request),
                port);
        }
    }
    searchStatistics.sockets = sockets.size();

    // Answers are read as they arrive from here on, settling time included, so that the
    // kernel's receive buffers drain continuously and a burst of answers is not lost. A
    // fast search skips the settling time.
    const std::int64_t settledMs = searchTuning.fast ? 0 : settlingSleepMs;
    serve([] { return false; }, settledMs);

    timedOut = false;
    deadline.expires_after(remainingTime(timeoutMs, settledMs));
    deadlineWaiting = true;
    deadline.async_wait([this, &deadlineWaiting](const boost::system::error_code&) {
        deadlineWaiting = false;
        timedOut = true;
    });
    serve([this] { return timedOut; }, -1);

    if (!timedOut) {
        deadline.cancel();
    }
    for (const auto& socket : sockets) {
        socket->close();
    }
    // A search that stopped early has also to run the cancelled deadline's completion
    // here, or it would stay queued and end the next search on this object at once.
    while (deadlineWaiting || anySocketHeld(sockets)) {
        ioContext.restart();
        if (ioContext.poll() == 0) {
            ioContext.restart();
            ioContext.run_one_for(Milliseconds(idleSleepMs));
        }
    }

    std::list<DeviceInfo> mergedDevices;
    std::list<ServerInfo> mergedServers;
    for (std::size_t index = 0; index < sockets.size(); ++index) {
        const auto& socket = sockets[index];
        SocketReport& report = searchStatistics.socketReports[reportOfSocket[index]];
        report.counts = socket->counts();
        report.stored = socket->budget().storedCount();
        report.dropped = socket->budget().droppedCount();
        searchStatistics.storedAnswers += report.stored;
        searchStatistics.droppedAnswers += report.dropped;
        const ReceptionCounts& counts = report.counts;
        searchStatistics.receivedDatagrams += counts.received;
        searchStatistics.acceptedAnswers += counts.accepted;
        searchStatistics.notJson += counts.notJson;
        searchStatistics.notAnAnswer += counts.notAnAnswer;
        searchStatistics.otherRequest += counts.otherRequest;
        searchStatistics.cut += counts.cut;
        socket->processAnswers();
        std::list<DeviceInfo>& socketDevices = socket->devices();
        std::list<ServerInfo>& socketServers = socket->servers();
        // Loopback answers come first: the block of the socket made last leads.
        const bool front = socket->isLoopback();
        mergedDevices.splice(front ? mergedDevices.begin() : mergedDevices.end(), socketDevices);
        mergedServers.splice(front ? mergedServers.begin() : mergedServers.end(), socketServers);
    }
    searchStatistics.deadlineReached = timedOut;
    searchStatistics.stoppedEarly = stopRequested;
    searchStatistics.cancelled = searchTuning.stop.stop_requested();
    deviceList = std::move(mergedDevices);
    serverList = std::move(mergedServers);
}

} // namespace velmor
