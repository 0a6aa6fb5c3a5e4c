// The window over the real search, in a network namespace of the test's own: a simulated
// instrument on loopback appears in the list, then leaves it once the simulator stops.
// A program of its own, so that the QApplication is made in the namespace's child process.
#include <QListWidget>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/device_search.h"
#include "app/qt/finder_window.h"
#include "app/qt/qt_controls.h"
#include "app/shell_fakes.h"
#include "qt/qt_test_support.h"
#include "support/netns.h"
#include "support/simulator_process.h"

namespace velmor::qt {
namespace {

std::string rows(QListWidget& list) {
    std::string text;
    for (int row = 0; row < list.count(); ++row) {
        text += list.item(row)->text().toStdString() + ";";
    }
    return text;
}

TEST(WindowInNamespace, FindsTheSimulatorAndRemovesItsRowWhenItStops) {
    const std::string output = testing::outputOrSkipNote(
        [] {
            testing::runCommand("ip link set lo up");
            testing::SimulatorProcess simulator;
            simulator.start({"--serial", "RB0042", "--quiet"});

            testing::headlessApplication();
            int quits = 0;
            FinderMainWindow window([&quits](int) { ++quits; });
            QtDeviceList list(window.deviceList(), window.gate());
            QtLogControl log(window.logPane(), window.gate());
            testing::FakeOpener opener;
            testing::FakeTimer timer; // ticks when the test says, not every 10 s
            MulticastDeviceSearch search;
            auto controller =
                std::make_unique<FinderController>(window, list, log, opener, timer, search);
            window.attach(controller.get());
            controller->initialise(window.logColumnWidths());
            window.show(); // the first search is posted at start
            const auto logHas = [&window](const char* text) {
                return window.logPane().toPlainText().contains(QString::fromUtf8(text));
            };
            std::string result;
            if (!testing::serveEventsUntil([&] { return logHas("devices in list: 1"); })) {
                result = "not found: ";
            }
            result += rows(window.deviceList()) + " | ";
            simulator.stop();
            timer.tick();
            if (!testing::serveEventsUntil([&] {
                    return logHas("device to be removed: RB0042") &&
                           window.deviceList().count() == 0;
                })) {
                result += "not removed: ";
            }
            result += rows(window.deviceList());
            closeAndEnd(window.gate(), [&controller] { controller.reset(); });
            return result;
        },
        std::chrono::minutes(3));
    RBFINDER_SKIP_IF_NO_NAMESPACE(output);
    EXPECT_EQ(output, "RBLK - RB0042 - 127.0.0.1; | ");
}

} // namespace
} // namespace velmor::qt
