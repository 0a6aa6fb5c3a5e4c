// The command line of rbfind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmor::cli {

struct RbfindOptions {
    bool json = false;
    bool all = false;
    bool first = false;
    bool verbose = false;
    bool watch = false;
    std::int64_t timeoutMs = 2000;
    std::int64_t watchSeconds = 10;
    // Dotted-quad IPv4 texts in their one standard form, without repeats, in the order
    // given. Whether they are local addresses is for the caller to check.
    std::vector<std::string> addresses;
    // --host: IPv4 texts or host names, without repeats, in the order given; resolved by
    // the caller.
    std::vector<std::string> hosts;
    bool diagnose = false;

    friend bool operator==(const RbfindOptions&, const RbfindOptions&) = default;
};

inline constexpr std::int64_t maximumTimeoutMs = 3'600'000;
inline constexpr std::int64_t maximumWatchSeconds = 86'400;

struct RbfindCommand {
    enum class Action { search, help, version, usageError };
    Action action = Action::search;
    RbfindOptions options;
    std::string error; // for usageError: what is wrong, in one line
};

// Reads the arguments after the program name. Options may come in any order; a later
// --timeout or --watch period replaces an earlier one. Value options take their value
// as the next argument or after "=". --watch takes a period only when the next argument
// does not start with "-". --help and --version act as soon as they are read.
RbfindCommand parseRbfindArguments(const std::vector<std::string>& arguments);

// The text of --help.
std::string rbfindUsage();

} // namespace velmor::cli
