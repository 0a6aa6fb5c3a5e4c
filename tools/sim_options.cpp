#include "tools/sim_options.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string_view>

#include "cmdline/argument_cursor.h"

namespace velmor::tools {

namespace {

// Interface names are at most 15 bytes on Linux.
constexpr std::size_t MaxInterfaceName = 15;

template <typename T>
T parseNumber(const std::string& option, const std::string& text, T low, T high) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < low || value > high) {
        throw SimOptionError(option + " needs a number from " + std::to_string(low) + " to " +
                             std::to_string(high) + ", not \"" + text + "\"");
    }
    return value;
}

std::uint16_t parsePort(const std::string& option, const std::string& text, std::uint16_t low) {
    return parseNumber<std::uint16_t>(option, text, low, 65535);
}

std::string optionInMessage(std::string_view name) {
    return std::string(name);
}

void checkConflicts(const SimOptions& options, bool deviceFlags) {
    if (!options.configFile.empty() && deviceFlags) {
        throw SimOptionError(
            "--config cannot be combined with --serial, --type, --uid or --server-type");
    }
    if (options.generatedServers && (deviceFlags || !options.configFile.empty())) {
        throw SimOptionError("--servers cannot be combined with --config, --serial, --type, "
                             "--uid or --server-type");
    }
    if (options.answerPort && std::find(options.ports.begin(), options.ports.end(),
                                        *options.answerPort) == options.ports.end()) {
        throw SimOptionError("--answer-port " + std::to_string(*options.answerPort) +
                             " is not one of the listening ports");
    }
}

// Reads the options in the groups that --help shows them in.
class SimParser {
public:
    explicit SimParser(const std::vector<std::string>& args) : cursor(args, optionInMessage) {}

    SimOptions parse() {
        try {
            while (cursor.next()) {
                if (cursor.name() == "--help" || cursor.name() == "-h") {
                    cursor.flag(options.help);
                } else if (!readListening() && !readAnswers() && !readMisbehaviour()) {
                    refuse();
                }
            }
        } catch (const cmdline::ArgumentError& error) {
            throw SimOptionError(error.what());
        }
        checkConflicts(options, deviceFlags);
        return std::move(options);
    }

private:
    // Each reader returns false for an option that is not one of its group.
    bool readListening() {
        const std::string& name = cursor.name();
        if (name == "--port") {
            const std::uint16_t port = parsePort(name, cursor.value(), 0);
            if (!portsGiven) {
                options.ports.clear();
                portsGiven = true;
            }
            if (port == 0) {
                // Every 0 is a port of its own, of the system's choice.
                options.ports.push_back(port);
            } else {
                cmdline::appendOnce(options.ports, port);
            }
        } else if (name == "--interface") {
            std::string interface = cursor.value();
            if (interface.empty() || interface.size() > MaxInterfaceName) {
                throw SimOptionError("--interface needs a name of 1 to 15 bytes");
            }
            options.interfaces.push_back(std::move(interface));
        } else if (name == "--answer-port") {
            options.answerPort = parsePort(name, cursor.value(), 1);
        } else if (name == "--quiet") {
            cursor.flag(options.quiet);
        } else {
            return false;
        }
        return true;
    }

    bool readAnswers() {
        const std::string& name = cursor.name();
        if (name == "--config") {
            options.configFile = cursor.value();
            if (options.configFile.empty()) {
                throw SimOptionError("--config needs a file name");
            }
        } else if (name == "--serial") {
            options.serials.push_back(cursor.value());
            deviceFlags = true;
        } else if (name == "--type") {
            options.types.push_back(cursor.value());
            deviceFlags = true;
        } else if (name == "--uid") {
            options.uid = cursor.value();
            deviceFlags = true;
        } else if (name == "--server-type") {
            options.serverType = cursor.value();
            deviceFlags = true;
        } else if (name == "--servers") {
            options.generatedServers =
                parseNumber<std::size_t>(name, cursor.value(), 0, MaxGeneratedServers);
        } else if (name == "--one-per-datagram") {
            cursor.flag(options.onePerDatagram);
        } else {
            return false;
        }
        return true;
    }

    bool readMisbehaviour() {
        const std::string& name = cursor.name();
        if (name == "--delay") {
            options.delay = std::chrono::milliseconds(
                parseNumber<std::int64_t>(name, cursor.value(), 0, MaxSimDelay.count()));
        } else if (name == "--repeat") {
            options.repeat = parseNumber<unsigned>(name, cursor.value(), 1, MaxSimRepeat);
        } else if (name == "--pace") {
            // Up to a tenth of a second: enough to spread a flood over a search.
            options.pace = std::chrono::microseconds(
                parseNumber<std::int64_t>(name, cursor.value(), 0, 100000));
        } else if (name == "--id") {
            options.answerId = cursor.value();
        } else if (name == "--version") {
            options.version = parseNumber<std::uint32_t>(name, cursor.value(), 0,
                                                         std::numeric_limits<std::uint32_t>::max());
        } else if (name == "--raw") {
            options.rawFile = cursor.value();
        } else if (name == "--send-first") {
            options.sendFirstFile = cursor.value();
        } else {
            return false;
        }
        return true;
    }

    [[noreturn]] void refuse() const {
        if (cursor.name().starts_with('-')) {
            throw SimOptionError("unknown option " + cursor.name());
        }
        throw SimOptionError("unexpected argument \"" + cursor.argument() + "\"");
    }

    cmdline::ArgumentCursor cursor;
    SimOptions options;
    bool portsGiven = false;
    bool deviceFlags = false; // --serial, --type, --uid or --server-type given
};

} // namespace

SimOptions parseSimOptions(const std::vector<std::string>& args) {
    return SimParser(args).parse();
}

std::string simUsage() {
    return R"(Usage: rbsim [options]
Pretends to be one or more data servers: answers discovery requests that arrive on its
ports by multicast (239.253.1.1) or unicast, and sends nothing else.

Listening:
  --port P           listen on UDP port P (repeatable; replaces 8017 and 8018;
                     0 takes a port of the system's choice)
  --interface NAME   join the group only on this interface (repeatable; default:
                     every up, multicast-capable IPv4 interface)
  --answer-port P    answer only requests that arrive on port P
  --quiet            print only the listening line and the summary

What to answer (default: one "dataserver" with one RBLK device "RB0001"):
  --config FILE      servers from a JSON file {"servers":[ ... ]} with the wire members
  --serial S         a device serial (repeatable; paired in order with --type)
  --type T           a device type (repeatable; default RBLK)
  --uid U            the server uid (default: "dataserver-" + the first serial)
  --server-type T    the server type (default: dataserver)
  --servers N        N generated servers "sim-RB0001", ... each with one RBLK device,
                     split over as many datagrams of at most 4096 bytes as needed
  --one-per-datagram every server in a datagram of its own, as that many separate
                     instruments answer

Misbehaviour:
  --delay MS         answer after MS milliseconds (other requests are not held up)
  --repeat N         send every answer N times
  --pace US          pause US microseconds after each datagram sent (at most 100000;
                     holds up other requests meanwhile)
  --id TEXT          answer with this id instead of the request's
  --version V        write protocol version V into the answers (default 3)
  --raw FILE         send the file's bytes instead of the JSON answer; each @ID@ in
                     the file becomes the request's id (JSON-escaped)
  --send-first FILE  send the file's bytes as an extra datagram before each answer

  --help             print this text
Options take their value as the next argument or after "=". SIGINT or SIGTERM ends
the run with a summary line and status 0; bad options give status 2.
)";
}

} // namespace velmor::tools
