#include "cli/rbfind_options.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace velmor::cli {

namespace {

using Action = RbfindCommand::Action;

// Decimal digits only, no sign, no blanks; nullopt when not so or above `maximum`.
std::optional<std::int64_t> readCount(std::string_view text, std::int64_t maximum) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        if (value > maximum) {
            return std::nullopt;
        }
    }
    return value;
}

// Quotes an argument for a message; the caller makes the message terminal-safe.
std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& args) : arguments(args) {}

    RbfindCommand parse() {
        while (index < arguments.size() && command.action == Action::search) {
            parseOne(arguments[index++]);
        }
        if (command.action == Action::search) {
            checkCombinations();
        }
        return command;
    }

private:
    void fail(std::string message) {
        if (command.action == Action::search) {
            command.action = Action::usageError;
            command.error = std::move(message);
        }
    }

    // The value of a value option: after "=", or the next argument.
    std::optional<std::string> valueOf(std::string_view name, std::optional<std::string> inline_) {
        if (inline_) {
            return inline_;
        }
        if (index >= arguments.size()) {
            fail("option " + quoted(name) + " needs a value");
            return std::nullopt;
        }
        return arguments[index++];
    }

    void parseOne(const std::string& argument) {
        std::string_view name = argument;
        std::optional<std::string> inlineValue;
        if (name.starts_with("--")) {
            if (const auto equals = name.find('='); equals != std::string_view::npos) {
                inlineValue = std::string(name.substr(equals + 1));
                name = name.substr(0, equals);
            }
        }
        RbfindOptions& options = command.options;
        if (name == "--help" || name == "-h") {
            flagWithoutValue(name, inlineValue, [this] { command.action = Action::help; });
        } else if (name == "--version") {
            flagWithoutValue(name, inlineValue, [this] { command.action = Action::version; });
        } else if (name == "--json") {
            flagWithoutValue(name, inlineValue, [&options] { options.json = true; });
        } else if (name == "--all") {
            flagWithoutValue(name, inlineValue, [&options] { options.all = true; });
        } else if (name == "--first") {
            flagWithoutValue(name, inlineValue, [&options] { options.first = true; });
        } else if (name == "--verbose" || name == "-v") {
            flagWithoutValue(name, inlineValue, [&options] { options.verbose = true; });
        } else if (name == "--timeout") {
            if (const auto value = valueOf(name, inlineValue)) {
                const auto milliseconds = readCount(*value, maximumTimeoutMs);
                if (!milliseconds) {
                    fail("'--timeout' expects milliseconds from 0 to " +
                         std::to_string(maximumTimeoutMs) + ", not " + quoted(*value));
                    return;
                }
                options.timeoutMs = *milliseconds;
            }
        } else if (name == "--address") {
            if (const auto value = valueOf(name, inlineValue)) {
                if (!isDottedQuad(*value)) {
                    fail("'--address' expects an IPv4 address such as 192.168.1.20, not " +
                         quoted(*value));
                    return;
                }
                if (std::find(options.addresses.begin(), options.addresses.end(), *value) ==
                    options.addresses.end()) {
                    options.addresses.push_back(*value);
                }
            }
        } else if (name == "--host") {
            if (const auto value = valueOf(name, inlineValue)) {
                if (value->empty() || value->starts_with("-")) {
                    fail("'--host' expects an IPv4 address or a host name, not " + quoted(*value));
                    return;
                }
                if (std::find(options.hosts.begin(), options.hosts.end(), *value) ==
                    options.hosts.end()) {
                    options.hosts.push_back(*value);
                }
            }
        } else if (name == "--diagnose") {
            flagWithoutValue(name, inlineValue, [&options] { options.diagnose = true; });
        } else if (name == "--watch") {
            options.watch = true;
            // The period is optional: only a following argument that is no option is one.
            if (!inlineValue && index < arguments.size() && !arguments[index].starts_with("-")) {
                inlineValue = arguments[index++];
            }
            if (inlineValue) {
                const auto seconds = readCount(*inlineValue, maximumWatchSeconds);
                if (!seconds || *seconds == 0) {
                    fail("'--watch' expects seconds from 1 to " +
                         std::to_string(maximumWatchSeconds) + ", not " + quoted(*inlineValue));
                    return;
                }
                options.watchSeconds = *seconds;
            }
        } else if (argument.starts_with("-") && argument != "-") {
            fail("unknown option " + quoted(name));
        } else {
            fail("unexpected argument " + quoted(argument));
        }
    }

    template <typename Set>
    void flagWithoutValue(std::string_view name, const std::optional<std::string>& inlineValue,
                          Set set) {
        if (inlineValue) {
            fail("option " + quoted(name) + " takes no value");
            return;
        }
        set();
    }

    void checkCombinations() {
        const RbfindOptions& options = command.options;
        if (options.watch && options.json) {
            fail("'--watch' cannot be combined with '--json'");
        } else if (options.watch && options.first) {
            fail("'--watch' cannot be combined with '--first'");
        } else if (options.watch && options.diagnose) {
            fail("'--watch' cannot be combined with '--diagnose'");
        } else if (!options.hosts.empty() && !options.addresses.empty()) {
            fail("'--host' cannot be combined with '--address': the system's routes choose "
                 "where a unicast request leaves from");
        }
    }

    const std::vector<std::string>& arguments;
    std::size_t index = 0;
    RbfindCommand command;
};

} // namespace

RbfindCommand parseRbfindArguments(const std::vector<std::string>& arguments) {
    return Parser(arguments).parse();
}

bool isDottedQuad(const std::string& text) {
    std::string_view rest = text;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = rest.find('.');
        const bool last = part == 3;
        if ((dot == std::string_view::npos) != last) {
            return false;
        }
        const std::string_view digits = rest.substr(0, dot);
        if (digits.size() > 3 || (digits.size() > 1 && digits.front() == '0') ||
            !readCount(digits, 255)) {
            return false;
        }
        rest = last ? std::string_view() : rest.substr(dot + 1);
    }
    return true;
}

std::string rbfindUsage() {
    return "Usage: rbfind [OPTION]...\n"
           "Searches the local networks for RB instruments and lists them as the finder's\n"
           "window does: one line \"TYPE - SERIAL - ADDRESS\" per device, sorted.\n"
           "\n"
           "  --json             print every server record of the search and the listed\n"
           "                     devices as one JSON document\n"
           "  --all              list every device of every server, whatever its family\n"
           "  --timeout MS       search for MS milliseconds (default 2000)\n"
           "  --address A        search only from local IPv4 address A (repeatable)\n"
           "  --host H           ask only host H (an IPv4 address or a name, repeatable)\n"
           "                     by unicast, for instruments that multicast does not reach\n"
           "  --diagnose         after the search, report what each socket sent and\n"
           "                     received, the devices left out and why, and hints\n"
           "  --first            stop at the first listed device to answer and print it;\n"
           "                     asks again every 2 s until the timeout\n"
           "  --watch [SECONDS]  search every SECONDS (default 10) until interrupted and\n"
           "                     print the devices that come and go, with the time\n"
           "  -v, --verbose      print diagnostics on standard error\n"
           "  -h, --help         print this help and exit\n"
           "      --version      print the version and exit\n"
           "\n"
           "Exit status: 0 when a device was listed (and after --watch is interrupted),\n"
           "1 when none was, 2 for a usage error, 3 when the search failed.\n";
}

} // namespace velmor::cli
