#include "cli/rbfind_options.h"

#include <optional>
#include <string_view>

#include "cmdline/argument_cursor.h"
#include "net/host_lookup.h"

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

std::string optionInMessage(std::string_view name) {
    return "option " + quoted(name);
}

std::int64_t timeoutFrom(const std::string& text) {
    const auto milliseconds = readCount(text, maximumTimeoutMs);
    if (!milliseconds) {
        throw cmdline::ArgumentError("'--timeout' expects milliseconds from 0 to " +
                                     std::to_string(maximumTimeoutMs) + ", not " + quoted(text));
    }
    return *milliseconds;
}

std::int64_t watchSecondsFrom(const std::string& text) {
    const auto seconds = readCount(text, maximumWatchSeconds);
    if (!seconds || *seconds == 0) {
        throw cmdline::ArgumentError("'--watch' expects seconds from 1 to " +
                                     std::to_string(maximumWatchSeconds) + ", not " + quoted(text));
    }
    return *seconds;
}

const std::string& addressFrom(const std::string& text) {
    if (!isDottedQuad(text)) {
        throw cmdline::ArgumentError(
            "'--address' expects an IPv4 address such as 192.168.1.20, not " + quoted(text));
    }
    return text;
}

const std::string& hostFrom(const std::string& text) {
    if (text.empty() || text.starts_with("-")) {
        throw cmdline::ArgumentError("'--host' expects an IPv4 address or a host name, not " +
                                     quoted(text));
    }
    return text;
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& arguments)
        : cursor(arguments, optionInMessage) {}

    RbfindCommand parse() {
        try {
            // --help and --version act at once: what follows them is not read.
            while (command.action == Action::search && cursor.next()) {
                readOption();
            }
        } catch (const cmdline::ArgumentError& error) {
            fail(error.what());
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

    // Throws cmdline::ArgumentError for an argument that cannot be used.
    void readOption() {
        const std::string& name = cursor.name();
        RbfindOptions& options = command.options;
        if (name == "--help" || name == "-h") {
            cursor.flag();
            command.action = Action::help;
        } else if (name == "--version") {
            cursor.flag();
            command.action = Action::version;
        } else if (bool* const given = flagNamed(name)) {
            cursor.flag(*given);
        } else if (name == "--timeout") {
            options.timeoutMs = timeoutFrom(cursor.value());
        } else if (name == "--address") {
            cmdline::appendOnce(options.addresses, addressFrom(cursor.value()));
        } else if (name == "--host") {
            cmdline::appendOnce(options.hosts, hostFrom(cursor.value()));
        } else if (name == "--watch") {
            options.watch = true;
            if (const auto period = cursor.optionalValue()) {
                options.watchSeconds = watchSecondsFrom(*period);
            }
        } else if (const std::string& argument = cursor.argument();
                   argument.starts_with("-") && argument != "-") {
            throw cmdline::ArgumentError("unknown option " + quoted(name));
        } else {
            throw cmdline::ArgumentError("unexpected argument " + quoted(argument));
        }
    }

    // The option that a flag other than --help and --version sets; nullptr for others.
    bool* flagNamed(std::string_view name) {
        RbfindOptions& options = command.options;
        if (name == "--json") {
            return &options.json;
        }
        if (name == "--all") {
            return &options.all;
        }
        if (name == "--first") {
            return &options.first;
        }
        if (name == "--verbose" || name == "-v") {
            return &options.verbose;
        }
        if (name == "--diagnose") {
            return &options.diagnose;
        }
        return nullptr;
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

    cmdline::ArgumentCursor cursor;
    RbfindCommand command;
};

} // namespace

RbfindCommand parseRbfindArguments(const std::vector<std::string>& arguments) {
    return Parser(arguments).parse();
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
