#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace velmor::testing {

struct NamespaceRun {
    enum class Status { completed, skipped, failed };
    Status status = Status::failed;
    std::string output; // what the body returned; the reason when skipped or failed
};

// Runs `body` in a forked child that first moves into a new network namespace, which
// holds only a loopback link, down: nothing the body configures or sends can reach a
// real interface. The child reports through a pipe and exits without returning into the
// test framework, so the body must not use test assertions. Skipped when namespaces
// cannot be created here (no privilege or no kernel support); failed when the body
// throws, the child dies, or `timeout` passes (the child is then killed).
NamespaceRun runInNewNetworkNamespace(const std::function<std::string()>& body,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(30));

// For tests: runs `body` as above and gives its output; gives nothing when the namespace
// could not be made (`skipReason` then says why, and the caller should GTEST_SKIP) or the
// body failed (recorded as a test failure here).
std::optional<std::string>
outputInNewNetworkNamespace(const std::function<std::string()>& body, std::string& skipReason,
                            std::chrono::milliseconds timeout = std::chrono::seconds(30));

// The same for tests that compare one text: the body's output, "failed" when it failed
// (already recorded), or "skipped: " and the reason; see RBFINDER_SKIP_IF_NO_NAMESPACE.
std::string outputOrSkipNote(const std::function<std::string()>& body,
                             std::chrono::milliseconds timeout = std::chrono::seconds(30));

// For bodies: runs a shell command ("ip link set lo up"), throwing std::runtime_error
// that names it when it does not exit with 0.
void runCommand(const std::string& command);

// For bodies: waits until link `name` is up and running, which follows "ip link set up"
// asynchronously; throws std::runtime_error when `timeout` passes.
void waitForLinkRunning(const std::string& name,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5));

} // namespace velmor::testing

// Skips the current test when `output` of outputOrSkipNote() says the namespace could not
// be made.
#define RBFINDER_SKIP_IF_NO_NAMESPACE(output)                                                      \
    if ((output).rfind("skipped: ", 0) == 0) {                                                     \
        GTEST_SKIP() << (output);                                                                  \
    }
