// The worker's pass against a fake search, list and log: passes in a row, each with what
// the search found, and the log and list rows it must leave.
#include "app/device_list_sync.h"

#include <list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell_fakes.h"
#include "support/records.h"

namespace velmor {
namespace {

using testing::FakeDeviceList;
using testing::FakeLog;
using testing::FakeSearch;
using testing::server;

// Rows show the server's address, never the one a device gives.
testing::DeviceBuilder device(std::string serial) {
    return testing::device(std::move(serial)).address("192.168.9.9");
}

struct PassStep {
    std::list<ServerInfo> servers;
    std::string log;               // what the pass writes, "\r\n" as "|"
    std::vector<std::string> rows; // "ROW TEXT=ITEM DATA" afterwards, in list order
    int failedAdds = 0;
    bool countFails = false;
    int addFailure = DeviceListControl::listError;
};

struct PassCase {
    std::string name;
    std::vector<PassStep> steps;
};

void PrintTo(const PassCase& c, std::ostream* out) {
    *out << c.name;
}

std::string readable(std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") == 0) {
            out += '|';
            ++i;
        } else if (text[i] == '\n') {
            out += '/';
        } else {
            out += text[i];
        }
    }
    return out;
}

class Pass : public ::testing::TestWithParam<PassCase> {};

TEST_P(Pass, KeepsTableListAndLogInStep) {
    FakeSearch search;
    FakeDeviceList list;
    FakeLog pane;
    ActionLog log(pane);
    DeviceListSync sync(search, list, log);
    int number = 0;
    for (const PassStep& step : GetParam().steps) {
        SCOPED_TRACE("pass " + std::to_string(++number));
        search.add({step.servers, ""});
        list.failNextAdds(step.failedAdds, step.addFailure);
        list.failCounts(step.countFails);
        log.clear();
        sync.runPass({});
        EXPECT_EQ(readable(pane.text()), step.log);
        EXPECT_EQ(list.describe(), step.rows);
        // Every entry left was seen, and the listed ones have exactly one row.
        const DeviceTable table = sync.tableSnapshot();
        for (const DeviceEntry& entry : table.entries()) {
            EXPECT_EQ(entry.seen, 1);
        }
    }
}

const std::string searching = "Searching for devices ...|";

INSTANTIATE_TEST_SUITE_P(
    Cases, Pass,
    ::testing::Values(
        PassCase{"AddKeepRemoveAndComeBackWithANewId",
                 {{{server("RB2;RB1", {device("RB2"), device("RB1")}).address("10.0.0.2")},
                   searching + "device RB2 added/device RB1 added/devices in list: 2/",
                   {"RBLK - RB1 - 10.0.0.2=1", "RBLK - RB2 - 10.0.0.2=0"}},
                  {{server("RB2", {device("RB2")}).address("10.0.0.7")},
                   searching + "devices in list: 2/device to be removed: RB1/matching record 0/",
                   {"RBLK - RB2 - 10.0.0.2=0"}}, // found again: keeps its old address
                  {{server("RB2;RB1", {device("RB2"), device("RB1")}).address("10.0.0.2")},
                   searching + "device RB1 added/devices in list: 2/",
                   {"RBLK - RB1 - 10.0.0.2=2", "RBLK - RB2 - 10.0.0.2=0"}}}},
        PassCase{"EmptyResultRemovesEveryRow",
                 {{{server("", {device("B")}).address("10.0.0.1"),
                    server("", {device("A")}).address("10.0.0.2")},
                   searching + "device B added/device A added/devices in list: 2/",
                   {"RBLK - A - 10.0.0.2=1", "RBLK - B - 10.0.0.1=0"}},
                  {{},
                   searching + "No devices connected|devices in list: 2/"
                               "device to be removed: B/matching record 1/"
                               "device to be removed: A/matching record 0/",
                   {}}}},
        PassCase{
            "FailedAddIsRetriedWithItsIdAndRemovedWithoutARow",
            {{{server("", {device("A")}).address("10.0.0.1")},
              searching + "device A added/device: A not added ~ LB_ERR (-1)/devices in list: 0/",
              {},
              1},
             {{server("", {device("A")}).address("10.0.0.1")},
              searching + "devices in list: 1/",
              {"RBLK - A - 10.0.0.1=0"}},
             {{server("", {device("B")}).address("10.0.0.1")},
              searching + "device B added/device: B not added ~ LB_ERR (-1)/devices in list: 1/"
                          "device to be removed: A/matching record 0/",
              {},
              1},
             // A pending row is tried even for a device that vanished; its add fails
             // again, so nothing carries its id and nothing is deleted.
             {{},
              searching + "No devices connected|device: B not added ~ LB_ERR (-1)/"
                          "devices in list: 0/device to be removed: B/",
              {},
              1}}},
        // A list out of room is a failure too, reported with its own value, and the row
        // is tried again: a device counted as listed without a row would be invisible.
        PassCase{
            "AListOutOfRoomReportsItsValueAndRetries",
            {{{server("", {device("A")}).address("10.0.0.1")},
              searching + "device A added/device: A not added ~ LB_ERR (-2)/devices in list: 0/",
              {},
              1,
              false,
              DeviceListControl::listErrorSpace},
             {{server("", {device("A")}).address("10.0.0.1")},
              searching + "devices in list: 1/",
              {"RBLK - A - 10.0.0.1=0"}}}},
        PassCase{"OneInstrumentListedByTwoServersIsOneRowFromTheFirst",
                 {{{server("x-RB7", {device("RB7")}).address("127.0.0.1"),
                    server("rb7", {device("RB7")}).address("10.0.0.3")},
                   searching + "device RB7 added/devices in list: 1/",
                   {"RBLK - RB7 - 127.0.0.1=0"}}}},
        PassCase{"OnlyRbDevicesOfDataServersThatOwnThem",
                 {{{server("RB1", {device("RB1")}).address("10.0.0.1").type("DataServer"),
                    server("RB2", {device("RB2")}).address("10.0.0.2").type("gateway"),
                    server("RB3", {device("RB3").type("XYZ")}).address("10.0.0.3"),
                    server("RB4", {device("RB5")}).address("10.0.0.4")},
                   searching + "device RB1 added/devices in list: 1/",
                   {"RBLK - RB1 - 10.0.0.1=0"}}}},
        PassCase{"BytesFromTheNetworkAreWidenedAndMatchedExactly",
                 {{{server("", {device("RB\xE9")}).address("10.0.0.1")},
                   searching + "device RB\xE9 added/devices in list: 1/",
                   {"RBLK - RB\xE9 - 10.0.0.1=0"}},
                  {{server("", {device("RB\xC3\xA9")}).address("10.0.0.1")},
                   searching + "device RB\xC3\xA9 added/devices in list: 2/"
                               "device to be removed: RB\xE9/matching record 1/",
                   {"RBLK - RB\xC3\xA9 - 10.0.0.1=1"}}}},
        // A "%s" of the row and of the formatted lines stops at the serial's NUL and the
        // rest of the format stays; the joined "added" line is cut at it by the log.
        PassCase{"ASerialEndsAtItsNulInRowsAndFormattedLines",
                 {{{server("", {device(std::string("AB\0CD", 5))}).address("10.0.0.1")},
                   searching + "device ABdevice: AB not added ~ LB_ERR (-1)/devices in list: 0/",
                   {},
                   1},
                  {{server("", {device(std::string("AB\0CD", 5))}).address("10.0.0.1")},
                   searching + "devices in list: 1/",
                   {"RBLK - AB - 10.0.0.1=0"}},
                  {{},
                   searching + "No devices connected|devices in list: 1/"
                               "device to be removed: AB/matching record 0/",
                   {}}}},
        PassCase{"ACountThatFailsExaminesNoRow",
                 {{{server("", {device("A")}).address("10.0.0.1")},
                   searching + "device A added/devices in list: 1/",
                   {"RBLK - A - 10.0.0.1=0"}},
                  {{},
                   searching + "No devices connected|devices in list: -1/device to be removed: A/",
                   {"RBLK - A - 10.0.0.1=0"},
                   0,
                   true}}}),
    [](const auto& param) { return param.param.name; });

TEST(Pass, OnlyTheFirstRowCarryingTheIdIsDeleted) {
    FakeSearch search;
    FakeDeviceList list;
    FakeLog pane;
    ActionLog log(pane);
    DeviceListSync sync(search, list, log);
    search.add({{server("", {device("A")}).address("10.0.0.1")}, ""});
    sync.runPass({});
    list.addRow(u"stray copy", 0);
    sync.runPass({});
    EXPECT_EQ(list.describe(), std::vector<std::string>{"stray copy=0"});
}

TEST(Pass, LongTextsAreCutToTheFormatBufferKeepingTheLineEnd) {
    FakeSearch search;
    FakeDeviceList list;
    FakeLog pane;
    ActionLog log(pane);
    DeviceListSync sync(search, list, log);
    const std::string serial(400, 'S');
    search.add({{server("", {device(serial)}).address("10.0.0.1")}, ""});
    sync.runPass({});
    const std::string text = pane.text();
    const std::string added = "device " + std::string(255 - 14, 'S') + " added\n";
    EXPECT_NE(text.find(added), std::string::npos);
    ASSERT_EQ(list.describe().size(), 1u);
    EXPECT_EQ(list.describe()[0], "RBLK - " + std::string(255 - 7, 'S') + "=0");
    // The table keeps the whole serial: it is the key of later searches.
    EXPECT_EQ(narrowText(sync.tableSnapshot().entries().at(0).serial), serial);
}

TEST(Pass, ADeviceWhoseAddedLineFailedIsFoundAndAnnouncedAgain) {
    FakeSearch search;
    FakeDeviceList list;
    FakeLog pane;
    ActionLog log(pane);
    DeviceListSync sync(search, list, log);
    const std::list<ServerInfo> found{
        server("ds-A-B", {device("A"), device("B")}).address("10.0.0.1")};
    search.add({found, ""});
    pane.failOnce("device B added");
    EXPECT_THROW(sync.runPass({}), std::runtime_error);
    search.add({found, ""});
    sync.runPass({});
    const std::string text = pane.text();
    EXPECT_EQ(text.find("device A added"), text.rfind("device A added")); // once
    EXPECT_NE(text.find("device B added"), std::string::npos);
    EXPECT_EQ(list.describe(), (std::vector<std::string>{"RBLK - A - 10.0.0.1=0",
                                                         "RBLK - B - 10.0.0.1=2"})); // B made anew
}

TEST(Pass, AStoppedSearchLeavesTableAndListAlone) {
    FakeSearch search;
    FakeDeviceList list;
    FakeLog pane;
    ActionLog log(pane);
    DeviceListSync sync(search, list, log);
    search.add({{server("", {device("A")}).address("10.0.0.1")}, ""});
    sync.runPass({});
    std::stop_source stop;
    stop.request_stop();
    sync.runPass(stop.get_token()); // would remove A if it went on
    EXPECT_EQ(list.describe(), std::vector<std::string>{"RBLK - A - 10.0.0.1=0"});
    const DeviceTable table = sync.tableSnapshot();
    ASSERT_EQ(table.entries().size(), 1u);
    EXPECT_EQ(table.entries()[0].seen, 1);
}

} // namespace
} // namespace velmor
