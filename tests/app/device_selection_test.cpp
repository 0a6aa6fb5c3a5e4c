#include <list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/device_selection.h"
#include "app/wide_text.h"
#include "support/records.h"

namespace velmor {
namespace {

using testing::device;
using testing::server;

// "serial@address" of each selected device, in selection order.
std::vector<std::string> summary(const std::vector<DeviceInfo>& devices) {
    std::vector<std::string> out;
    for (const auto& d : devices) {
        out.push_back(d.serial + "@" + d.address);
    }
    return out;
}

struct SelectionCase {
    std::string name;
    std::list<ServerInfo> servers;
    std::vector<std::string> window; // selected by the window's filter
    std::vector<std::string> all;    // selected with --all
};

void PrintTo(const SelectionCase& c, std::ostream* out) {
    *out << c.name;
}

class Selection : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(Selection, SelectsAsTheWindowAndAsAll) {
    const SelectionCase& c = GetParam();
    const auto window = selectDevices(c.servers, SelectionMode::window);
    EXPECT_EQ(summary(window), c.window);
    EXPECT_EQ(anyDeviceSelected(c.servers, SelectionMode::window), !c.window.empty());
    const auto all = selectDevices(c.servers, SelectionMode::all);
    EXPECT_EQ(summary(all), c.all);
    EXPECT_EQ(anyDeviceSelected(c.servers, SelectionMode::all), !c.all.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Selection,
    ::testing::Values(
        SelectionCase{"ServerTypeInAnyCase",
                      {server("", {device("A")}).type("DataServer"),
                       server("", {device("B")}).type("DATASERVER")},
                      {"A@10.0.0.5", "B@10.0.0.5"},
                      {"A@10.0.0.5", "B@10.0.0.5"}},
        SelectionCase{"OtherServerTypesIgnored",
                      {server("", {device("A")}).type("data server"),
                       server("", {device("B")}).type("dataserver2"),
                       server("", {device("C")}).type("")},
                      {},
                      {"A@10.0.0.5", "B@10.0.0.5", "C@10.0.0.5"}},
        SelectionCase{"NoUidOneDeviceWhateverItsSerial",
                      {server("", {device("anything")})},
                      {"anything@10.0.0.5"},
                      {"anything@10.0.0.5"}},
        SelectionCase{"NoUidTwoDevicesOnlyTheEmptySerial",
                      {server("", {device("A"), device(""), device("B")})},
                      {"@10.0.0.5"},
                      {"A@10.0.0.5", "@10.0.0.5", "B@10.0.0.5"}},
        SelectionCase{"UidContainsSerialIgnoringCase",
                      {server("dataserver-rb0001", {device("RB0001"), device("RB0002")}),
                       server("LAB-RB7", {device("rb7"), device("")})},
                      {"RB0001@10.0.0.5", "rb7@10.0.0.5", "@10.0.0.5"},
                      {"RB0001@10.0.0.5", "RB0002@10.0.0.5", "rb7@10.0.0.5", "@10.0.0.5"}},
        SelectionCase{"UidButNoDeviceClaimedWithOneDevice",
                      {server("other", {device("RB1")})},
                      {},
                      {"RB1@10.0.0.5"}},
        SelectionCase{
            "OnlyTheRbFamily",
            {server("s1 s2 s3 s4 s5 s6", {device("s1").type("QD4"), device("s2").type("SIMDEV-RB"),
                                          device("s3").type("rblk"), device("s4").type("RB"),
                                          device("s5").type(" RBLK"), device("s6").type("")})},
            {"s4@10.0.0.5"},
            {"s1@10.0.0.5", "s2@10.0.0.5", "s3@10.0.0.5", "s4@10.0.0.5", "s5@10.0.0.5",
             "s6@10.0.0.5"}},
        SelectionCase{
            "AddressIsTheServersFirstNotTheDevicesOwn",
            {server("", {device("A").address("192.168.9.9")}).addresses({"10.1.1.1", "10.2.2.2"}),
             server("", {device("B").address("192.168.9.9")}).addresses({})},
            {"A@10.1.1.1", "B@"},
            {"A@10.1.1.1", "B@"}},
        SelectionCase{"RepeatsKeptInServerOrder",
                      {server("", {device("A")}).address("127.0.0.1"),
                       server("", {device("A")}).address("10.0.0.9")},
                      {"A@127.0.0.1", "A@10.0.0.9"},
                      {"A@127.0.0.1", "A@10.0.0.9"}},
        SelectionCase{"NoServers", {}, {}, {}}),
    [](const auto& param) { return param.param.name; });

TEST(UniqueBySerial, FirstOccurrenceWinsAndCaseCounts) {
    const auto unique = uniqueBySerial({device("A").address("1"), device("a").address("2"),
                                        device("A").address("3"), device("").address("4"),
                                        device("").address("5")});
    EXPECT_EQ(summary(unique), (std::vector<std::string>{"A@1", "a@2", "@4"}));
}

TEST(RowOrder, SortedIgnoringCaseWithTiesInInsertionOrder) {
    const auto rows = sortedRowTexts({
        device("b").address("1"), device("A").type("rblk").address("2"), device("a").address("1"),
        device("\xc3\xa9").address("1"), // non-ASCII bytes sort after the letters
        device("Z").address("1"), device("x").type("RB").address("1"),
        device("X").type("rb").address("1"), // equal to the previous row ignoring case
    });
    EXPECT_EQ(rows,
              (std::vector<std::string>{"RB - x - 1", "rb - X - 1", "RBLK - a - 1", "rblk - A - 2",
                                        "RBLK - b - 1", "RBLK - Z - 1", "RBLK - \xc3\xa9 - 1"}));
}

struct RowTextCase {
    std::string type, serial, address;
    std::string row;
};

TEST(RowText, EachFieldEndsAtItsFirstNulInBothForms) {
    using namespace std::string_literals;
    for (const RowTextCase& c : std::vector<RowTextCase>{
             {"RBLK", "AB\0CD"s, "10.0.0.1", "RBLK - AB - 10.0.0.1"},
             {"RB\0LK"s, "A", "10.0.0.1\0:80"s, "RB - A - 10.0.0.1"},
             {"RBLK", "\0"s, "", "RBLK -  - "},
             {"RBLK", "RB\xc3\xa9", "10.0.0.1", "RBLK - RB\xc3\xa9 - 10.0.0.1"},
         }) {
        SCOPED_TRACE(c.row);
        EXPECT_EQ(deviceRowText(device(c.serial).type(c.type).address(c.address)), c.row);
        EXPECT_EQ(deviceRowText(widenText(c.type), widenText(c.serial), widenText(c.address)),
                  widenText(c.row));
    }
}

struct OrderCase {
    std::string left, right;
    int order; // of left against right: -1, 0 or 1
};

// The order of a Windows sorted list box (tests/windows checks it against a real one),
// and beyond ASCII our own rule.
TEST(RowOrder, ComparesAsASortedListBoxInBothForms) {
    using namespace std::string_literals;
    const std::vector<OrderCase> cases{
        {"RB1", "rb1", 0},
        {"RB1", "RB10", -1},
        // Space, punctuation, symbols, digits, letters.
        {"RB 1", "RB.1", -1},
        {"RB_1", "RB1", -1},
        {"RB_1", "RBa", -1},
        {"RB~1", "RB+1", -1},
        {"RB+", "RB9", -1},
        {"RBLK - RB_1 - 10.0.0.2", "RBLK - RB1 - 10.0.0.1", -1},
        // Hyphens, apostrophes and controls ("\001": octal) are passed over, then decide
        // the ties.
        {"RB-a", "RB1", 1},
        {"RB1", "RB-1", -1},
        {"RB1-", "RB-1", -1},
        {"RB-1", "RB--1", -1},
        {"RB'1", "RB-1", -1},
        {"RB\0011", "RB'1", -1},
        {"RB-1", "RB\0001"s, 1},
        {"RB\xc3\xa9", "RBZ", 1},
        {"\xc3\xa8", "\xc3\xa9", -1},
    };
    const auto sign = [](std::weak_ordering order) {
        return order < 0 ? -1 : order > 0 ? 1 : 0;
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE("\"" + c.left + "\" against \"" + c.right + "\"");
        EXPECT_EQ(sign(compareRowTexts(c.left, c.right)), c.order);
        EXPECT_EQ(sign(compareRowTexts(c.right, c.left)), -c.order);
        EXPECT_EQ(sign(compareRowTexts(widenText(c.left), widenText(c.right))), c.order);
    }
}

} // namespace
} // namespace velmor
