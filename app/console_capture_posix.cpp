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
            if ((watched[0].revents & (POLLIN | POLLHUP)) != 0 && !readOnce(log)) {
                return; // a read that fails for good would otherwise spin
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

    const int outputFd = ::fileno(streams.output);
    const int errorFd = ::fileno(streams.error);
    std::fflush(streams.output);
    std::fflush(streams.error);
    created->savedOutput = ::fcntl(outputFd, F_DUPFD_CLOEXEC, 0);
    created->savedError = ::fcntl(errorFd, F_DUPFD_CLOEXEC, 0);
    if (created->savedOutput < 0 || created->savedError < 0 ||
        ::dup2(created->writeEnd, outputFd) < 0 || ::dup2(created->writeEnd, errorFd) < 0) {
        // The streams keep (or get back) their own destinations; nothing is captured.
        if (created->savedOutput >= 0) {
            ::dup2(created->savedOutput, outputFd);
        }
        actionLog.append(u"ConsoleCapture error", true);
        return false;
    }
    std::setvbuf(streams.output, nullptr, _IONBF, 0);
    std::setvbuf(streams.error, nullptr, _IONBF, 0);

    actionLog.append(u"ConsoleCapture initialized", true);
    std::fprintf(streams.output, "ConsoleCapture successful\n");

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
    std::fflush(streams.output);
    std::fflush(streams.error);
    ::dup2(platform->savedOutput, ::fileno(streams.output));
    ::dup2(platform->savedError, ::fileno(streams.error));
    const char stop = 0;
    [[maybe_unused]] const ssize_t written = ::write(platform->stopWrite, &stop, 1);
    if (platform->reader.joinable()) {
        platform->reader.join();
    }
}

} // namespace velmor
