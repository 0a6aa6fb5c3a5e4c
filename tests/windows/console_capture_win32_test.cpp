// Console capture on Windows: a pipe behind the streams in text mode, so that the pane
// gets "\r\n" for every "\n" printed. The test's own streams stand in for standard output
// and standard error.
#include "app/console_capture.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "../app/shell_fakes.h"

namespace velmor {
namespace {

struct NullStream {
    std::FILE* file = std::fopen("NUL", "w");
    ~NullStream() { std::fclose(file); }
};

TEST(WindowsConsoleCapture, PrintedLinesEndInCarriageReturnLineFeedAndReadsStayWithin1024) {
    testing::FakeLog pane;
    ActionLog log(pane);
    NullStream output;
    NullStream error;
    {
        ConsoleCapture capture(log, {output.file, error.file});
        ASSERT_TRUE(capture.start());
        ASSERT_TRUE(pane.waitForText("ConsoleCapture successful\r\n"));
        const std::string block(1500, 'x');
        std::fwrite(block.data(), 1, block.size(), output.file);
        std::fputs("to error\n", error.file);
        ASSERT_TRUE(pane.waitForText("to error\r\n"));
    }
    EXPECT_EQ(pane.text(), "ConsoleCapture initialized\r\nConsoleCapture successful\r\n" +
                               std::string(1500, 'x') + "to error\r\n");
    std::size_t largest = 0;
    for (const std::u16string& piece : pane.replaced()) {
        largest = std::max(largest, piece.size());
    }
    EXPECT_LE(largest, ConsoleCapture::readSize);
    // The streams write to their own destinations again.
    EXPECT_GE(std::fputs("after\n", output.file), 0);
    EXPECT_EQ(pane.text().find("after"), std::string::npos);
}

} // namespace
} // namespace velmor
