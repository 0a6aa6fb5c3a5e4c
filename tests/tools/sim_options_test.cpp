#include "tools/sim_options.h"

#include <cctype>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace velmor::tools {
namespace {

using Args = std::vector<std::string>;

TEST(SimOptions, PortsReplaceTheDefaultsAndRepeatsAreKeptOnce) {
    EXPECT_EQ(parseSimOptions({"--port", "9001", "--port=9000", "--port", "9001"}).ports,
              (std::vector<std::uint16_t>{9001, 9000}));
    // Every 0 is a port of its own, chosen by the system.
    EXPECT_EQ(parseSimOptions({"--port", "0", "--port", "0"}).ports,
              (std::vector<std::uint16_t>{0, 0}));
}

TEST(SimOptions, ReadsEveryValueInBothForms) {
    const SimOptions options =
        parseSimOptions({"--serial", "A",           "--type=QD4",    "--serial=",
                         "--uid",    "u-1",         "--server-type", "other",
                         "--delay",  "250",         "--repeat=1000", "--id",
                         "",         "--version",   "4294967295",    "--answer-port",
                         "8018",     "--interface", "rbv1",          "--interface=eth0",
                         "--raw",    "r.bin",       "--send-first",  "s.bin",
                         "--quiet",  "--help"});
    EXPECT_EQ(options.serials, (Args{"A", ""}));
    EXPECT_EQ(options.types, (Args{"QD4"}));
    EXPECT_EQ(options.uid, "u-1");
    EXPECT_EQ(options.serverType, "other");
    EXPECT_EQ(options.delay.count(), 250);
    EXPECT_EQ(options.repeat, 1000u);
    EXPECT_EQ(options.answerId, std::optional<std::string>(""));
    EXPECT_EQ(options.version, 4294967295u);
    EXPECT_EQ(options.answerPort, std::optional<std::uint16_t>(8018));
    EXPECT_EQ(options.interfaces, (Args{"rbv1", "eth0"}));
    EXPECT_EQ(options.rawFile, "r.bin");
    EXPECT_EQ(options.sendFirstFile, "s.bin");
    EXPECT_TRUE(options.quiet && options.help);

    EXPECT_EQ(parseSimOptions({"--servers", "100000"}).generatedServers,
              std::optional<std::size_t>(100000));
    EXPECT_EQ(parseSimOptions({"--config", "c.json"}).configFile, "c.json");
    EXPECT_TRUE(parseSimOptions({"--servers", "5", "--one-per-datagram"}).onePerDatagram);
    // A value is the next argument whatever it looks like.
    EXPECT_EQ(parseSimOptions({"--id", "--quiet"}).answerId, std::optional<std::string>("--quiet"));
}

struct Rejected {
    Args args;
    std::string message; // part of the error text
};

void PrintTo(const Rejected& c, std::ostream* out) {
    *out << ::testing::PrintToString(c.args);
}

class SimOptionsRejects : public ::testing::TestWithParam<Rejected> {};

TEST_P(SimOptionsRejects, WithAMessageNamingTheProblem) {
    try {
        parseSimOptions(GetParam().args);
        FAIL() << "accepted";
    } catch (const SimOptionError& error) {
        EXPECT_NE(std::string(error.what()).find(GetParam().message), std::string::npos)
            << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    BadCommandLines, SimOptionsRejects,
    ::testing::Values(
        Rejected{{"--bogus"}, "unknown option --bogus"}, Rejected{{"-x"}, "unknown option -x"},
        Rejected{{"stray"}, "unexpected argument \"stray\""},
        Rejected{{"--port"}, "--port needs a value"},
        Rejected{{"--port", "65536"}, "--port needs a number from 0 to 65535"},
        Rejected{{"--port", "-1"}, "--port needs a number"},
        Rejected{{"--port", " 80"}, "--port needs a number"},
        Rejected{{"--port", "80x"}, "--port needs a number"},
        Rejected{{"--port="}, "--port needs a number"},
        Rejected{{"--repeat", "0"}, "--repeat needs a number from 1 to 100000"},
        Rejected{{"--repeat", "100001"}, "--repeat needs a number"},
        Rejected{{"--delay", "600001"}, "--delay needs a number from 0 to 600000"},
        Rejected{{"--pace", "100001"}, "--pace needs a number from 0 to 100000"},
        Rejected{{"--servers", "100001"}, "--servers needs a number"},
        Rejected{{"--version", "4294967296"}, "--version needs a number"},
        Rejected{{"--answer-port", "0"}, "--answer-port needs a number from 1"},
        Rejected{{"--answer-port", "9000"}, "--answer-port 9000 is not one of the listening"},
        Rejected{{"--port", "9000", "--answer-port", "8017"}, "is not one of the listening"},
        Rejected{{"--quiet=yes"}, "--quiet takes no value"},
        Rejected{{"--one-per-datagram=x"}, "--one-per-datagram takes no value"},
        Rejected{{"--interface", ""}, "--interface needs a name"},
        Rejected{{"--interface", "sixteen-bytes-xx"}, "--interface needs a name"},
        Rejected{{"--config", ""}, "--config needs a file name"},
        Rejected{{"--config", "c.json", "--serial", "X"}, "--config cannot be combined"},
        Rejected{{"--server-type", "x", "--config", "c.json"}, "--config cannot be combined"},
        Rejected{{"--servers", "5", "--config", "c.json"}, "--servers cannot be combined"},
        Rejected{{"--uid", "u", "--servers", "5"}, "--servers cannot be combined"},
        Rejected{{"--help", "--bogus"}, "unknown option --bogus"},
        Rejected{{"--help=x"}, "--help takes no value"}, Rejected{{"--id"}, "--id needs a value"},
        Rejected{{"--serial", "A", "--raw"}, "--raw needs a value"},
        Rejected{{"--bogus=1"}, "unknown option --bogus"}, Rejected{{"--"}, "unknown option --"},
        Rejected{{"-"}, "unknown option -"}),
    [](const ::testing::TestParamInfo<Rejected>& param) {
        std::string name = std::to_string(param.index);
        for (const auto& arg : param.param.args) {
            name += '_';
            for (const char c : arg) {
                name += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
            }
        }
        return name;
    });

} // namespace
} // namespace velmor::tools
