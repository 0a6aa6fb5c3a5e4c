#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/device_table.h"
#include "app/wide_text.h"
#include "support/records.h"

namespace velmor {
namespace {

// One address unless a case is about the address a serial keeps.
testing::DeviceBuilder device(std::string serial, std::string address = "10.0.0.1") {
    return testing::device(std::move(serial)).address(std::move(address));
}

// "id:serial@address" of entries.
std::vector<std::string> summary(const std::vector<DeviceEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) {
        out.push_back(std::to_string(e.id) + ":" + narrowText(e.serial) + "@" +
                      narrowText(e.address));
    }
    return out;
}

struct Pass {
    std::vector<DeviceInfo> selected;
    std::vector<std::string> added;
    std::vector<std::string> removed;
    std::vector<std::string> table; // after the pass
};

struct TableCase {
    std::string name;
    std::vector<Pass> passes;
};

void PrintTo(const TableCase& c, std::ostream* out) {
    *out << c.name;
}

class TableSync : public ::testing::TestWithParam<TableCase> {};

TEST_P(TableSync, PassesAddAndRemoveAsTheWindowDoes) {
    DeviceTable table;
    int number = 0;
    for (const Pass& pass : GetParam().passes) {
        SCOPED_TRACE("pass " + std::to_string(++number));
        const DeviceTableChanges changes = table.synchronise(pass.selected);
        EXPECT_EQ(summary(changes.added), pass.added);
        EXPECT_EQ(summary(changes.removed), pass.removed);
        EXPECT_EQ(summary(table.entries()), pass.table);
        for (const DeviceEntry& entry : table.entries()) {
            EXPECT_TRUE(entry.seen);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TableSync,
    ::testing::Values(
        TableCase{"AddThenRemoveInTableOrder",
                  {{{device("A"), device("B"), device("C")},
                    {"0:A@10.0.0.1", "1:B@10.0.0.1", "2:C@10.0.0.1"},
                    {},
                    {"0:A@10.0.0.1", "1:B@10.0.0.1", "2:C@10.0.0.1"}},
                   {{device("B")}, {}, {"0:A@10.0.0.1", "2:C@10.0.0.1"}, {"1:B@10.0.0.1"}}}},
        TableCase{"ComebackGetsANewId",
                  {{{device("A")}, {"0:A@10.0.0.1"}, {}, {"0:A@10.0.0.1"}},
                   {{}, {}, {"0:A@10.0.0.1"}, {}},
                   {{device("A")}, {"1:A@10.0.0.1"}, {}, {"1:A@10.0.0.1"}}}},
        TableCase{"SameSerialTwiceInOnePassIsOneEntryFirstWins",
                  {{{device("A", "127.0.0.1"), device("A", "10.0.0.9")},
                    {"0:A@127.0.0.1"},
                    {},
                    {"0:A@127.0.0.1"}}}},
        TableCase{"FoundAgainKeepsItsOldAddressAndType",
                  {{{device("A", "10.0.0.1")}, {"0:A@10.0.0.1"}, {}, {"0:A@10.0.0.1"}},
                   {{device("A", "10.0.0.2").type("RBX"), device("B")},
                    {"1:B@10.0.0.1"},
                    {},
                    {"0:A@10.0.0.1", "1:B@10.0.0.1"}}}},
        TableCase{"SerialCaseCounts",
                  {{{device("rb1"), device("RB1")},
                    {"0:rb1@10.0.0.1", "1:RB1@10.0.0.1"},
                    {},
                    {"0:rb1@10.0.0.1", "1:RB1@10.0.0.1"}}}},
        TableCase{"EmptyResultRemovesEverything",
                  {{{device("B"), device("A")},
                    {"0:B@10.0.0.1", "1:A@10.0.0.1"},
                    {},
                    {"0:B@10.0.0.1", "1:A@10.0.0.1"}},
                   {{}, {}, {"0:B@10.0.0.1", "1:A@10.0.0.1"}, {}},
                   {{}, {}, {}, {}}}}),
    [](const auto& param) { return param.param.name; });

TEST(DeviceTable, SerialsAreMatchedWidenedByteForByte) {
    DeviceTable table;
    // 0xE9 and 0xC3 0xA9 are "e acute" in Latin-1 and UTF-8: different serials.
    const auto added =
        table.markSelected({device("RB\xE9"), device("RB\xC3\xA9"), device("RB\xE9")});
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added[0].serial, (std::u16string{u'R', u'B', char16_t{0xFFE9}}));
    EXPECT_EQ(added[1].serial, (std::u16string{u'R', u'B', char16_t{0xFFC3}, char16_t{0xFFA9}}));
    EXPECT_EQ(table.findByItemData(-1), nullptr);
    EXPECT_EQ(table.findByItemData(std::int64_t{1} << 32), nullptr); // not cut to 32 bits
}

TEST(DeviceTable, ListedStateAndLookupSurvivePasses) {
    DeviceTable table;
    table.synchronise({device("A"), device("B")});
    ASSERT_EQ(table.nextDeviceId(), 2);
    EXPECT_TRUE(table.findByItemData(1)->isNew);
    table.markListed(1);
    table.synchronise({device("B"), device("C")});
    ASSERT_NE(table.findByItemData(1), nullptr);
    EXPECT_FALSE(table.findByItemData(1)->isNew); // B keeps its row
    EXPECT_TRUE(table.findByItemData(2)->isNew);  // C has none yet
    EXPECT_EQ(table.findByItemData(0), nullptr);  // A is gone
}

} // namespace
} // namespace velmor
