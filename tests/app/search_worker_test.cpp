// The worker thread with a fake search: when it searches, and that it outlives a search
// that raises.
#include "app/search_worker.h"

#include <condition_variable>
#include <mutex>
#include <string>

#include <gtest/gtest.h>

#include "app/device_list_sync.h"
#include "shell_fakes.h"
#include "support/records.h"

namespace velmor {
namespace {

using testing::device;
using testing::FakeDeviceList;
using testing::FakeLog;
using testing::FakeSearch;
using testing::server;

// The pass the window runs, with its errors reported in the log as the window does.
struct WorkerRig {
    FakeSearch search;
    FakeDeviceList list;
    FakeLog pane;
    ActionLog log{pane};
    DeviceListSync sync{search, list, log};
    std::mutex mutex;
    std::condition_variable changed;
    int passesDone = 0;
    SearchWorker worker{[this](std::stop_token stop) {
                            sync.runPass(std::move(stop));
                            const std::lock_guard lock(mutex);
                            ++passesDone;
                            changed.notify_all();
                        },
                        [this](const std::string& error) {
                            log.append(u"Search failed: " + widenText(error), true);
                        }};

    bool waitForPasses(int passes) {
        std::unique_lock lock(mutex);
        return testing::waitUntil(changed, lock, [&] { return passesDone >= passes; });
    }
};

TEST(SearchWorker, SignalsDuringASearchCollapseIntoOneMore) {
    WorkerRig rig;
    rig.search.hold();
    rig.worker.start();
    rig.worker.signal();
    ASSERT_TRUE(rig.search.waitForCalls(1));
    rig.worker.signal(); // a timer tick
    rig.worker.signal(); // "Search RBLKs"
    rig.worker.signal(); // and again
    rig.search.release();
    ASSERT_TRUE(rig.waitForPasses(2));
    rig.worker.requestExit();
    rig.worker.join();
    EXPECT_EQ(rig.worker.passesStarted(), 2);
}

TEST(SearchWorker, ASearchThatRaisesIsReportedAndTheNextSignalSearchesAgain) {
    WorkerRig rig;
    rig.search.add({{}, "no random source"});
    rig.search.add({{server("", {device("RB1")}).address("10.0.0.1")}, ""});
    rig.worker.start();
    rig.worker.signal();
    ASSERT_TRUE(rig.pane.waitForText("Search failed: no random source\r\n"));
    rig.worker.signal();
    ASSERT_TRUE(rig.pane.waitForText("devices in list: 1\n"));
    EXPECT_EQ(rig.list.describe(), std::vector<std::string>{"RBLK - RB1 - 10.0.0.1=0"});
}

TEST(SearchWorker, ExitStopsARunningSearchAndNothingMoreIsChanged) {
    WorkerRig rig;
    rig.search.add({{server("", {device("RB1")}).address("10.0.0.1")}, ""});
    rig.search.hold(); // released only by the stop request
    rig.worker.start();
    rig.worker.signal();
    ASSERT_TRUE(rig.search.waitForCalls(1));
    rig.worker.requestExit();
    rig.worker.join();
    EXPECT_EQ(rig.list.describe(), std::vector<std::string>{});
    EXPECT_EQ(rig.pane.text(), "Searching for devices ...\r\n");
}

TEST(SearchWorker, ExitBeforeAnySignalEndsWithoutSearching) {
    WorkerRig rig;
    rig.worker.start();
    rig.worker.requestExit();
    rig.worker.join();
    EXPECT_EQ(rig.search.calls(), 0u);
}

} // namespace
} // namespace velmor
