// Shows what the process writes to its standard output and standard error in the action
// log: both streams are redirected into a pipe that a thread of its own reads.
#pragma once

#include <cstdio>
#include <memory>

#include "app/action_log.h"

namespace velmor {

// The two streams to capture; tests pass streams of their own.
struct CapturedStreams {
    std::FILE* output = stdout;
    std::FILE* error = stderr;
};

class ConsoleCapture {
public:
    explicit ConsoleCapture(ActionLog& log, CapturedStreams streams = {});
    // Gives both streams back their own destinations, shows what is still in the pipe
    // and ends the thread.
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    // Creates the pipe, points both streams at it, unbuffered, writes "ConsoleCapture
    // initialized" to the log directly and "ConsoleCapture successful" through the pipe,
    // and starts the reading thread, which appends each read of at most readSize bytes
    // as it comes, every byte widened to one character. When the pipe cannot be created
    // the log says "CreatePipe error", the streams stay as they were and false is
    // returned.
    bool start();

    static constexpr std::size_t readSize = 1024;

private:
    // Shared by the platforms' halves in console_capture.cpp.
    void flushStreams() const;
    // Once both streams write into the pipe: makes them unbuffered and writes the two
    // lines that say so, one to the log directly and one through the pipe.
    void announce() const;

    struct Platform;
    ActionLog& actionLog;
    CapturedStreams streams;
    std::unique_ptr<Platform> platform;
};

} // namespace velmor
