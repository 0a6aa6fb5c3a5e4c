// Console capture on streams of the test's own, so that the test's output stays where
// it is. On Windows the pipe is in text mode: a printed "\n" reaches the pane as "\r\n".
#include "app/console_capture.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "shell_fakes.h"

namespace velmor {
namespace {

#if defined(_WIN32)
const char* const nullDevice = "NUL";
const std::string printedLineEnd = "\r\n";
#else
const char* const nullDevice = "/dev/null";
const std::string printedLineEnd = "\n";
#endif

// A stream on the null device, standing in for standard output or standard error.
struct NullStream {
    std::FILE* file = std::fopen(nullDevice, "w");
    ~NullStream() { std::fclose(file); }
};

TEST(ConsoleCapture, ShowsBothStreamsInTheLogInReadsOfAtMost1024Bytes) {
    testing::FakeLog pane;
    ActionLog log(pane);
    NullStream output;
    NullStream error;
    {
        ConsoleCapture capture(log, {output.file, error.file});
        ASSERT_TRUE(capture.start());
        ASSERT_TRUE(pane.waitForText("ConsoleCapture successful" + printedLineEnd));
        const std::string block(1500, 'x');
        std::fwrite(block.data(), 1, block.size(), output.file); // one write, unbuffered
        std::fputs("to error\n", error.file);
        ASSERT_TRUE(pane.waitForText("to error" + printedLineEnd));
    }
    EXPECT_EQ(pane.text(), "ConsoleCapture initialized\r\nConsoleCapture successful" +
                               printedLineEnd + std::string(1500, 'x') + "to error" +
                               printedLineEnd);
    std::size_t largest = 0;
    for (const std::u16string& piece : pane.replaced()) {
        largest = std::max(largest, piece.size());
    }
    EXPECT_LE(largest, ConsoleCapture::readSize);
    // The streams write to their own destinations again.
    EXPECT_GE(std::fputs("after\n", output.file), 0);
    EXPECT_EQ(pane.text().find("after"), std::string::npos);
}

TEST(ConsoleCapture, BytesAreWidenedAndANulEndsWhatAReadShows) {
    testing::FakeLog pane;
    ActionLog log(pane);
    NullStream output;
    NullStream error;
    ConsoleCapture capture(log, {output.file, error.file});
    ASSERT_TRUE(capture.start());
    // One write below the pipe's atomic size: one read takes all of it.
    const char bytes[] = "caf\xE9\0hidden";
    std::fwrite(bytes, 1, sizeof bytes - 1, output.file);
    ASSERT_TRUE(pane.waitForText("caf\xE9"));
    const std::u16string text = pane.wide();
    EXPECT_NE(text.find(u"caf\xFFE9"), std::u16string::npos);
    EXPECT_EQ(text.find(u"hidden"), std::u16string::npos);
}

#if !defined(_WIN32) // descriptor limits are a POSIX matter
TEST(ConsoleCapture, WithoutAPipeSaysSoAndLeavesTheStreams) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' runtime needs free descriptors of its own";
#endif
    testing::FakeLog pane;
    ActionLog log(pane);
    NullStream output;
    NullStream error;
    // No descriptor left below the limit: the pipe cannot be made.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    ConsoleCapture capture(log, {output.file, error.file});
    const bool started = capture.start();
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_FALSE(started);
    EXPECT_EQ(pane.text(), "CreatePipe error\r\n");
}

#endif

} // namespace
} // namespace velmor
