// The command line of rbsim.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "protocol/discovery_message.h"

namespace velmor::tools {

// Bounds that keep a mistyped number from turning into an endless run or a huge answer.
inline constexpr std::chrono::milliseconds MaxSimDelay{600'000};
inline constexpr unsigned MaxSimRepeat = 100000;
inline constexpr std::size_t MaxGeneratedServers = 100'000;

struct SimOptions {
    std::vector<std::uint16_t> ports{8017, 8018}; // 0 binds a port of the system's choice
    std::vector<std::string> interfaces;          // empty: every multicast-capable one
    std::string configFile;
    std::vector<std::string> serials;
    std::vector<std::string> types;
    std::string uid; // empty: "dataserver-" + the first serial
    std::string serverType = "dataserver";
    std::optional<std::size_t> generatedServers;
    bool onePerDatagram = false; // every server in a datagram of its own
    std::chrono::milliseconds delay{0};
    unsigned repeat = 1;
    std::chrono::microseconds pace{0}; // pause between datagrams of one answer
    std::optional<std::string> answerId;
    std::uint32_t version = DiscoveryProtocolVersion;
    std::string rawFile;
    std::string sendFirstFile;
    std::optional<std::uint16_t> answerPort;
    bool quiet = false;
    bool help = false;
};

// A command line that cannot be used; the text names the option and the problem.
class SimOptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses the arguments after the program name. Options take their value as the next
// argument or after "=". The first --port replaces the default ports; repeated ports
// are kept once. Throws SimOptionError for unknown options, missing or malformed values,
// values out of range and options that exclude each other.
SimOptions parseSimOptions(const std::vector<std::string>& args);

// The text printed by --help.
std::string simUsage();

} // namespace velmor::tools
