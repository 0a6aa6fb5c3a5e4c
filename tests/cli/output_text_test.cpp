// The texts rbfind writes: JSON that is always valid UTF-8, and terminal-safe lines.
#include <list>
#include <sstream>
#include <string>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "cli/search_result_json.h"
#include "cli/terminal_text.h"

namespace velmor::cli {
namespace {

struct TextCase {
    std::string name;
    std::string input;
    std::string terminal;
};

void PrintTo(const TextCase& c, std::ostream* out) {
    *out << c.name;
}

class UntrustedText : public ::testing::TestWithParam<TextCase> {};

TEST_P(UntrustedText, IsMadeTerminalSafe) {
    EXPECT_EQ(terminalSafe(GetParam().input), GetParam().terminal);
}

const std::string fffd = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Cases, UntrustedText,
    ::testing::Values(
        TextCase{"Plain", "RB0001", "RB0001"}, TextCase{"Empty", "", ""},
        TextCase{"QuoteBackslashSlash", "a\"b\\c/d", "a\"b\\c/d"},
        TextCase{"ShortEscapes", "\b\f\n\r\t", "\\x08\\x0c\\x0a\\x0d\\x09"},
        TextCase{"TerminalEscapeSequence", "\x1b[2J\x07", "\\x1b[2J\\x07"},
        TextCase{"NulAndDel", std::string("a\0b\x7f", 4), "a\\x00b\\x7f"},
        TextCase{"C1ControlAsUtf8",
                 "\xC2\x9B"
                 "1m",
                 "\\x9b1m"},
        TextCase{"WellFormedMultibyte", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
                 "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        TextCase{"LineSeparators", "\xE2\x80\xA8\xE2\x80\xA9", "\xE2\x80\xA8\xE2\x80\xA9"},
        TextCase{"LoneC1Byte",
                 "a\x9B"
                 "b",
                 "a" + fffd + "b"},
        TextCase{"Latin1Byte", "caf\xE9", "caf" + fffd},
        TextCase{"Overlong", "\xC0\xAF", fffd + fffd},
        TextCase{"Surrogate", "\xED\xA0\x80", fffd + fffd + fffd},
        TextCase{"AboveUnicode", "\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},
        TextCase{"CutShortThenAscii",
                 "\xE2\x82"
                 "A",
                 fffd + "A"},
        TextCase{"CutShortAtEnd", "x\xF0\x9F\x98", "x" + fffd},
        TextCase{"FiveByteLead", "\xF8\x88\x80\x80\x80", fffd + fffd + fffd + fffd + fffd}),
    [](const auto& param) { return param.param.name; });

ServerInfo sampleServer() {
    DeviceInfo device;
    device.serial = "RB\x1b"
                    "1";
    device.type = "RBLK";
    device.address = "192.168.9.9";
    device.interfaces = {InterfaceType::PCIe, InterfaceType::USB};
    device.connected = InterfaceType::GbE;
    device.available = true;
    device.lastRefresh = 18446744073709551615ULL;
    ServerInfo server;
    server.uid = "u\xFF";
    server.type = "dataserver";
    server.addresses = {"127.0.0.1"};
    server.port = 8004;
    server.devices = {device};
    return server;
}

TEST(SearchResultJson, ParsesBackWithEveryMemberAndTheFamily) {
    DeviceInfo selected = sampleServer().devices.front();
    selected.address = "127.0.0.1";
    const std::string text = searchResultJson("host-1", {sampleServer()}, {selected});

    boost::property_tree::ptree tree;
    std::istringstream in(text);
    ASSERT_NO_THROW(boost::property_tree::read_json(in, tree)) << text;
    EXPECT_EQ(tree.get<std::string>("requestId"), "host-1");
    const auto& server = tree.get_child("servers").front().second;
    EXPECT_EQ(server.get<std::string>("uid"), "u" + fffd);
    EXPECT_EQ(server.get<unsigned>("port"), 8004U);
    EXPECT_EQ(server.get_child("addresses").front().second.data(), "127.0.0.1");
    const auto& nested = server.get_child("devices").front().second;
    EXPECT_EQ(nested.get<std::string>("address"), "192.168.9.9");
    EXPECT_EQ(nested.count("family"), 0U);
    const auto& device = tree.get_child("devices").front().second;
    EXPECT_EQ(device.get<std::string>("serial"), "RB\x1b"
                                                 "1");
    EXPECT_EQ(device.get<std::string>("address"), "127.0.0.1");
    EXPECT_EQ(device.get<unsigned>("family"), 4U);
    EXPECT_EQ(device.get<unsigned>("minServRev"), 4294967295U);
    EXPECT_EQ(device.get<std::string>("lastRefresh"), "18446744073709551615");

    // The kinds of the values, which a property tree does not keep.
    EXPECT_NE(text.find("\"interfaces\":[1,8],\"connected\":2,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"available\":true,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"port\":8004,\"apiVersion\":0,"), std::string::npos) << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
}

TEST(SearchResultJson, EmptySearchHasNullRequestId) {
    EXPECT_EQ(searchResultJson("", {}, {}), "{\"requestId\":null,\"servers\":[],\"devices\":[]}");
}

TEST(TerminalSafeStream, KeepsTheLineEndOfEachFlushOnly) {
    std::ostringstream target;
    TerminalSafeStream stream(target);
    stream << "[debug] a\nb\x1b" << '\n' << std::flush;
    stream << "[error] c\n" << std::flush;
    stream << "no end" << std::flush;
    EXPECT_EQ(target.str(), "[debug] a\\x0ab\\x1b\n[error] c\nno end");
}

TEST(TerminalSafeBuffer, PassesOnWhenItsLimitIsReached) {
    std::ostringstream target;
    TerminalSafeBuffer buffer(target, 4);
    std::ostream stream(&buffer);
    stream << "abcdefgh\x07";
    EXPECT_EQ(target.str(), "abcdefgh"); // two full blocks passed on without a flush
    stream << std::flush;
    EXPECT_EQ(target.str(), "abcdefgh\\x07");
}

} // namespace
} // namespace velmor::cli
