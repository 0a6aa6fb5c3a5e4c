#include "support/simulator_process.h"

#include <stdexcept>

#if defined(__linux__)

#include <array>
#include <cerrno>
#include <csignal>
#include <sstream>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmor::testing {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* ListeningLine = "rbsim listening on ports";
// A runaway simulator must not eat the test's memory.
constexpr std::size_t MaxCollectedOutput = 64 * 1024 * 1024;

std::string describe(int status) {
    if (WIFEXITED(status)) {
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return "was killed by signal " + std::to_string(WTERMSIG(status));
    }
    return "ended with wait status " + std::to_string(status);
}

} // namespace

SimulatorProcess::~SimulatorProcess() {
    if (running()) {
        killAndReap();
    }
    finishReading();
}

std::string SimulatorProcess::executablePath() {
#ifdef RBFINDER_RBSIM_PATH
    return RBFINDER_RBSIM_PATH;
#else
    throw std::runtime_error("the tests were built without RBFINDER_RBSIM_PATH");
#endif
}

void SimulatorProcess::start(const std::vector<std::string>& args,
                             std::chrono::milliseconds timeout) {
    if (running()) {
        throw std::runtime_error("rbsim is already running");
    }
    std::vector<std::string> command{executablePath()};
    command.insert(command.end(), args.begin(), args.end());
    attach(spawnProcess(command), timeout);
}

void SimulatorProcess::startInPeerNamespace(const std::vector<std::string>& args,
                                            const PeerNamespaceConfig& config,
                                            std::chrono::milliseconds timeout) {
    if (running()) {
        throw std::runtime_error("rbsim is already running");
    }
    std::vector<std::string> command{executablePath()};
    command.insert(command.end(), args.begin(), args.end());
    attach(spawnInPeerNamespace(command, config), timeout);
}

void SimulatorProcess::attach(ChildProcess child, std::chrono::milliseconds timeout) {
    // Output of an earlier run stays readable until the next start.
    finishReading();
    {
        const std::lock_guard lock(mutex_);
        output_.clear();
        outputEnded_ = false;
    }
    stopReading_ = false;
    pid_ = child.pid;
    reader_ = std::thread([this, fd = child.outputFd] { readOutput(fd); });
    if (!waitForOutput(ListeningLine, timeout)) {
        killAndReap();
        finishReading();
        throw std::runtime_error("rbsim did not start listening; its output:\n" + output());
    }
}

std::string SimulatorProcess::stop(std::chrono::milliseconds timeout) {
    if (!running()) {
        throw std::runtime_error("rbsim is not running");
    }
    ::kill(pid_, SIGTERM);
    int status = 0;
    const bool exited = waitForExit(pid_, Clock::now() + timeout, status);
    if (!exited) {
        killAndReap();
    }
    pid_ = -1;
    finishReading();
    if (!exited) {
        throw std::runtime_error("rbsim did not stop on SIGTERM and was killed; its output:\n" +
                                 output());
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("rbsim " + describe(status) + "; its output:\n" + output());
    }
    return output();
}

std::string SimulatorProcess::output() const {
    const std::lock_guard lock(mutex_);
    return output_;
}

bool SimulatorProcess::waitForOutput(const std::string& text,
                                     std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout,
                      [&] { return outputEnded_ || output_.find(text) != std::string::npos; });
    return output_.find(text) != std::string::npos;
}

std::vector<std::uint16_t> SimulatorProcess::ports() const {
    const std::string text = output();
    const auto start = text.find(ListeningLine);
    if (start == std::string::npos) {
        return {};
    }
    const auto begin = start + std::string(ListeningLine).size();
    std::istringstream line(text.substr(begin, text.find('\n', begin) - begin));
    std::vector<std::uint16_t> result;
    unsigned port = 0;
    while (line >> port) {
        result.push_back(static_cast<std::uint16_t>(port));
    }
    return result;
}

void SimulatorProcess::readOutput(int fd) {
    std::array<char, 4096> chunk{};
    for (;;) {
        pollfd request{fd, POLLIN, 0};
        const int ready = ::poll(&request, 1, 50);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready <= 0) {
            // Nothing came for a while; after the exit, a pipe still held open by an
            // orphaned grandchild must not keep the reader forever.
            if (stopReading_) {
                break;
            }
            continue;
        }
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        const std::lock_guard lock(mutex_);
        if (output_.size() < MaxCollectedOutput) {
            output_.append(chunk.data(), static_cast<std::size_t>(n));
        }
        changed_.notify_all();
    }
    ::close(fd);
    const std::lock_guard lock(mutex_);
    outputEnded_ = true;
    changed_.notify_all();
}

void SimulatorProcess::finishReading() {
    if (reader_.joinable()) {
        stopReading_ = true;
        reader_.join();
    }
}

void SimulatorProcess::killAndReap() {
    testing::killAndReap(pid_);
    pid_ = -1;
}

} // namespace velmor::testing

#else

namespace velmor::testing {

SimulatorProcess::~SimulatorProcess() = default;

std::string SimulatorProcess::executablePath() {
    throw std::runtime_error("rbsim runs on Linux only");
}

void SimulatorProcess::start(const std::vector<std::string>&, std::chrono::milliseconds) {
    executablePath();
}

void SimulatorProcess::startInPeerNamespace(const std::vector<std::string>&,
                                            const PeerNamespaceConfig&, std::chrono::milliseconds) {
    executablePath();
}

std::string SimulatorProcess::stop(std::chrono::milliseconds) {
    throw std::runtime_error("rbsim is not running");
}

std::string SimulatorProcess::output() const {
    return {};
}

bool SimulatorProcess::waitForOutput(const std::string&, std::chrono::milliseconds) const {
    return false;
}

std::vector<std::uint16_t> SimulatorProcess::ports() const {
    return {};
}

} // namespace velmor::testing

#endif
