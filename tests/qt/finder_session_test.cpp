// The session's start and end under the real Qt window: the capture's reader still has
// data to show when the session ends, and the log it appends to must outlive it (an
// AddressSanitizer build reports the use after free of the wrong order).
#include "app/finder_session.h"

#include <QTest>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/qt/finder_window.h"
#include "app/qt/qt_controls.h"
#include "app/qt/qt_messages.h"
#include "app/shell_fakes.h"
#include "qt_test_support.h"

namespace velmor::qt {
namespace {

struct NullStream {
    std::FILE* file = std::fopen("/dev/null", "w");
    ~NullStream() { std::fclose(file); }
};

TEST(FinderSession, EndsTheCaptureBeforeTheLogWhileThePipeHoldsData) {
    QApplication& application = testing::headlessApplication();
    (void)application;
    std::vector<int> quits;
    FinderMainWindow window([&quits](int status) { quits.push_back(status); });
    QtDeviceList list(window.deviceList(), window.gate());
    QtLogControl log(window.logPane(), window.gate());
    velmor::testing::FakeOpener opener;
    velmor::testing::FakeTimer timer;
    velmor::testing::FakeSearch search;
    NullStream output;
    NullStream error;
    FinderSession session(window, list, log, opener, timer, search, {output.file, error.file});
    window.attach(&session.controller());
    session.start(window.logColumnWidths());
    window.show();
    ASSERT_TRUE(testing::serveEventsUntil([&] {
        return window.logPane().toPlainText().contains(QStringLiteral("ConsoleCapture successful"));
    }));

    // Less than a pipe holds, so this thread never waits; the reader cannot show it
    // before the end, because it waits for this thread to take each read.
    const std::string chatter(48 * 1024, 'c');
    std::fwrite(chatter.data(), 1, chatter.size(), error.file);
    window.destroy();
    window.attach(nullptr);
    session.end(
        [&window](const std::function<void()>& ending) { closeAndEnd(window.gate(), ending); });
    EXPECT_EQ(quits, std::vector<int>{0});
    // The streams write to their own destinations again.
    EXPECT_GE(std::fputs("after\n", error.file), 0);
}

// Qt's warnings on the GUI thread go to the log directly, never into the pipe.
TEST(QtMessagesToLog, ShowsTheGuiThreadsMessagesInTheLog) {
    testing::headlessApplication();
    velmor::testing::FakeLog pane;
    ActionLog log(pane);
    {
        const QtMessagesToLog messages(log);
        qWarning("a warning from Qt");
    }
    qDebug("after the window"); // Qt's own way again, not into the gone log
    EXPECT_EQ(pane.text(), "a warning from Qt\r\n");
}

} // namespace
} // namespace velmor::qt
