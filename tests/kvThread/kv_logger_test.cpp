#include <string>
#include <thread>
#include <vector>

#include <KVLogger>
#include <boost/log/core/core.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/log_capture.h"

namespace velmor::logging {
namespace {

using ::testing::ElementsAre;

// What the statements of one severity print to the two standard streams.
std::string outputOfStatements(Severity severity) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    LogMessage(severity) << "Failed to convert address";
    LogMessage(severity) << "Could not determine hostwname. GetHostNameW() returned with error "
                         << 10093;
    return ::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr();
}

TEST(LoggingFacade, IsSwitchedOffAtStartUp) {
    EXPECT_FALSE(boost::log::core::get()->get_logging_enabled());
    for (const Severity severity : {trace, debug, warning, error, fatal}) {
        EXPECT_EQ(outputOfStatements(severity), "") << "severity " << severity;
    }
}

TEST(LoggingFacade, SettingTheLevelChangesNothingEmitted) {
    setLogLevel(warning);
    EXPECT_FALSE(boost::log::core::get()->get_logging_enabled());
    EXPECT_EQ(outputOfStatements(error), "");
    EXPECT_EQ(outputOfStatements(debug), "");
}

TEST(LoggingFacade, EnabledLoggingWritesSeverityAndText) {
    {
        velmor::testing::LogCapture capture(debug);
        LogMessage(debug) << "Discovery answer sent by an outdated server";
        LogMessage(error) << "Failed to bind socket for discovery: " << 42;
        LogMessage(trace) << "below the minimum";
        EXPECT_THAT(capture.lines(),
                    ElementsAre("[debug] Discovery answer sent by an outdated server",
                                "[error] Failed to bind socket for discovery: 42"));
    }
    // Switched off again afterwards.
    EXPECT_FALSE(boost::log::core::get()->get_logging_enabled());
    EXPECT_EQ(outputOfStatements(error), "");
}

TEST(LoggingFacade, QuietScopeSilencesOnlyItsOwnThreadWhileItLives) {
    velmor::testing::LogCapture capture(debug);
    {
        const QuietScope outer;
        { const QuietScope inner; }
        LogMessage(error) << "inside";
        std::thread([] { LogMessage(error) << "other thread"; }).join();
    }
    LogMessage(error) << "after";
    EXPECT_THAT(capture.lines(), ElementsAre("[error] other thread", "[error] after"));
}

TEST(LoggingFacade, ConcurrentStatementsKeepTheirOwnSeverity) {
    velmor::testing::LogCapture capture(trace);
    constexpr int statementsPerThread = 200;
    std::vector<std::thread> threads;
    for (const Severity severity : {debug, warning, error}) {
        threads.emplace_back([severity] {
            for (int i = 0; i < statementsPerThread; ++i) {
                LogMessage(severity) << severity << " statement " << i;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 3u * statementsPerThread);
    for (const auto& line : lines) {
        // "[name] name statement i": the record's severity matches the thread's.
        const auto close = line.find(']');
        ASSERT_NE(close, std::string::npos) << line;
        const std::string name = line.substr(1, close - 1);
        EXPECT_EQ(line.compare(close + 2, name.size(), name), 0) << line;
    }
}

} // namespace
} // namespace velmor::logging
