#include "support/peer_namespace.h"

#include <stdexcept>

#if defined(__linux__)

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/netns.h"

namespace velmor::testing {

namespace {

// Closes the descriptor it holds unless released.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_ = -1;
};

struct Pipe {
    Fd read;
    Fd write;
};

Pipe makePipe() {
    std::array<int, 2> fds{};
    if (::pipe2(fds.data(), O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
    }
    Pipe pipe;
    pipe.read = Fd(fds[0]);
    pipe.write = Fd(fds[1]);
    return pipe;
}

// Everything the child needs is prepared before fork: after it, only calls that are
// safe in the child of a threaded process are made.
std::vector<char*> argvOf(std::vector<std::string>& texts) {
    std::vector<char*> argv;
    for (auto& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    return argv;
}

void writeInt(int fd, int value) {
    [[maybe_unused]] const ssize_t n = ::write(fd, &value, sizeof value);
}

// Reads one int; nothing at end of file or when `timeoutMs` passes.
std::optional<int> readInt(int fd, int timeoutMs) {
    pollfd request{fd, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&request, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        return std::nullopt;
    }
    int value = 0;
    ssize_t n = 0;
    do {
        n = ::read(fd, &value, sizeof value);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof value) ? std::optional<int>(value) : std::nullopt;
}

// In the child: stdout and stderr to their pipes, and die with the parent, so that a
// test that is killed leaves no process behind.
void prepareChild(int outputFd, int errorFd, pid_t parent) {
    ::dup2(outputFd, STDOUT_FILENO);
    ::dup2(errorFd, STDERR_FILENO);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) {
        ::_exit(126);
    }
}

// The pair of an earlier peer namespace goes away only when the kernel has finished
// tearing that namespace down, a little after its last process ended.
void waitForLinkGone(const std::string& name) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (::if_nametoindex(name.c_str()) != 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            throw std::runtime_error("link " + name + " already exists");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Flushes stdio first, so that the child does not write the parent's buffers again.
pid_t forkChild() {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
    return child;
}

// In the child: becomes the command, or reports errno through `reportFd` and exits.
[[noreturn]] void execOrReport(const std::vector<char*>& argv, int reportFd) {
    ::execv(argv[0], argv.data());
    writeInt(reportFd, errno);
    ::_exit(127);
}

} // namespace

bool waitForExit(int pid, std::chrono::steady_clock::time_point deadline, int& status) {
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            return done == pid;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int killAndReap(int pid) {
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

ChildProcess spawnProcess(const std::vector<std::string>& command, ErrorOutput errors) {
    if (command.empty()) {
        throw std::runtime_error("spawnProcess: empty command");
    }
    std::vector<std::string> texts = command;
    const std::vector<char*> argv = argvOf(texts);
    Pipe output = makePipe();
    Pipe errorOutput = errors == ErrorOutput::separate ? makePipe() : Pipe{};
    const int childErrorFd =
        errors == ErrorOutput::separate ? errorOutput.write.get() : output.write.get();
    Pipe execReport = makePipe();
    const pid_t parent = ::getpid();
    const pid_t child = forkChild();
    if (child == 0) {
        prepareChild(output.write.get(), childErrorFd, parent);
        execOrReport(argv, execReport.write.get());
    }
    output.write.reset();
    errorOutput.write.reset();
    execReport.write.reset();
    if (const auto error = readInt(execReport.read.get(), -1)) {
        killAndReap(child);
        throw std::runtime_error("cannot run " + command[0] + ": " + std::strerror(*error));
    }
    return {child, output.read.release(), errorOutput.read.release()};
}

ChildProcess spawnInPeerNamespace(const std::vector<std::string>& command,
                                  const PeerNamespaceConfig& config) {
    if (command.empty()) {
        throw std::runtime_error("spawnInPeerNamespace: empty command");
    }
    // The peer's side is configured by a shell that then becomes the command.
    std::vector<std::string> texts = {
        "/bin/sh",
        "-c",
        "ip link set lo up && ip addr add \"$1\" dev \"$2\" && ip link set \"$2\" up && "
        "shift 2 && exec \"$@\"",
        "peer-namespace",
        config.peerAddress,
        config.peerLink};
    texts.insert(texts.end(), command.begin(), command.end());
    const std::vector<char*> argv = argvOf(texts);
    Pipe output = makePipe();
    Pipe execReport = makePipe();
    Pipe unshared = makePipe(); // child to parent: 0, or the errno of unshare
    Pipe go = makePipe();       // parent to child: 1 once the pair exists
    const pid_t parent = ::getpid();
    const pid_t child = forkChild();
    if (child == 0) {
        prepareChild(output.write.get(), output.write.get(), parent);
        writeInt(unshared.write.get(), ::unshare(CLONE_NEWNET) == 0 ? 0 : errno);
        // End of file here means the parent gave up.
        if (readInt(go.read.get(), -1).value_or(0) != 1) {
            ::_exit(125);
        }
        execOrReport(argv, execReport.write.get());
    }
    output.write.reset();
    execReport.write.reset();
    unshared.write.reset();
    go.read.reset();

    try {
        const auto unshareResult = readInt(unshared.read.get(), 5000);
        if (!unshareResult) {
            throw std::runtime_error("the peer namespace child did not report");
        }
        if (*unshareResult != 0) {
            throw std::runtime_error(std::string("cannot create the peer namespace: ") +
                                     std::strerror(*unshareResult));
        }
        waitForLinkGone(config.localLink);
        runCommand("ip link add " + config.localLink + " type veth peer name " + config.peerLink +
                   " netns " + std::to_string(child));
        runCommand("ip addr add " + config.localAddress + " dev " + config.localLink);
        runCommand("ip link set " + config.localLink + " up");
        writeInt(go.write.get(), 1);
        go.write.reset();
        if (const auto error = readInt(execReport.read.get(), -1)) {
            throw std::runtime_error("cannot run /bin/sh: " + std::string(std::strerror(*error)));
        }
        // Running needs the peer's end up too, which the shell does before the command.
        waitForLinkRunning(config.localLink);
    } catch (...) {
        killAndReap(child);
        throw;
    }
    return {child, output.read.release()};
}

} // namespace velmor::testing

#else

namespace velmor::testing {

ChildProcess spawnProcess(const std::vector<std::string>&, ErrorOutput) {
    throw std::runtime_error("spawnProcess is implemented for Linux only");
}

ChildProcess spawnInPeerNamespace(const std::vector<std::string>&, const PeerNamespaceConfig&) {
    throw std::runtime_error("network namespaces exist only on Linux");
}

bool waitForExit(int, std::chrono::steady_clock::time_point, int&) {
    throw std::runtime_error("waitForExit is implemented for Linux only");
}

int killAndReap(int) {
    throw std::runtime_error("killAndReap is implemented for Linux only");
}

} // namespace velmor::testing

#endif
