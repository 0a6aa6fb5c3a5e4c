// rbsim: a data-server simulator for test rigs. It answers the discovery requests that
// reach its ports and never sends anything on its own.
#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <deque>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/system/system_error.hpp>

#include "tools/sim_answers.h"
#include "tools/sim_options.h"
#include "tools/sim_servers.h"

namespace velmor::tools {
namespace {

using boost::asio::ip::udp;

constexpr const char* MulticastGroup = "239.253.1.1";
// The largest UDP payload over IPv4; --raw and --send-first files go out in one datagram.
constexpr std::size_t MaxDatagramFileBytes = 65'507;
constexpr std::size_t MaxConfigFileBytes = 16 * 1024 * 1024;
// Answers waiting for their delay or their turn to be paced out; a flood of requests
// beyond either bound is dropped. One answer can hold megabytes (--servers), so the
// count alone does not bound the memory.
constexpr std::size_t MaxPendingAnswers = 10'000;
constexpr std::size_t MaxPendingBytes = 64 * 1024 * 1024;
// Ids are echoed into log lines; a hostile one must not flood the output.
constexpr std::size_t MaxLoggedIdBytes = 200;

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void printLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printError(const std::string& text) {
    std::fprintf(stderr, "rbsim: %s\n", text.c_str());
    std::fflush(stderr);
}

std::string readFile(const std::string& path, std::size_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw UsageError("cannot read " + path);
    }
    std::string bytes;
    std::array<char, 65536> chunk{};
    while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
        bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > limit) {
            throw UsageError(path + " is larger than " + std::to_string(limit) + " bytes");
        }
    }
    if (in.bad()) {
        throw UsageError("cannot read " + path);
    }
    return bytes;
}

std::string endpointText(const udp::endpoint& endpoint) {
    return endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
}

// Printable, bounded form of an id for the log.
std::string idText(const std::string& id) {
    std::string text;
    for (const char c : id.substr(0, MaxLoggedIdBytes)) {
        text += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    }
    return "\"" + text + (id.size() > MaxLoggedIdBytes ? "...\"" : "\"");
}

struct GroupInterface {
    std::string name;
    unsigned index = 0;
};

// The up IPv4 interfaces to join the group on: the named ones, or every one that can
// do multicast (the loopback link cannot).
std::vector<GroupInterface> groupInterfaces(const std::vector<std::string>& wanted) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        throw std::system_error(errno, std::generic_category(), "getifaddrs");
    }
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owner(list, &::freeifaddrs);
    std::set<std::string> names;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0) {
            continue;
        }
        const std::string name = entry->ifa_name;
        const bool named = std::find(wanted.begin(), wanted.end(), name) != wanted.end();
        if (wanted.empty() ? (entry->ifa_flags & IFF_MULTICAST) != 0 : named) {
            names.insert(name);
        }
    }
    for (const auto& name : wanted) {
        if (names.count(name) == 0) {
            throw std::runtime_error("no up IPv4 interface named " + name);
        }
    }
    std::vector<GroupInterface> result;
    for (const auto& name : names) {
        result.push_back({name, ::if_nametoindex(name.c_str())});
    }
    return result;
}

struct Listener {
    explicit Listener(boost::asio::io_context& io) : socket(io) {}
    udp::socket socket;
    std::uint16_t port = 0;
    udp::endpoint sender;
    std::array<char, 65536> buffer{};
};

// The answer to one request and how far its sending has come. A step is one datagram:
// each of the --repeat copies is the --send-first datagram, if any, then the answer's.
struct Answer {
    Listener* listener = nullptr;
    udp::endpoint to;
    std::vector<std::string> datagrams;
    std::string what; // the request, for the log
    std::size_t bytes = 0;
    std::size_t steps = 0;
    std::size_t next = 0;
    std::size_t sent = 0;
};

class Simulator {
public:
    Simulator(boost::asio::io_context& io, SimOptions options, std::vector<SimServer> servers,
              std::optional<std::string> raw, std::optional<std::string> sendFirst)
        : io_(io), options_(std::move(options)),
          answers_(servers, options_.onePerDatagram ? 0 : MaxAnswerDatagramBytes),
          raw_(std::move(raw)), sendFirst_(std::move(sendFirst)), paceTimer_(io) {}

    void bind() {
        for (const std::uint16_t port : options_.ports) {
            auto listener = std::make_unique<Listener>(io_);
            listener->socket.open(udp::v4());
            listener->socket.set_option(udp::socket::reuse_address(true));
            listener->socket.bind(udp::endpoint(udp::v4(), port));
            listener->port = listener->socket.local_endpoint().port();
            listeners_.push_back(std::move(listener));
        }
    }

    void joinGroup() {
        const auto interfaces = groupInterfaces(options_.interfaces);
        if (interfaces.empty() && !options_.quiet) {
            printError("no multicast-capable interface is up; answering unicast only");
        }
        ip_mreqn request{};
        ::inet_pton(AF_INET, MulticastGroup, &request.imr_multiaddr);
        for (const auto& listener : listeners_) {
            for (const auto& interface : interfaces) {
                request.imr_ifindex = static_cast<int>(interface.index);
                if (::setsockopt(listener->socket.native_handle(), IPPROTO_IP, IP_ADD_MEMBERSHIP,
                                 &request, sizeof request) != 0) {
                    const std::system_error error(errno, std::generic_category(),
                                                  "cannot join " + std::string(MulticastGroup) +
                                                      " on " + interface.name);
                    if (!options_.interfaces.empty()) {
                        throw error;
                    }
                    printError(error.what());
                }
            }
        }
    }

    std::string listeningLine() const {
        std::string line = "rbsim listening on ports";
        for (const auto& listener : listeners_) {
            line += " " + std::to_string(listener->port);
        }
        return line;
    }

    void start() {
        for (const auto& listener : listeners_) {
            receive(*listener);
        }
    }

    std::string summary() const {
        return "rbsim: " + std::to_string(requests_) + " requests, " +
               std::to_string(answersSent_) + " answers sent, " + std::to_string(bytesSent_) +
               " bytes sent";
    }

private:
    void receive(Listener& listener) {
        listener.socket.async_receive_from(
            boost::asio::buffer(listener.buffer), listener.sender,
            [this, &listener](const boost::system::error_code& error, std::size_t bytes) {
                if (error == boost::asio::error::operation_aborted) {
                    return;
                }
                if (error) {
                    printError("receive on port " + std::to_string(listener.port) +
                               " failed: " + error.message());
                } else {
                    onDatagram(listener, std::string(listener.buffer.data(), bytes));
                }
                receive(listener);
            });
    }

    void onDatagram(Listener& listener, const std::string& payload) {
        const udp::endpoint from = listener.sender;
        const std::string origin = endpointText(from) + " on port " + std::to_string(listener.port);
        const auto request = readSimRequest(payload);
        if (!request) {
            log("ignored " + std::to_string(payload.size()) + " bytes from " + origin +
                ": not a discovery request");
            return;
        }
        ++requests_;
        const std::string what = "request from " + origin + " id " + idText(request->id);
        if (options_.answerPort && *options_.answerPort != listener.port) {
            log(what + ": not answered (answering on port " + std::to_string(*options_.answerPort) +
                " only)");
            return;
        }
        auto answer = std::make_shared<Answer>();
        answer->listener = &listener;
        answer->to = from;
        answer->what = what;
        if (raw_) {
            answer->datagrams.push_back(withRequestId(*raw_, request->id));
        } else {
            AnswerHeader header;
            header.version = options_.version;
            header.id = options_.answerId.value_or(request->id);
            header.withDevices = request->wantsDevices;
            answer->datagrams = answers_.datagrams(header);
        }
        for (const auto& datagram : answer->datagrams) {
            answer->bytes += datagram.size();
        }
        answer->steps = options_.repeat * (answer->datagrams.size() + (sendFirst_ ? 1 : 0));
        const bool paced = options_.pace.count() > 0;
        if (options_.delay.count() == 0 && !paced) {
            sendAll(*answer);
            return;
        }
        if (!admit(*answer)) {
            return;
        }
        if (options_.delay.count() == 0) {
            queuePaced(std::move(answer));
            return;
        }
        auto timer = std::make_shared<boost::asio::steady_timer>(io_, options_.delay);
        timer->async_wait([this, timer, paced, answer](const boost::system::error_code&) {
            if (paced) {
                queuePaced(answer);
                return;
            }
            sendAll(*answer);
            release(*answer);
        });
    }

    // Takes a pending answer into the bounds, or logs why it is dropped. The first one
    // always fits, however large.
    bool admit(const Answer& answer) {
        if (pending_ >= MaxPendingAnswers) {
            log(answer.what + ": dropped, " + std::to_string(pending_) + " answers already wait");
            return false;
        }
        if (pending_ > 0 && pendingBytes_ + answer.bytes > MaxPendingBytes) {
            log(answer.what + ": dropped, " + std::to_string(pending_) + " answers of " +
                std::to_string(pendingBytes_) + " bytes already wait");
            return false;
        }
        ++pending_;
        pendingBytes_ += answer.bytes;
        return true;
    }

    void release(const Answer& answer) {
        --pending_;
        pendingBytes_ -= answer.bytes;
    }

    void sendAll(Answer& answer) {
        while (answer.next < answer.steps) {
            sendStep(answer);
        }
        logSent(answer);
    }

    // Paced answers go out one after the other, one datagram per timer completion, so
    // that a signal is handled between two datagrams rather than after the last.
    void queuePaced(std::shared_ptr<Answer> answer) {
        paced_.push_back(std::move(answer));
        if (!pacing_) {
            pacing_ = true;
            sendPaced();
        }
    }

    void sendPaced() {
        if (paced_.empty()) {
            pacing_ = false;
            return;
        }
        Answer& answer = *paced_.front();
        const bool sent = answer.next < answer.steps && sendStep(answer);
        if (answer.next == answer.steps) {
            logSent(answer);
            release(answer);
            paced_.pop_front();
        }
        if (sent) {
            paceTimer_.expires_after(options_.pace);
            paceTimer_.async_wait([this](const boost::system::error_code&) { sendPaced(); });
        } else {
            // Nothing went out, so there is no pause to make.
            boost::asio::post(io_, [this] { sendPaced(); });
        }
    }

    // Sends the answer's next datagram; false when that failed.
    bool sendStep(Answer& answer) {
        const std::size_t perCopy = answer.datagrams.size() + (sendFirst_ ? 1 : 0);
        const std::size_t position = answer.next++ % perCopy;
        const bool isAnswer = !sendFirst_ || position > 0;
        const std::string& bytes =
            isAnswer ? answer.datagrams[position - (sendFirst_ ? 1 : 0)] : *sendFirst_;
        boost::system::error_code error;
        const std::size_t n =
            answer.listener->socket.send_to(boost::asio::buffer(bytes), answer.to, 0, error);
        if (error) {
            printError("send to " + endpointText(answer.to) + " failed: " + error.message());
            return false;
        }
        bytesSent_ += n;
        ++answer.sent;
        answersSent_ += isAnswer ? 1 : 0;
        return true;
    }

    void logSent(const Answer& answer) const {
        log(answer.what + ": " + std::to_string(answer.sent) +
            (answer.sent == 1 ? " datagram" : " datagrams") + " sent");
    }

    void log(const std::string& line) const {
        if (!options_.quiet) {
            printLine(line);
        }
    }

    boost::asio::io_context& io_;
    const SimOptions options_;
    const AnswerBuilder answers_;
    const std::optional<std::string> raw_;
    const std::optional<std::string> sendFirst_;
    std::vector<std::unique_ptr<Listener>> listeners_;
    boost::asio::steady_timer paceTimer_;
    std::deque<std::shared_ptr<Answer>> paced_; // the first is being sent
    bool pacing_ = false;                       // a datagram or a pause is under way
    std::size_t pending_ = 0;
    std::size_t pendingBytes_ = 0;
    std::uint64_t requests_ = 0;
    std::uint64_t answersSent_ = 0;
    std::uint64_t bytesSent_ = 0;
};

std::vector<SimServer> loadServers(const SimOptions& options) {
    if (!options.configFile.empty()) {
        try {
            return parseSimConfig(readFile(options.configFile, MaxConfigFileBytes));
        } catch (const SimConfigError& error) {
            throw UsageError(options.configFile + ": " + error.what());
        }
    }
    if (options.generatedServers) {
        return makeGeneratedServers(*options.generatedServers);
    }
    return makeSimServers(options.serials, options.types, options.uid, options.serverType);
}

std::optional<std::string> loadDatagramFile(const std::string& path) {
    if (path.empty()) {
        return std::nullopt;
    }
    return readFile(path, MaxDatagramFileBytes);
}

int run(const std::vector<std::string>& args) {
    SimOptions options;
    try {
        options = parseSimOptions(args);
    } catch (const SimOptionError& error) {
        printError(error.what());
        std::fputs("Try 'rbsim --help'.\n", stderr);
        return 2;
    }
    if (options.help) {
        std::fputs(simUsage().c_str(), stdout);
        return 0;
    }

    boost::asio::io_context io;
    // Set up before anything else so that an early SIGTERM still ends the run cleanly.
    boost::asio::signal_set signals(io, SIGINT, SIGTERM);
    std::unique_ptr<Simulator> simulator;
    try {
        auto servers = loadServers(options);
        auto raw = loadDatagramFile(options.rawFile);
        auto sendFirst = loadDatagramFile(options.sendFirstFile);
        simulator = std::make_unique<Simulator>(io, options, std::move(servers), std::move(raw),
                                                std::move(sendFirst));
    } catch (const UsageError& error) {
        printError(error.what());
        return 2;
    }
    try {
        simulator->bind();
        simulator->joinGroup();
    } catch (const std::exception& error) {
        printError(error.what());
        return 1;
    }

    printLine(simulator->listeningLine());
    simulator->start();
    signals.async_wait([&io](const boost::system::error_code&, int) { io.stop(); });
    io.run();
    printLine(simulator->summary());
    return 0;
}

} // namespace
} // namespace velmor::tools

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return velmor::tools::run(std::vector<std::string>(argv + 1, argv + argc));
}
