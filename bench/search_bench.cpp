// One search per row against the simulator, each in a network namespace of its own
// with only the loopback link: what was sent, what the engine stored and returned,
// and what the search cost. Prints a table; asserts nothing.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "discovery/multicast_discovery.h"
#include "support/netns.h"
#include "support/simulator_process.h"

namespace {

using velmor::MulticastDiscovery;
using velmor::testing::NamespaceRun;

struct Row {
    const char* label;
    std::vector<std::string> simulatorArguments;
};

// A field of /proc/self/status in KiB, such as "VmRSS:".
long statusKib(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(field.size()));
        }
    }
    return -1;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// "rbsim: R requests, A answers sent, B bytes sent" gives A.
long answersSent(const std::string& simulatorOutput) {
    static const std::regex summary(R"(rbsim: \d+ requests, (\d+) answers sent)");
    std::smatch match;
    return std::regex_search(simulatorOutput, match, summary) ? std::stol(match[1].str()) : -1;
}

// Runs in the namespace child; gives the tab-separated figures of one row.
std::string measure(const Row& row) {
    velmor::testing::runCommand("ip link set lo up");
    velmor::testing::SimulatorProcess simulator;
    std::vector<std::string> arguments = row.simulatorArguments;
    arguments.push_back("--quiet");
    simulator.start(arguments);

    MulticastDiscovery search(15, &velmor::discoveryPorts, 1);
    std::ofstream("/proc/self/clear_refs") << "5"; // restarts the peak resident size
    const long rssBefore = statusKib("VmRSS:");
    const double cpuBefore = cpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    search.run();
    const auto wall = std::chrono::steady_clock::now() - wallBefore;
    const double cpu = cpuSeconds() - cpuBefore;
    const long peakGrowth = statusKib("VmHWM:") - rssBefore;

    const long sent = answersSent(simulator.stop());
    const auto& statistics = search.statistics();
    const long stored = static_cast<long>(statistics.storedAnswers);
    std::set<std::string> distinct;
    for (const velmor::ServerInfo& server : search.servers()) {
        distinct.insert(server.uid);
    }
    std::ostringstream out;
    out << sent << '\t' << stored << '\t' << search.servers().size() << '\t' << distinct.size()
        << '\t' << sent - stored << '\t' << statistics.droppedAnswers << '\t'
        << static_cast<long>(cpu * 1000) << '\t'
        << std::chrono::duration_cast<std::chrono::milliseconds>(wall).count() << '\t'
        << static_cast<double>(peakGrowth) / 1024.0;
    return out.str();
}

} // namespace

// rbfinder-search-bench [TEXT]: only the rows whose label contains TEXT.
int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    // A datagram that begins like an answer but belongs to no request.
    const std::string junk = "/tmp/rbfinder-bench-junk-" + std::to_string(::getpid());
    std::ofstream(junk) << '{' << std::string(4000, 'x');
    // An answer to the request (rbsim puts in its id) whose 4 KB are empty server objects:
    // each becomes a record, about a hundred times the datagram's size.
    const std::string empties = "/tmp/rbfinder-bench-empties-" + std::to_string(::getpid());
    {
        std::ofstream out(empties);
        out << R"({"request":"kv-discovery-answer","version":"3","id":"@ID@","servers":[{})";
        for (int i = 0; i < 1300; ++i) {
            out << ",{}";
        }
        out << "]}";
    }
    const std::vector<Row> rows{
        {"1 server", {"--servers", "1"}},
        {"100 servers", {"--servers", "100"}},
        {"1,000 servers", {"--servers", "1000"}},
        {"10,000 servers", {"--servers", "10000"}},
        {"10,000 servers x20", {"--servers", "10000", "--repeat", "20"}},
        // Floods that start after the settling sleep, while the search reads.
        {"flood: answers", {"--servers", "1000", "--repeat", "150", "--pace", "20"}},
        {"flood: junk", {"--raw", junk, "--repeat", "16000", "--pace", "20"}},
        // Instruments that answer at once, each with a datagram of its own.
        {"burst: 100", {"--servers", "100", "--one-per-datagram"}},
        {"burst: 1,000", {"--servers", "1000", "--one-per-datagram"}},
        {"burst: 5,000", {"--servers", "5000", "--one-per-datagram"}},
        // 1,500 answers per socket spread over the search, each 1,301 empty servers.
        {"amplification", {"--raw", empties, "--repeat", "1500", "--pace", "1300"}},
    };
    std::printf("One run() on the loopback link (2 sockets: ports 8017 and 8018), 2000 ms.\n");
    std::printf("sent/stored/lost count datagrams over both sockets; 'capped' is the part of\n");
    std::printf("'lost' that the storage bounds turned away, the rest the kernel dropped.\n");
    std::printf("'servers' counts records (one per socket that heard a server), 'uids' the\n");
    std::printf("distinct servers among them. cpu and wall are those of run(), 'late' is wall\n");
    std::printf("less the 2000 ms asked for; peak is the growth of the resident size.\n\n");
    std::printf("%-20s %8s %8s %8s %8s %8s %8s %8s %8s %8s %10s\n", "simulator", "sent", "stored",
                "servers", "uids", "lost", "capped", "cpu ms", "wall ms", "late ms", "peak MiB");
    for (const Row& row : rows) {
        if (std::string(row.label).find(only) == std::string::npos) {
            continue;
        }
        const NamespaceRun run = velmor::testing::runInNewNetworkNamespace(
            [&row] { return measure(row); }, std::chrono::seconds(120));
        if (run.status != NamespaceRun::Status::completed) {
            std::printf("%-20s %s\n", row.label, run.output.c_str());
            continue;
        }
        std::istringstream fields(run.output);
        long sent = 0, stored = 0, servers = 0, uids = 0, lost = 0, capped = 0, cpu = 0, wall = 0;
        double peak = 0;
        fields >> sent >> stored >> servers >> uids >> lost >> capped >> cpu >> wall >> peak;
        std::printf("%-20s %8ld %8ld %8ld %8ld %8ld %8ld %8ld %8ld %8ld %10.1f\n", row.label, sent,
                    stored, servers, uids, lost, capped, cpu, wall, wall - 2000, peak);
    }
    std::remove(junk.c_str());
    std::remove(empties.c_str());
    return 0;
}
