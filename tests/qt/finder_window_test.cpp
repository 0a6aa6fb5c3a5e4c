// The Qt window headless, over fakes of the search and the browser.
#include "app/qt/finder_window.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/qt/qt_controls.h"
#include "app/shell_fakes.h"
#include "qt_test_support.h"
#include "resources/resource_ids.h"
#include "support/records.h"

namespace velmor::qt {
namespace {

using testing::listingServer;

struct Window {
    QApplication& application = testing::headlessApplication();
    std::vector<int> quits;
    FinderMainWindow window{[this](int status) {
        quits.push_back(status);
    }};
    QtDeviceList list{window.deviceList(), window.gate()};
    QtLogControl log{window.logPane(), window.gate()};
    testing::FakeOpener opener;
    testing::FakeTimer timer;
    testing::FakeSearch search;
    std::unique_ptr<FinderController> controller =
        std::make_unique<FinderController>(window, list, log, opener, timer, search);

    Window() {
        window.attach(controller.get());
        controller->initialise(window.logColumnWidths());
        window.show();
        // Ctrl+L ("Show log") reaches an active window only.
        QApplication::setActiveWindow(&window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    ~Window() {
        closeAndEnd(window.gate(), [this] { controller.reset(); });
    }
    std::string logText() { return window.logPane().toPlainText().toStdString(); }
    int horizontal(int dialogUnits) const {
        return horizontalPixels(dialogUnits, window.baseUnits());
    }
};

TEST(FinderWindow, ShowAndHideLogMoveBetweenTheTwoWidthsKeepingPositionAndHeight) {
    Window w;
    const QPoint position = w.window.pos();
    const int height = w.window.height();
    EXPECT_EQ(w.window.width(), w.horizontal(235));
    EXPECT_FALSE(w.window.logPane().isVisibleTo(&w.window) &&
                 w.window.logPane().x() < w.window.width());
    QTest::keyClick(&w.window, Qt::Key_L, Qt::ControlModifier); // "Show log"
    const int expanded = w.horizontal(235) + w.horizontal(235) + w.horizontal(430) -
                         w.horizontal(90) - w.horizontal(140);
    EXPECT_EQ(w.window.width(), expanded);
    EXPECT_TRUE(w.window.button(IDC_EXIT).isVisible());
    QTest::mouseClick(&w.window.button(IDC_HIDE_LOG), Qt::LeftButton);
    EXPECT_EQ(w.window.width(), w.horizontal(235));
    EXPECT_FALSE(w.window.logPane().isVisible());
    EXPECT_EQ(w.window.pos(), position);
    EXPECT_EQ(w.window.height(), height);
}

TEST(FinderWindow, ClearLogEmptiesThePane) {
    Window w;
    w.controller->actionLog().append(u"something", true);
    QTest::keyClick(&w.window, Qt::Key_L, Qt::ControlModifier);
    QTest::mouseClick(&w.window.button(IDC_CLEAR_LOG), Qt::LeftButton);
    EXPECT_EQ(w.logText(), "");
}

TEST(FinderWindow, ExitButtonAndCloseBoxEachQuitWithZero) {
    Window exitButton;
    QTest::keyClick(&exitButton.window, Qt::Key_L, Qt::ControlModifier);
    QTest::mouseClick(&exitButton.window.button(IDC_EXIT), Qt::LeftButton);
    EXPECT_EQ(exitButton.quits, std::vector<int>{0});
    EXPECT_FALSE(exitButton.window.isVisible());

    Window closeBox; // the window manager's close, as Alt+F4
    closeBox.window.close();
    EXPECT_EQ(closeBox.quits, std::vector<int>{0});
    EXPECT_FALSE(closeBox.window.isVisible());
}

// The dialog has no keyboard navigation: Tab never reaches the log column (beyond the
// window's edge while the log is hidden) and Space, Enter and Escape press nothing, with
// the log hidden and shown, wherever the focus starts.
TEST(FinderWindow, KeysNeitherMoveToTheLogColumnNorPressAnything) {
    for (const bool logShown : {false, true}) {
        SCOPED_TRACE(logShown ? "log shown" : "log hidden");
        Window w;
        if (logShown) {
            QTest::keyClick(&w.window, Qt::Key_L, Qt::ControlModifier);
        }
        w.controller->actionLog().append(u"kept", false);
        QListWidget& list = w.window.deviceList();
        for (QWidget* start : {static_cast<QWidget*>(&w.window), static_cast<QWidget*>(&list)}) {
            start->setFocus();
            for (int round = 0; round < 8; ++round) {
                for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter,
                                          Qt::Key_Escape, Qt::Key_Backtab}) {
                    QWidget* focused = QApplication::focusWidget();
                    QTest::keyClick(focused != nullptr ? focused : &w.window, key);
                    focused = QApplication::focusWidget();
                    EXPECT_TRUE(focused == nullptr || focused == &w.window || focused == &list)
                        << "focus on " << focused->metaObject()->className();
                }
            }
        }
        EXPECT_TRUE(w.quits.empty());
        EXPECT_TRUE(w.window.isVisible());
        EXPECT_EQ(w.controller->logHidden(), !logShown);
        EXPECT_NE(w.logText().find("kept"), std::string::npos); // not cleared
    }
}

TEST(FinderWindow, DoubleClickOpensTheRowsDeviceWhateverItsSortedPosition) {
    Window w;
    w.search.add(
        {{listingServer("10.0.0.3", {"RB3"}), listingServer("10.0.0.1", {"RB1", "RB2"})}, ""});
    ASSERT_TRUE(testing::serveEventsUntil([&] { return w.window.deviceList().count() == 3; }));
    ASSERT_TRUE(testing::serveEventsUntil(
        [&] { return w.logText().find("devices in list: 3") != std::string::npos; }));
    QListWidget& list = w.window.deviceList();
    for (const int row : {2, 0}) {
        QListWidgetItem* item = list.item(row);
        const QPoint centre = list.visualItemRect(item).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, centre);
    }
    EXPECT_EQ(w.opener.opened, (std::vector<std::string>{"http://10.0.0.3/", "http://10.0.0.1/"}));
    EXPECT_NE(w.logText().find("Doble click on RB3\nDoble click on RB1\n"), std::string::npos);
}

// A right click on a row offers its actions above the window's own; elsewhere only the
// window's. "Open web page" is the double click, log line included.
TEST(FinderWindow, RowActionsOpenAndCopyTheClickedRowsDevice) {
    Window w;
    w.search.add({{listingServer("10.0.0.3", {"RB3"}), listingServer("10.0.0.1", {"RB1"})}, ""});
    ASSERT_TRUE(testing::serveEventsUntil(
        [&] { return w.logText().find("devices in list: 2") != std::string::npos; }));
    QListWidget& list = w.window.deviceList();
    const auto menuAt = [&](const QPoint& inViewport) {
        auto menu = std::make_unique<QMenu>();
        w.window.fillContextMenu(*menu, list.viewport()->mapToGlobal(inViewport));
        std::vector<std::string> texts;
        for (QAction* action : menu->actions()) {
            texts.push_back(action->text().toStdString());
        }
        return std::make_pair(std::move(menu), texts);
    };
    const auto trigger = [](QMenu& menu, const char* text) {
        for (QAction* action : menu.actions()) {
            if (action->text() == QLatin1String(text)) {
                action->trigger();
            }
        }
    };
    const QPoint secondRow = list.visualItemRect(list.item(1)).center(); // RB3, sorted
    auto [menu, texts] = menuAt(secondRow);
    EXPECT_EQ(texts, (std::vector<std::string>{"Open web page", "Copy address", "Copy serial", "",
                                               "Ask a host...", "Why is nothing listed?",
                                               "Show log", "", "Close"}));
    trigger(*menu, "Copy serial");
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "RB3");
    trigger(*menu, "Copy address");
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "10.0.0.3");
    trigger(*menu, "Open web page");
    EXPECT_EQ(w.opener.opened, std::vector<std::string>{"http://10.0.0.3/"});
    EXPECT_NE(w.logText().find("Doble click on RB3\n"), std::string::npos);

    const QPoint belowTheRows(secondRow.x(), list.viewport()->height() - 2);
    EXPECT_EQ(menuAt(belowTheRows).second,
              (std::vector<std::string>{"Ask a host...", "Why is nothing listed?", "Show log", "",
                                        "Close"}));
}

// A host given to "Ask a host..." is checked at once and asked, beside multicast, from
// the next search on; one that cannot be resolved is refused with the reason.
TEST(FinderWindow, AskedHostsJoinTheNextSearches) {
    Window w;
    // The worker's passes wait for this thread to serve their log lines.
    ASSERT_TRUE(testing::serveEventsUntil([&] { return w.search.calls() >= 1; }));
    EXPECT_EQ(w.window.addHost("10.0.0.9"), "");
    EXPECT_EQ(w.window.addHost("10.0.0.9"), ""); // kept once
    EXPECT_NE(w.window.addHost("no-such-instrument.invalid").find("cannot resolve host"),
              std::string::npos);
    w.controller->command(IDC_SEARCH);
    ASSERT_TRUE(testing::serveEventsUntil([&] { return w.search.calls() >= 2; }));
    const std::vector<SearchSettings> seen = w.search.settings();
    EXPECT_TRUE(seen.front().additionalHosts.empty());
    EXPECT_EQ(seen.back().additionalHosts, std::vector<std::string>{"10.0.0.9"});
    EXPECT_TRUE(seen.back().unicastHosts.empty()); // multicast goes on as well
}

// "Why is nothing listed?" tells the latest search's diagnosis, and a row's tooltip its
// device's record.
TEST(FinderWindow, DiagnosisAndTooltipTellTheLatestSearch) {
    Window w;
    EXPECT_EQ(w.window.diagnosisText(), "No search has finished yet.\n");
    w.search.add({{listingServer("10.0.0.3", {"RB3"})}, ""});
    ASSERT_TRUE(testing::serveEventsUntil(
        [&] { return w.logText().find("devices in list: 1") != std::string::npos; }));
    EXPECT_NE(w.window.diagnosisText().find("Servers found: 1; devices listed: 1\n"),
              std::string::npos)
        << w.window.diagnosisText();
    const std::string details = w.window.rowDetails(0);
    EXPECT_NE(details.find("Serial: RB3\nAddress: 10.0.0.3\nServer uid: RB3;\n"), std::string::npos)
        << details;
    EXPECT_EQ(w.window.rowDetails(5), "");
}

TEST(FinderWindow, DoubleClickWithNothingSelectedOpensNothing) {
    Window w;
    w.window.deviceList().addItem(QStringLiteral("RBLK - X - 10.0.0.9"));
    w.window.deviceList().setCurrentRow(-1);
    w.controller->command(IDC_DEVICE_LIST, listDoubleClick);
    EXPECT_TRUE(w.opener.opened.empty());
}

TEST(FinderWindow, ListSortsInTheShellsRowOrderNewRowsBehindTheirEquals) {
    Window w;
    for (const std::u16string_view row : {u"RB-1", u"RBa", u"RB1", u"RB_1", u"rb1"}) {
        w.list.addString(row);
    }
    std::vector<std::string> rows;
    for (int at = 0; at < w.window.deviceList().count(); ++at) {
        rows.push_back(w.window.deviceList().item(at)->text().toStdString());
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"RB_1", "RB1", "rb1", "RB-1", "RBa"}));
}

struct UnitCase {
    int advance, height, units;
    int x, y;
};

TEST(DialogUnits, ConvertAsWindowsDoes) {
    // Base units from the 52 letters' advance; MulDiv rounds halves away from zero.
    static_assert(dialogBaseUnits(312, 16).x == 6); // 12 per letter pair: 6
    static_assert(dialogBaseUnits(338, 16).x == 7); // 6.5 per letter rounds up
    static_assert(dialogBaseUnits(337, 16).x == 6); // just under 6.5
    for (const UnitCase& c : {UnitCase{312, 13, 235, 353, 382}, UnitCase{416, 16, 235, 470, 470},
                              UnitCase{338, 15, 5, 9, 9}, UnitCase{338, 15, 2, 4, 4}}) {
        const DialogBaseUnits base = dialogBaseUnits(c.advance, c.height);
        EXPECT_EQ(horizontalPixels(c.units, base), c.x) << c.units;
        EXPECT_EQ(verticalPixels(c.units, base), c.y) << c.units;
    }
}

} // namespace
} // namespace velmor::qt
