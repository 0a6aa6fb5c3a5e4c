#include "discovery/search_run.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>

#include <boost/asio/ip/udp.hpp>

#include <KVLogger>

#include "discovery/multicast_discovery_interface.h"

namespace velmor {

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

bool anySocketHeld(const SearchShared::SocketList& sockets) {
    return std::any_of(sockets.begin(), sockets.end(),
                       [](const auto& socket) { return socket.use_count() != 1; });
}

} // namespace

SearchRun::SearchRun(asio::io_context& io, const SearchTuning& searchTuning,
                     SearchStatistics& searchStatistics, DiscoveryRequest searchRequest)
    : ioContext(io), tuning(searchTuning), statistics(searchStatistics),
      request(std::move(searchRequest)), deadline(io),
      exceptionsAtStart(std::uncaught_exceptions()) {}

SearchRun::~SearchRun() {
    if (std::uncaught_exceptions() == exceptionsAtStart) {
        return; // the search ended normally and has drained everything itself
    }
    abandonLeftovers();
}

void SearchRun::abandonLeftovers() noexcept {
    boost::system::error_code ignored;
    deadline.cancel(ignored);
    for (const auto& socket : shared.sockets) {
        socket->abandon();
    }
    try {
        // The aborted completions are ready at once; the bound only guards the unwinding.
        for (int pass = 0; pass < 100 && (deadlineWaiting || anySocketHeld(shared.sockets));
             ++pass) {
            ioContext.restart();
            if (ioContext.poll() == 0) {
                sleepMilliseconds(1);
            }
        }
    } catch (...) {
        // Already unwinding from the first error.
    }
}

template <typename Condition> void SearchRun::serve(Condition until, std::int64_t milliseconds) {
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

void SearchRun::pause(std::int64_t milliseconds) const {
    if (milliseconds <= 0) {
        return;
    }
    if (!tuning.stop.stop_possible()) {
        sleepMilliseconds(milliseconds);
        return;
    }
    // Woken by the stop request itself, so a stopped search does not sleep on.
    std::mutex mutex;
    std::condition_variable_any stopped;
    std::unique_lock lock(mutex);
    stopped.wait_for(lock, tuning.stop, Milliseconds(milliseconds), [] { return false; });
}

bool SearchRun::stopping() const {
    return stopRequested || tuning.stop.stop_requested();
}

void SearchRun::openSockets(const std::vector<LocalAddress>& addresses,
                            const std::vector<std::uint16_t>& ports, std::uint64_t multicastHops) {
    openMulticastSockets(addresses, ports, multicastHops);
    openUnicastSockets(ports);
    statistics.sockets = shared.sockets.size();
}

void SearchRun::openMulticastSockets(const std::vector<LocalAddress>& addresses,
                                     const std::vector<std::uint16_t>& ports,
                                     std::uint64_t multicastHops) {
    for (const LocalAddress& local : addresses) {
        const asio::ip::address address = parseLocalAddress(local.address);
        for (const std::uint16_t port : ports) {
            addSocket(std::make_shared<MulticastDiscoveryInterface>(ioContext, address,
                                                                    multicastHops, &request),
                      port);
        }
    }
}

void SearchRun::openUnicastSockets(const std::vector<std::uint16_t>& ports) {
    for (const std::string& hostText : tuning.unicastHosts) {
        const asio::ip::address host = asio::ip::make_address_v4(hostText);
        boost::system::error_code noRoute;
        const asio::ip::address source = routeSource(ioContext, host, noRoute);
        for (const std::uint16_t port : ports) {
            if (noRoute) {
                SocketReport& report = statistics.socketReports.emplace_back();
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
}

void SearchRun::addSocket(std::shared_ptr<MulticastDiscoveryInterface> socket, std::uint16_t port) {
    SocketReport& report = newReport(*socket, port);
    socket->open();
    if (!socket->isOpen()) {
        LogMessage(logging::debug)
            << "Discovery interface " << report.localAddress << " not connected";
        report.openError = socket->openError();
        return;
    }
    report.opened = true;
    joinAndSend(*socket, report, port);
    reportOfSocket.push_back(statistics.socketReports.size() - 1);
    shared.sockets.push_back(std::move(socket));
    // The first answers may come in a burst within a millisecond: they are read while
    // the next sockets are made.
    ioContext.restart();
    ioContext.poll();
}

SocketReport& SearchRun::newReport(const MulticastDiscoveryInterface& socket, std::uint16_t port) {
    SocketReport& report = statistics.socketReports.emplace_back();
    report.localAddress = socket.localAddress().to_string();
    report.destination = socket.destinationAddress().to_string();
    report.port = port;
    return report;
}

void SearchRun::joinAndSend(MulticastDiscoveryInterface& socket, SocketReport& report,
                            std::uint16_t port) {
    if (tuning.stopWhen) {
        // Sees in each answer's servers, as the answer arrives, whether the caller has
        // what it waits for.
        socket.setAnswerObserver([this](const std::list<ServerInfo>& answerServers) {
            if (!answerServers.empty() && tuning.stopWhen(answerServers)) {
                stopRequested = true;
            }
        });
    }
    socket.joinSearch(shared);
    report.sent = socket.send(port);
    report.sendError = socket.sendError();
    if (report.sent) {
        ++statistics.requestsSent;
    }
}

std::int64_t SearchRun::settle() {
    // Answers are read as they arrive from here on, settling time included, so that the
    // kernel's receive buffers drain continuously and a burst of answers is not lost. A
    // fast search skips the settling time.
    const std::int64_t settledMs = tuning.fast ? 0 : settlingSleepMs;
    serve([] { return false; }, settledMs);
    return settledMs;
}

void SearchRun::wait(std::int64_t timeoutMs, std::int64_t settledMs) {
    timedOut = false;
    deadline.expires_after(remainingTime(timeoutMs, settledMs));
    deadlineWaiting = true;
    deadline.async_wait([this](const boost::system::error_code&) {
        deadlineWaiting = false;
        timedOut = true;
    });
    serve([this] { return timedOut; }, -1);
}

void SearchRun::closeAndDrain() {
    if (!timedOut) {
        deadline.cancel();
    }
    for (const auto& socket : shared.sockets) {
        socket->close();
    }
    // A search that stopped early has also to run the cancelled deadline's completion
    // here, or it would stay queued and end the next search on this object at once.
    while (deadlineWaiting || anySocketHeld(shared.sockets)) {
        ioContext.restart();
        if (ioContext.poll() == 0) {
            ioContext.restart();
            ioContext.run_one_for(Milliseconds(idleSleepMs));
        }
    }
}

void SearchRun::merge(std::list<DeviceInfo>& devices, std::list<ServerInfo>& servers) {
    std::list<DeviceInfo> mergedDevices;
    std::list<ServerInfo> mergedServers;
    for (std::size_t index = 0; index < shared.sockets.size(); ++index) {
        MulticastDiscoveryInterface& socket = *shared.sockets[index];
        addToStatistics(socket, statistics.socketReports[reportOfSocket[index]]);
        socket.processAnswers();
        // Loopback answers come first: the block of the socket made last leads.
        const bool front = socket.isLoopback();
        mergedDevices.splice(front ? mergedDevices.begin() : mergedDevices.end(), socket.devices());
        mergedServers.splice(front ? mergedServers.begin() : mergedServers.end(), socket.servers());
    }
    statistics.deadlineReached = timedOut;
    statistics.stoppedEarly = stopRequested;
    statistics.cancelled = tuning.stop.stop_requested();
    devices = std::move(mergedDevices);
    servers = std::move(mergedServers);
}

void SearchRun::addToStatistics(const MulticastDiscoveryInterface& socket, SocketReport& report) {
    report.counts = socket.counts();
    report.stored = socket.budget().storedCount();
    report.dropped = socket.budget().droppedCount();
    statistics.storedAnswers += report.stored;
    statistics.droppedAnswers += report.dropped;
    const ReceptionCounts& counts = report.counts;
    statistics.receivedDatagrams += counts.received;
    statistics.acceptedAnswers += counts.accepted;
    statistics.notJson += counts.notJson;
    statistics.notAnAnswer += counts.notAnAnswer;
    statistics.otherRequest += counts.otherRequest;
    statistics.cut += counts.cut;
}

} // namespace velmor
