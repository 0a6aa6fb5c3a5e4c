// The whole shell against the real search, in a network namespace of the test's own: a
// simulated instrument on loopback is listed, then removed once it stops answering.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/device_search.h"
#include "app/finder_controller.h"
#include "resources/resource_ids.h"
#include "shell_fakes.h"
#include "support/netns.h"
#include "support/simulator_process.h"

namespace velmor {
namespace {

std::string joined(const std::vector<std::string>& rows) {
    std::string text;
    for (const std::string& row : rows) {
        text += row + ";";
    }
    return text;
}

// The shell over fake controls and the real search, its first search started.
struct Shell {
    testing::FakeWindow window;
    testing::FakeDeviceList list;
    testing::FakeLog pane;
    testing::FakeOpener opener;
    testing::FakeTimer timer;
    MulticastDeviceSearch search;
    std::unique_ptr<FinderController> controller =
        std::make_unique<FinderController>(window, list, pane, opener, timer, search);

    Shell() {
        controller->initialise({});
        controller->command(IDC_SEARCH);
    }
};

TEST(ShellInNamespace, ListsASimulatedInstrumentAndRemovesItWhenItStops) {
    const std::string output = testing::outputOrSkipNote([] {
        testing::runCommand("ip link set lo up");
        testing::SimulatorProcess simulator;
        simulator.start({"--serial", "RB0042", "--quiet"});

        Shell shell;
        auto& [window, list, pane, opener, timer, search, controller] = shell;
        if (!pane.waitForText("devices in list: 1\n")) {
            return "not found: " + pane.text();
        }
        const std::string found = joined(list.describe());
        simulator.stop();
        timer.tick();
        if (!pane.waitForText("device to be removed: RB0042\n")) {
            return "not removed: " + pane.text();
        }
        controller.reset(); // the pass ends before the worker does
        return found + " | " + joined(list.describe());
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "RBLK - RB0042 - 127.0.0.1=0; | ");
}

// The simulator joins the group only on its own loopback link, so multicast from here
// does not reach it; a host the user asks for is found all the same, beside multicast.
TEST(ShellInNamespace, AnAskedHostIsFoundWhereMulticastDoesNotReach) {
    const std::string output = testing::outputOrSkipNote([] {
        testing::runCommand("ip link set lo up");
        testing::SimulatorProcess simulator;
        simulator.startInPeerNamespace({"--serial", "RB0100", "--interface", "lo", "--quiet"});

        Shell shell;
        auto& [window, list, pane, opener, timer, search, controller] = shell;
        if (!pane.waitForText("No devices connected")) {
            return "multicast alone: " + pane.text();
        }
        controller->addHost("10.77.0.2");
        timer.tick();
        if (!pane.waitForText("devices in list: 1\n")) {
            return "not found: " + pane.text();
        }
        controller.reset();
        return joined(list.describe());
    });
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "RBLK - RB0100 - 10.77.0.2=0;");
}

} // namespace
} // namespace velmor
