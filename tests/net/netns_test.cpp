#include "support/netns.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

namespace velmor::testing {
namespace {

using Status = NamespaceRun::Status;

// The helper itself: a body's failure or hang must come back as a failed run, bounded.
TEST(Netns, ReportsBodyFailureAndBoundsHangs) {
    const NamespaceRun thrown =
        runInNewNetworkNamespace([]() -> std::string { throw std::runtime_error("boom"); });
    if (thrown.status == Status::skipped) {
        GTEST_SKIP() << thrown.output;
    }
    EXPECT_EQ(thrown.status, Status::failed);
    EXPECT_EQ(thrown.output, "boom");

    const NamespaceRun hung = runInNewNetworkNamespace(
        [] {
            std::this_thread::sleep_for(std::chrono::minutes(5));
            return std::string("late");
        },
        std::chrono::milliseconds(300));
    EXPECT_EQ(hung.status, Status::failed);
    EXPECT_EQ(hung.output, "the namespace child timed out and was killed");
}

} // namespace
} // namespace velmor::testing
