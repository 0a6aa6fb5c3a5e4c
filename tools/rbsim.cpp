// rbsim: a data-server simulator for test rigs. It answers the discovery requests that
// reach its ports and never sends anything on its own.
#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
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
// Delayed answers waiting for their timer; a flood of requests beyond this is dropped.
constexpr std::size_t MaxPendingAnswers = 10'000;
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

class Simulator {
public:
    Simulator(boost::asio::io_context& io, SimOptions options, std::vector<SimServer> servers,
              std::optional<std::string> raw, std::optional<std::string> sendFirst)
        : io_(io), options_(std::move(options)), answers_(servers), raw_(std::move(raw)),
          sendFirst_(std::move(sendFirst)) {}

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
        std::vector<std::string> datagrams;
        if (raw_) {
            datagrams.push_back(*raw_);
        } else {
            AnswerHeader header;
            header.version = options_.version;
            header.id = options_.answerId.value_or(request->id);
            header.withDevices = request->wantsDevices;
            datagrams = answers_.datagrams(header);
        }
        if (options_.delay.count() == 0) {
            send(listener, from, datagrams, what);
            return;
        }
        if (pending_ >= MaxPendingAnswers) {
            log(what + ": dropped, " + std::to_string(pending_) + " answers already wait");
            return;
        }
        ++pending_;
        auto timer = std::make_shared<boost::asio::steady_timer>(io_, options_.delay);
        timer->async_wait([this, timer, &listener, from, what,
                           datagrams = std::move(datagrams)](const boost::system::error_code&) {
            --pending_;
            send(listener, from, datagrams, what);
        });
    }

    void send(Listener& listener, const udp::endpoint& to,
              const std::vector<std::string>& datagrams, const std::string& what) {
        std::size_t sent = 0;
        const auto sendOne = [&](const std::string& bytes, bool isAnswer) {
            boost::system::error_code error;
            const std::size_t n = listener.socket.send_to(boost::asio::buffer(bytes), to, 0, error);
            if (error) {
                printError("send to " + endpointText(to) + " failed: " + error.message());
                return;
            }
            bytesSent_ += n;
            ++sent;
            answersSent_ += isAnswer ? 1 : 0;
            if (options_.pace.count() > 0) {
                std::this_thread::sleep_for(options_.pace);
            }
        };
        for (unsigned copy = 0; copy < options_.repeat; ++copy) {
            if (sendFirst_) {
                sendOne(*sendFirst_, false);
            }
            for (const auto& datagram : datagrams) {
                sendOne(datagram, true);
            }
        }
        log(what + ": " + std::to_string(sent) + (sent == 1 ? " datagram" : " datagrams") +
            " sent");
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
    std::size_t pending_ = 0;
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
