// The dialog's behaviour through the controller, with fake window, controls and search.
#include "app/finder_controller.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "shell_fakes.h"
#include "support/records.h"

namespace velmor {
namespace {

using testing::listingServer;

using Calls = std::vector<std::string>;

struct Dialog {
    testing::FakeWindow window;
    testing::FakeDeviceList list;
    testing::FakeLog pane;
    testing::FakeOpener opener;
    testing::FakeTimer timer;
    testing::FakeSearch search;
    FinderController controller{window, list, pane, opener, timer, search};

    Dialog() {
        window.onDestroy = [this] {
            controller.destroyed();
        };
        controller.initialise(measureLogColumnWidths(100, 460, 445, 1100));
    }

    // Runs the search command that initialise() posted and waits for its pass to end.
    void runPostedSearch(const std::string& lastLine) {
        ASSERT_EQ(window.posted, std::vector<int>{IDC_SEARCH});
        controller.command(window.posted.front());
        ASSERT_TRUE(pane.waitForText(lastLine));
    }
};

TEST(FinderController, StartsTheTimerAndPostsTheFirstSearch) {
    Dialog dialog;
    EXPECT_EQ(dialog.timer.period, std::chrono::milliseconds(10'000));
    EXPECT_TRUE(dialog.controller.logHidden());
    dialog.search.add({{listingServer("10.0.0.1", {"RB1"})}, ""});
    dialog.runPostedSearch("devices in list: 1\n");
    dialog.timer.tick();
    ASSERT_TRUE(dialog.search.waitForCalls(2));
}

TEST(FinderController, ShowAndHideLogEachActOnlyInTheOtherState) {
    Dialog dialog;
    EXPECT_EQ(dialog.controller.systemCommand(IDM_SHOW_LOG), true);
    EXPECT_FALSE(dialog.controller.logHidden());
    dialog.controller.systemCommand(IDM_SHOW_LOG); // already shown
    dialog.controller.command(IDC_HIDE_LOG);
    EXPECT_TRUE(dialog.controller.logHidden());
    dialog.controller.command(IDC_HIDE_LOG); // already hidden
    EXPECT_EQ(dialog.window.calls, (Calls{"show 1015", "hide 360"}));
    // Move, minimise and restore are the window system's.
    EXPECT_FALSE(dialog.controller.systemCommand(0xF010));
}

TEST(FinderController, ClearLogEmptiesThePaneAndLeavesTheList) {
    Dialog dialog;
    dialog.search.add({{listingServer("10.0.0.1", {"RB1"})}, ""});
    dialog.runPostedSearch("devices in list: 1\n");
    dialog.controller.command(IDC_CLEAR_LOG);
    EXPECT_EQ(dialog.pane.text(), "");
    EXPECT_EQ(dialog.list.describe().size(), 1u);
}

struct ExitRoute {
    const char* name;
    bool system; // a system command, else a command
    int id;
};

class ExitRoutes : public ::testing::TestWithParam<ExitRoute> {};

TEST_P(ExitRoutes, DestroyTheWindowAndQuitWithZero) {
    Dialog dialog;
    if (GetParam().system) {
        EXPECT_TRUE(dialog.controller.systemCommand(GetParam().id));
    } else {
        dialog.controller.command(GetParam().id);
    }
    EXPECT_EQ(dialog.window.calls, (Calls{"destroy", "quit 0"}));
    EXPECT_TRUE(dialog.timer.stopped);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExitRoutes,
                         ::testing::Values(ExitRoute{"ExitButton", false, IDC_EXIT},
                                           ExitRoute{"CloseBoxOrAltF4", true, systemCommandClose}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(FinderController, EnterEscapeAndUnknownCommandsDoNothing) {
    Dialog dialog;
    for (const int id : {1 /* IDOK */, 2 /* IDCANCEL */, 999, IDC_LOG}) {
        dialog.controller.command(id);
    }
    dialog.controller.command(IDC_DEVICE_LIST, 1); // a selection change, not a double click
    EXPECT_EQ(dialog.window.calls, Calls{});
    EXPECT_EQ(dialog.search.calls(), 0u);
}

TEST(FinderController, DoubleClickOpensTheClickedRowsDeviceWhateverItsPosition) {
    Dialog dialog;
    // Table order RB3, RB1, RB2; the list sorts them RB1, RB2, RB3.
    dialog.search.add(
        {{listingServer("10.0.0.3", {"RB3"}), listingServer("10.0.0.1", {"RB1", "RB2"})}, ""});
    dialog.runPostedSearch("devices in list: 3\n");
    for (const int row : {2, 0, 1}) {
        dialog.list.select(row);
        dialog.controller.command(IDC_DEVICE_LIST, listDoubleClick);
    }
    EXPECT_EQ(
        dialog.opener.opened,
        (std::vector<std::string>{"http://10.0.0.3/", "http://10.0.0.1/", "http://10.0.0.1/"}));
    EXPECT_NE(
        dialog.pane.text().find("Doble click on RB3\nDoble click on RB1\nDoble click on RB2\n"),
        std::string::npos);
}

TEST(FinderController, DoubleClickWithoutSelectionOrEntryDoesNothing) {
    Dialog dialog;
    dialog.controller.command(IDC_DEVICE_LIST, listDoubleClick); // nothing selected
    dialog.list.addRow(u"RBLK - X - 10.0.0.9", 77);              // no entry has id 77
    dialog.list.select(0);
    dialog.controller.command(IDC_DEVICE_LIST, listDoubleClick);
    EXPECT_TRUE(dialog.opener.opened.empty());
    EXPECT_EQ(dialog.pane.text(), "");
}

} // namespace
} // namespace velmor
