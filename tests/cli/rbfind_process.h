// Runs the rbfind built with the tests as a child process, with its standard output and
// standard error kept apart. For bodies of runInNewNetworkNamespace: failures throw
// std::runtime_error, never test assertions.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace velmor::testing {

struct RbfindResult {
    int status = -1; // the exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
    std::chrono::milliseconds elapsed{0};
};

class RbfindProcess {
public:
    // Starts rbfind with `args`. A last argument beginning with ">" is a shell
    // redirection of the standard output instead (">/dev/full").
    explicit RbfindProcess(const std::vector<std::string>& args);
    // Kills and reaps it if it still runs.
    ~RbfindProcess();
    RbfindProcess(const RbfindProcess&) = delete;
    RbfindProcess& operator=(const RbfindProcess&) = delete;

    // Reads until the standard output holds `text`; false when `timeout` passes or the
    // output ends first.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    // The same for the standard error.
    bool waitForError(const std::string& text, std::chrono::milliseconds timeout);
    void signal(int signalNumber);
    // Reads to the end and reaps; kills it when it has not exited within `timeout`.
    RbfindResult finish(std::chrono::milliseconds timeout);

    const std::string& out() const { return result.out; }

private:
    bool waitFor(const std::string& collected, const std::string& text,
                 std::chrono::milliseconds timeout);
    // Reads what is ready until `deadline`; false once both outputs have ended.
    bool readSome(std::chrono::steady_clock::time_point deadline);

    int pid = -1;
    int outFd = -1;
    int errFd = -1;
    std::chrono::steady_clock::time_point started;
    RbfindResult result;
};

// Runs rbfind with `args` to its end (killed after `timeout`).
RbfindResult runRbfind(const std::vector<std::string>& args,
                       std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Results packed into one text and back, to carry them out of a namespace body.
std::string packResults(const std::vector<RbfindResult>& results);
std::vector<RbfindResult> unpackResults(const std::string& text);

} // namespace velmor::testing
