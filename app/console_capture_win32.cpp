#include "app/console_capture.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <array>
#include <atomic>
#include <string_view>
#include <thread>

#include "app/wide_text.h"

namespace velmor {

namespace {

// The descriptor of `stream`, given one on the null device when it has none (a GUI
// program starts without a console).
int descriptorOf(std::FILE* stream) {
    int fd = _fileno(stream);
    if (fd < 0 && std::freopen("NUL", "w", stream) != nullptr) {
        fd = _fileno(stream);
    }
    return fd;
}

void restoreDescriptor(int saved, int fd) {
    if (fd < 0) {
        return;
    }
    if (saved >= 0) {
        _dup2(saved, fd);
        _close(saved);
        return;
    }
    // There was nothing behind the stream: it writes to the null device again.
    const int nothing = _open("NUL", _O_WRONLY | _O_TEXT);
    if (nothing >= 0) {
        _dup2(nothing, fd);
        _close(nothing);
    }
}

} // namespace

struct ConsoleCapture::Platform {
    HANDLE readHandle = nullptr;
    // The pipe's write end as a run-time descriptor in text mode, so that every "\n"
    // written becomes the pane's "\r\n"; it owns the write handle.
    int writeFd = -1;
    int outputFd = -1;
    int errorFd = -1;
    int savedOutput = -1;
    int savedError = -1;
    std::atomic<bool> stopping{false};
    std::thread reader;

    ~Platform() {
        if (writeFd >= 0) {
            _close(writeFd);
        }
        if (readHandle != nullptr) {
            CloseHandle(readHandle);
        }
    }

    void readLoop(ActionLog& log) const {
        std::array<char, readSize> buffer{};
        for (;;) {
            DWORD count = 0;
            const BOOL read = ReadFile(readHandle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                       &count, nullptr);
            if (read == FALSE) {
                // Every write end is closed, or the pipe failed for good: reading again
                // would only spin.
                return;
            }
            if (count > 0) {
                // Widened byte by byte; a NUL ends what this read shows.
                log.append(widenText(std::string_view(buffer.data(), count)), false);
            }
            // Once stopping, the reader ends when the pipe is empty.
            DWORD waiting = 0;
            if (stopping.load() &&
                (PeekNamedPipe(readHandle, nullptr, 0, nullptr, &waiting, nullptr) == FALSE ||
                 waiting == 0)) {
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
    HANDLE writeHandle = nullptr;
    if (CreatePipe(&created->readHandle, &writeHandle, nullptr, 0) == FALSE) {
        created->readHandle = nullptr;
        actionLog.append(u"CreatePipe error", true);
        return false;
    }
    created->writeFd = _open_osfhandle(reinterpret_cast<intptr_t>(writeHandle), _O_TEXT);
    if (created->writeFd < 0) {
        CloseHandle(writeHandle);
        actionLog.append(u"ConsoleCapture error", true);
        return false;
    }

    flushStreams();
    created->outputFd = descriptorOf(streams.output);
    created->errorFd = descriptorOf(streams.error);
    if (created->outputFd < 0 || created->errorFd < 0) {
        actionLog.append(u"ConsoleCapture error", true);
        return false;
    }
    created->savedOutput = _dup(created->outputFd);
    created->savedError = _dup(created->errorFd);
    // Both streams now write into the pipe, unbuffered, each write reaching it at once.
    if (_dup2(created->writeFd, created->outputFd) != 0 ||
        _dup2(created->writeFd, created->errorFd) != 0) {
        restoreDescriptor(created->savedOutput, created->outputFd);
        restoreDescriptor(created->savedError, created->errorFd);
        actionLog.append(u"ConsoleCapture error", true);
        return false;
    }
    _setmode(created->outputFd, _O_TEXT);
    _setmode(created->errorFd, _O_TEXT);
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
    restoreDescriptor(platform->savedOutput, platform->outputFd);
    restoreDescriptor(platform->savedError, platform->errorFd);
    // One NUL behind what is still in the pipe wakes the reader, which shows the rest
    // (a NUL shows nothing) and then ends.
    platform->stopping.store(true);
    const char stop = 0;
    DWORD written = 0;
    WriteFile(reinterpret_cast<HANDLE>(_get_osfhandle(platform->writeFd)), &stop, 1, &written,
              nullptr);
    if (platform->reader.joinable()) {
        platform->reader.join();
    }
}

} // namespace velmor
