#include "tools/sim_options.h"

#include <algorithm>
#include <charconv>
#include <limits>

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

// One argument split into the option name and the value given after "=", if any.
struct Argument {
    std::string name;
    std::optional<std::string> inlineValue; // from "--name=value"
};

Argument split(const std::string& arg) {
    const auto equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
        return {arg.substr(0, equals), arg.substr(equals + 1)};
    }
    return {arg, std::nullopt};
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

} // namespace

SimOptions parseSimOptions(const std::vector<std::string>& args) {
    SimOptions options;
    bool portsGiven = false;
    bool deviceFlags = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const Argument argument = split(args[i]);
        const std::string& name = argument.name;
        const std::optional<std::string>& inlineValue = argument.inlineValue;
        const auto value = [&]() -> std::string {
            if (inlineValue) {
                return *inlineValue;
            }
            if (i + 1 >= args.size()) {
                throw SimOptionError(name + " needs a value");
            }
            return args[++i];
        };
        const auto flag = [&](bool& target) {
            if (inlineValue) {
                throw SimOptionError(name + " takes no value");
            }
            target = true;
        };

        if (name == "--help" || name == "-h") {
            flag(options.help);
        } else if (name == "--quiet") {
            flag(options.quiet);
        } else if (name == "--port") {
            const std::uint16_t port = parsePort(name, value(), 0);
            if (!portsGiven) {
                options.ports.clear();
                portsGiven = true;
            }
            if (port == 0 || std::find(options.ports.begin(), options.ports.end(), port) ==
                                 options.ports.end()) {
                options.ports.push_back(port);
            }
        } else if (name == "--interface") {
            std::string interface = value();
            if (interface.empty() || interface.size() > MaxInterfaceName) {
                throw SimOptionError("--interface needs a name of 1 to 15 bytes");
            }
            options.interfaces.push_back(std::move(interface));
        } else if (name == "--config") {
            options.configFile = value();
            if (options.configFile.empty()) {
                throw SimOptionError("--config needs a file name");
            }
        } else if (name == "--serial") {
            options.serials.push_back(value());
            deviceFlags = true;
        } else if (name == "--type") {
            options.types.push_back(value());
            deviceFlags = true;
        } else if (name == "--uid") {
            options.uid = value();
            deviceFlags = true;
        } else if (name == "--server-type") {
            options.serverType = value();
            deviceFlags = true;
        } else if (name == "--servers") {
            options.generatedServers =
                parseNumber<std::size_t>(name, value(), 0, MaxGeneratedServers);
        } else if (name == "--one-per-datagram") {
            flag(options.onePerDatagram);
        } else if (name == "--delay") {
            options.delay = std::chrono::milliseconds(
                parseNumber<std::int64_t>(name, value(), 0, MaxSimDelay.count()));
        } else if (name == "--repeat") {
            options.repeat = parseNumber<unsigned>(name, value(), 1, MaxSimRepeat);
        } else if (name == "--pace") {
            // Up to a tenth of a second: enough to spread a flood over a search.
            options.pace =
                std::chrono::microseconds(parseNumber<std::int64_t>(name, value(), 0, 100000));
        } else if (name == "--id") {
            options.answerId = value();
        } else if (name == "--version") {
            options.version = parseNumber<std::uint32_t>(name, value(), 0,
                                                         std::numeric_limits<std::uint32_t>::max());
        } else if (name == "--raw") {
            options.rawFile = value();
        } else if (name == "--send-first") {
            options.sendFirstFile = value();
        } else if (name == "--answer-port") {
            options.answerPort = parsePort(name, value(), 1);
        } else if (name.rfind('-', 0) == 0) {
            throw SimOptionError("unknown option " + name);
        } else {
            throw SimOptionError("unexpected argument \"" + args[i] + "\"");
        }
    }
    checkConflicts(options, deviceFlags);
    return options;
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
