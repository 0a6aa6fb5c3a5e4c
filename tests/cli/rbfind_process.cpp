#include "rbfind_process.h"

#include "support/peer_namespace.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmor::testing {

namespace {

using Clock = std::chrono::steady_clock;

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace

RbfindProcess::RbfindProcess(const std::vector<std::string>& args) {
    std::vector<std::string> command{RBFINDER_RBFIND_PATH};
    command.insert(command.end(), args.begin(), args.end());
    if (!args.empty() && args.back().rfind('>', 0) == 0) {
        // The shell opens the file, then becomes rbfind with the other arguments.
        command.pop_back();
        command.insert(command.begin(), {"/bin/sh", "-c", "exec \"$@\" " + args.back(), "sh"});
    }
    started = Clock::now();
    const ChildProcess child = spawnProcess(command, ErrorOutput::separate);
    pid = child.pid;
    outFd = child.outputFd;
    errFd = child.errorFd;
}

RbfindProcess::~RbfindProcess() {
    if (pid > 0) {
        killAndReap(pid);
    }
    closeFd(outFd);
    closeFd(errFd);
}

bool RbfindProcess::readSome(Clock::time_point deadline) {
    if (outFd < 0 && errFd < 0) {
        return false;
    }
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const int ready = ::poll(fds, 2, static_cast<int>(std::max<std::int64_t>(0, left.count())));
    if (ready < 0 && errno != EINTR) {
        throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
    }
    int* targets[2] = {&outFd, &errFd};
    std::string* texts[2] = {&result.out, &result.err};
    for (int i = 0; i < 2; ++i) {
        if (ready > 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char buffer[4096];
            const ssize_t count = ::read(*targets[i], buffer, sizeof buffer);
            if (count > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(count));
            } else if (count == 0 || errno != EINTR) {
                closeFd(*targets[i]);
            }
        }
    }
    return outFd >= 0 || errFd >= 0;
}

bool RbfindProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    return waitFor(result.out, text, timeout);
}

bool RbfindProcess::waitForError(const std::string& text, std::chrono::milliseconds timeout) {
    return waitFor(result.err, text, timeout);
}

bool RbfindProcess::waitFor(const std::string& collected, const std::string& text,
                            std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (collected.find(text) == std::string::npos) {
        if (Clock::now() >= deadline || !readSome(deadline)) {
            return collected.find(text) != std::string::npos;
        }
    }
    return true;
}

void RbfindProcess::signal(int signalNumber) {
    if (pid > 0) {
        ::kill(pid, signalNumber);
    }
}

RbfindResult RbfindProcess::finish(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline && readSome(deadline)) {
    }
    int status = 0;
    if (waitForExit(pid, deadline, status)) {
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } else {
        killAndReap(pid);
        result.status = -1;
    }
    pid = -1;
    result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    closeFd(outFd);
    closeFd(errFd);
    return result;
}

RbfindResult runRbfind(const std::vector<std::string>& args, std::chrono::milliseconds timeout) {
    RbfindProcess process(args);
    return process.finish(timeout);
}

std::string packResults(const std::vector<RbfindResult>& results) {
    std::ostringstream packed;
    for (const RbfindResult& r : results) {
        packed << r.status << ' ' << r.elapsed.count() << ' ' << r.out.size() << ' ' << r.err.size()
               << '\n'
               << r.out << r.err;
    }
    return packed.str();
}

std::vector<RbfindResult> unpackResults(const std::string& text) {
    std::vector<RbfindResult> results;
    std::istringstream in(text);
    RbfindResult r;
    std::int64_t elapsed = 0;
    std::size_t outSize = 0;
    std::size_t errSize = 0;
    while (in >> r.status >> elapsed >> outSize >> errSize && in.get() == '\n') {
        r.elapsed = std::chrono::milliseconds(elapsed);
        r.out.assign(outSize, '\0');
        r.err.assign(errSize, '\0');
        in.read(r.out.data(), static_cast<std::streamsize>(outSize));
        in.read(r.err.data(), static_cast<std::streamsize>(errSize));
        results.push_back(r);
    }
    return results;
}

} // namespace velmor::testing
