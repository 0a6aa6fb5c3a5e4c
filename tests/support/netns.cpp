#include "support/netns.h"
#include "support/peer_namespace.h"

#include <stdexcept>

#include <gtest/gtest.h>

namespace velmor::testing {

std::optional<std::string> outputInNewNetworkNamespace(const std::function<std::string()>& body,
                                                       std::string& skipReason,
                                                       std::chrono::milliseconds timeout) {
    const NamespaceRun run = runInNewNetworkNamespace(body, timeout);
    if (run.status == NamespaceRun::Status::skipped) {
        skipReason = run.output;
        return std::nullopt;
    }
    EXPECT_EQ(run.status, NamespaceRun::Status::completed) << run.output;
    if (run.status != NamespaceRun::Status::completed) {
        return std::nullopt;
    }
    return run.output;
}

std::string outputOrSkipNote(const std::function<std::string()>& body,
                             std::chrono::milliseconds timeout) {
    std::string skipReason;
    const auto output = outputInNewNetworkNamespace(body, skipReason, timeout);
    return skipReason.empty() ? output.value_or("failed") : "skipped: " + skipReason;
}

} // namespace velmor::testing

#if defined(__linux__)

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmor::testing {

namespace {

using Clock = std::chrono::steady_clock;

// The child's report starts with one of these, followed by the text.
constexpr char completedTag = 'C';
constexpr char skippedTag = 'S';
constexpr char failedTag = 'F';

void writeAll(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        written += static_cast<std::size_t>(n);
    }
}

[[noreturn]] void childMain(int reportFd, const std::function<std::string()>& body) {
    std::string report;
    if (::unshare(CLONE_NEWNET) != 0) {
        const int error = errno;
        const bool unsupportedHere = error == EPERM || error == EINVAL || error == ENOSYS;
        report = unsupportedHere ? skippedTag : failedTag;
        report += "cannot create a network namespace (needs root and kernel support): ";
        report += std::strerror(error);
    } else {
        try {
            report = completedTag + body();
        } catch (const std::exception& exception) {
            report = failedTag + std::string(exception.what());
        } catch (...) {
            report = failedTag + std::string("the body threw a non-standard exception");
        }
    }
    writeAll(reportFd, report);
    ::_exit(0);
}

int millisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// Reads until end of file; false when the deadline passes first.
bool readAll(int fd, Clock::time_point deadline, std::string& text) {
    std::array<char, 4096> chunk{};
    for (;;) {
        pollfd request{fd, POLLIN, 0};
        const int ready = ::poll(&request, 1, millisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return true;
        }
        text.append(chunk.data(), static_cast<std::size_t>(n));
    }
}

} // namespace

NamespaceRun runInNewNetworkNamespace(const std::function<std::string()>& body,
                                      std::chrono::milliseconds timeout) {
    using Status = NamespaceRun::Status;
    std::array<int, 2> pipeFds{};
    if (::pipe2(pipeFds.data(), O_CLOEXEC) != 0) {
        return {Status::failed, std::string("pipe2: ") + std::strerror(errno)};
    }
    // Buffered output would otherwise be written by both processes.
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return {Status::failed, std::string("fork: ") + std::strerror(error)};
    }
    if (child == 0) {
        ::close(pipeFds[0]);
        childMain(pipeFds[1], body);
    }
    ::close(pipeFds[1]);

    const auto deadline = Clock::now() + timeout;
    std::string report;
    const bool complete = readAll(pipeFds[0], deadline, report);
    ::close(pipeFds[0]);
    int status = 0;
    if (!complete || !waitForExit(child, deadline, status)) {
        killAndReap(child);
        return {Status::failed, "the namespace child timed out and was killed"};
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || report.empty()) {
        return {Status::failed, "the namespace child died without a report"};
    }
    const char tag = report.front();
    report.erase(0, 1);
    const Status result = tag == completedTag ? Status::completed
                          : tag == skippedTag ? Status::skipped
                                              : Status::failed;
    return {result, report};
}

void runCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("command failed: " + command);
    }
}

void waitForLinkRunning(const std::string& name, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    const auto wanted = static_cast<unsigned>(IFF_UP | IFF_RUNNING);
    for (;;) {
        ifaddrs* list = nullptr;
        if (::getifaddrs(&list) == 0) {
            const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owner(list, &::freeifaddrs);
            for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
                if (entry->ifa_name == name && (entry->ifa_flags & wanted) == wanted) {
                    return;
                }
            }
        }
        if (Clock::now() >= deadline) {
            throw std::runtime_error("link " + name + " did not come up and running");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace velmor::testing

#else

namespace velmor::testing {

NamespaceRun runInNewNetworkNamespace(const std::function<std::string()>&,
                                      std::chrono::milliseconds) {
    return {NamespaceRun::Status::skipped, "network namespaces exist only on Linux"};
}

void runCommand(const std::string& command) {
    throw std::runtime_error("no namespace to run in: " + command);
}

void waitForLinkRunning(const std::string& name, std::chrono::milliseconds) {
    throw std::runtime_error("no namespace to wait for link " + name);
}

} // namespace velmor::testing

#endif
