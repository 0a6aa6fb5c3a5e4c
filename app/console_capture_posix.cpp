#include "app/console_capture.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string_view>
#include <thread>

#include "app/wide_text.h"

namespace velmor {

namespace {

void closeIfOpen(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Moves a new descriptor above the standard ones, which a process started with a closed
// standard stream hands out first and which are about to be replaced.
void moveAboveStandard(int& fd) {
    if (fd > STDERR_FILENO) {
        return;
    }
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fd);
    fd = moved;
}

// A copy of what `fd` refers to, to give it back later: -1 when `fd` is closed, which
// giving back then restores.
int saveDescriptor(int fd, bool& failed) {
    const int saved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    failed = failed || (saved < 0 && errno != EBADF);
    return saved;
}

void restoreDescriptor(int saved, int fd) {
    if (saved >= 0) {
        ::dup2(saved, fd);
    } else {
        ::close(fd);
    }
}

} // namespace

struct ConsoleCapture::Platform {
    int readEnd = -1;
    int writeEnd = -1;
    // The streams' own descriptors, kept to give them back.
    int savedOutput = -1;
    int savedError = -1;
    // Written once to end the reading thread.
    int stopRead = -1;
    int stopWrite = -1;
    std::thread reader;

    ~Platform() {
        for (int* fd : {&readEnd, &writeEnd, &savedOutput, &savedError, &stopRead, &stopWrite}) {
            closeIfOpen(*fd);
        }
    }

    // One read of the pipe into the log: up to readSize bytes, shown up to a NUL.
    // False at the end of the data or on an error other than an interruption.
    bool readOnce(ActionLog& log) const {
        std::array<char, readSize> buffer{};
        const ssize_t count = ::read(readEnd, buffer.data(), buffer.size());
        if (count < 0) {
            return errno == EINTR || errno == EAGAIN;
        }
        if (count == 0) {
            return false;
        }
        log.append(widenText(std::string_view(buffer.data(), static_cast<std::size_t>(count))),
                   false);
        return true;
    }

    void readLoop(ActionLog& log) const {
        std::array<pollfd, 2> watched{pollfd{readEnd, POLLIN, 0}, pollfd{stopRead, POLLIN, 0}};
        for (;;) {
            if (::poll(watched.data(), watched.size(), -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return;
            }
            if (watched[1].revents != 0) {
                drainAvailable(log);
                return;
            }
            if (watched[0].revents == 0) {
                continue;
            }
            // A read that fails for good, or an error without data, would otherwise spin.
            if ((watched[0].revents & (POLLIN | POLLHUP)) == 0 || !readOnce(log)) {
                return;
            }
        }
    }

    // Shows what was written before the stop. Bounded by one pipe's worth of reads, since
    // a child process that inherited the streams may go on writing.
    void drainAvailable(ActionLog& log) const {
        constexpr int maximumReads = 64;
        pollfd data{readEnd, POLLIN, 0};
        for (int reads = 0; reads < maximumReads; ++reads) {
            if (::poll(&data, 1, 0) <= 0 || (data.revents & POLLIN) == 0 || !readOnce(log)) {
                return;
            }
        }
    }
};

ConsoleCapture::ConsoleCapture(ActionLog& log, CapturedStreams captured)
    : actionLog(log), streams(captured) {}

bool ConsoleCapture::start() {
    if (platform) {
        return true;
    }
    auto created = std::make_unique<Platform>();
    std::array<int, 2> dataPipe{-1, -1};
    std::array<int, 2> stopPipe{-1, -1};
    if (::pipe2(dataPipe.data(), O_CLOEXEC) != 0) {
        actionLog.append(u"CreatePipe error", true);
        return false;
    }
    created->readEnd = dataPipe[0];
    created->writeEnd = dataPipe[1];
    if (::pipe2(stopPipe.data(), O_CLOEXEC) != 0) {
        actionLog.append(u"CreatePipe error", true);
        return false;
    }
    created->stopRead = stopPipe[0];
    created->stopWrite = stopPipe[1];
    for (int* fd :
         {&created->readEnd, &created->writeEnd, &created->stopRead, &created->stopWrite}) {
        moveAboveStandard(*fd);
    }

    const int outputFd = ::fileno(streams.output);
    const int errorFd = ::fileno(streams.error);
    flushStreams();
    bool failed = created->readEnd < 0 || created->writeEnd < 0 || created->stopRead < 0 ||
                  created->stopWrite < 0;
    created->savedOutput = saveDescriptor(outputFd, failed);
    created->savedError = saveDescriptor(errorFd, failed);
    if (!failed &&
        (::dup2(created->writeEnd, outputFd) < 0 || ::dup2(created->writeEnd, errorFd) < 0)) {
        restoreDescriptor(created->savedOutput, outputFd);
        restoreDescriptor(created->savedError, errorFd);
        failed = true;
    }
    if (failed) {
        // The streams keep (or got back) their own destinations; nothing is captured.
        actionLog.append(u"ConsoleCapture error", true);
        return false;
    }
    announce();

    platform = std::move(created);
    platform->reader =
        std::thread([state = platform.get(), &log = actionLog] { state->readLoop(log); });
    return true;
}

ConsoleCapture::~ConsoleCapture() {
    if (!platform) {
        return;
    }
    // The streams write to their own destinations again before the reader stops, so
    // nothing is written into a pipe that nobody reads.
    flushStreams();
    restoreDescriptor(platform->savedOutput, ::fileno(streams.output));
    restoreDescriptor(platform->savedError, ::fileno(streams.error));
    const char stop = 0;
    [[maybe_unused]] const ssize_t written = ::write(platform->stopWrite, &stop, 1);
    if (platform->reader.joinable()) {
        platform->reader.join();
    }
}

} // namespace velmor
