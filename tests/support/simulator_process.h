// Runs rbsim for a test, here or in a peer network namespace, and collects its output.
// Meant for bodies of runInNewNetworkNamespace (support/netns.h): failures throw
// std::runtime_error, never test assertions.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/peer_namespace.h"

namespace velmor::testing {

class SimulatorProcess {
public:
    SimulatorProcess() = default;
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;
    // Kills and reaps a simulator that still runs.
    ~SimulatorProcess();

    // The rbsim built with the tests.
    static std::string executablePath();

    // Starts rbsim with `args` in the current namespace and returns once it has printed
    // its "rbsim listening" line. Throws, with the output so far, when it exits first or
    // stays silent for `timeout`; it is killed then. Throws when already started.
    void start(const std::vector<std::string>& args,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // The same in a fresh namespace linked to this one by a veth pair (spawnInPeerNamespace).
    void startInPeerNamespace(const std::vector<std::string>& args,
                              const PeerNamespaceConfig& config = {},
                              std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Sends SIGTERM, waits for the exit and returns all output, the summary line included.
    // Throws, with the output, when rbsim does not exit with status 0 within `timeout`
    // (it is killed then) or was not started.
    std::string stop(std::chrono::milliseconds timeout = std::chrono::seconds(5));

    bool running() const { return pid_ > 0; }

    // The output collected so far.
    std::string output() const;

    // Waits until the output contains `text`; false when `timeout` passes or the output
    // ends first.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout) const;

    // The ports of the listening line; useful with "--port 0".
    std::vector<std::uint16_t> ports() const;

private:
    void attach(ChildProcess child, std::chrono::milliseconds timeout);
    void readOutput(int fd);
    void finishReading();
    void killAndReap();

    int pid_ = -1;
    std::thread reader_;
    std::atomic<bool> stopReading_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string output_;
    bool outputEnded_ = false;
};

} // namespace velmor::testing
