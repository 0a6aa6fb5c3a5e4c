#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/rbfind_options.h"
#include "net/host_lookup.h"

namespace velmor::cli {
namespace {

using Action = RbfindCommand::Action;

struct ParseCase {
    std::string name;
    std::vector<std::string> arguments;
    Action action;
    RbfindOptions options;     // compared for Action::search
    std::string errorFragment; // for Action::usageError
};

void PrintTo(const ParseCase& c, std::ostream* out) {
    *out << c.name;
}

RbfindOptions with(auto change) {
    RbfindOptions options;
    change(options);
    return options;
}

class ParseArguments : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseArguments, GivesActionOptionsOrError) {
    const ParseCase& c = GetParam();
    const RbfindCommand command = parseRbfindArguments(c.arguments);
    ASSERT_EQ(command.action, c.action) << command.error;
    if (c.action == Action::search) {
        EXPECT_EQ(command.options, c.options);
    }
    if (c.action == Action::usageError) {
        EXPECT_NE(command.error.find(c.errorFragment), std::string::npos) << command.error;
    } else {
        EXPECT_EQ(command.error, "");
    }
}

using O = RbfindOptions;
INSTANTIATE_TEST_SUITE_P(
    Cases, ParseArguments,
    ::testing::Values(
        ParseCase{"Defaults", {}, Action::search, {}, ""},
        ParseCase{"Flags",
                  {"--json", "--all", "--first", "-v"},
                  Action::search,
                  with([](O& o) { o.json = o.all = o.first = o.verbose = true; }),
                  ""},
        ParseCase{"TimeoutBothForms",
                  {"--timeout", "500", "--timeout=0"},
                  Action::search,
                  with([](O& o) { o.timeoutMs = 0; }),
                  ""},
        ParseCase{"TimeoutLargestAllowed",
                  {"--timeout", "3600000"},
                  Action::search,
                  with([](O& o) { o.timeoutMs = 3600000; }),
                  ""},
        ParseCase{"TimeoutTooLarge", {"--timeout", "3600001"}, Action::usageError, {}, "3600001"},
        ParseCase{"TimeoutHuge",
                  {"--timeout", "99999999999999999999999"},
                  Action::usageError,
                  {},
                  "milliseconds"},
        ParseCase{"TimeoutNegative", {"--timeout", "-5"}, Action::usageError, {}, "'-5'"},
        ParseCase{"TimeoutSigned", {"--timeout=+5"}, Action::usageError, {}, "'+5'"},
        ParseCase{"TimeoutBlank", {"--timeout", " 5"}, Action::usageError, {}, "' 5'"},
        ParseCase{"TimeoutEmpty", {"--timeout="}, Action::usageError, {}, "''"},
        ParseCase{"TimeoutMissing", {"--timeout"}, Action::usageError, {}, "needs a value"},
        ParseCase{"AddressesKeptOnceInOrder",
                  {"--address", "127.0.0.1", "--address=10.0.0.2", "--address", "127.0.0.1"},
                  Action::search,
                  with([](O& o) {
                      o.addresses = {"127.0.0.1", "10.0.0.2"};
                  }),
                  ""},
        ParseCase{"AddressNotIpv4", {"--address", "::1"}, Action::usageError, {}, "'::1'"},
        ParseCase{
            "AddressLeadingZero", {"--address", "127.0.0.01"}, Action::usageError, {}, "IPv4"},
        ParseCase{"AddressMissing", {"--address"}, Action::usageError, {}, "needs a value"},
        ParseCase{"WatchDefaultPeriod",
                  {"--watch", "-v"},
                  Action::search,
                  with([](O& o) { o.watch = o.verbose = true; }),
                  ""},
        ParseCase{"WatchWithPeriod",
                  {"--watch", "3", "--all"},
                  Action::search,
                  with([](O& o) {
                      o.watch = o.all = true;
                      o.watchSeconds = 3;
                  }),
                  ""},
        ParseCase{"WatchInlinePeriod",
                  {"--watch=86400"},
                  Action::search,
                  with([](O& o) {
                      o.watch = true;
                      o.watchSeconds = 86400;
                  }),
                  ""},
        ParseCase{"WatchZero", {"--watch", "0"}, Action::usageError, {}, "seconds"},
        ParseCase{"WatchWord", {"--watch", "soon"}, Action::usageError, {}, "'soon'"},
        ParseCase{"WatchWithJson", {"--watch", "--json"}, Action::usageError, {}, "--json"},
        ParseCase{"WatchWithFirst", {"--first", "--watch"}, Action::usageError, {}, "--first"},
        ParseCase{"FlagWithValue", {"--json=yes"}, Action::usageError, {}, "takes no value"},
        ParseCase{"UnknownOption", {"--jsn"}, Action::usageError, {}, "unknown option '--jsn'"},
        ParseCase{"UnknownShortOption", {"-x"}, Action::usageError, {}, "'-x'"},
        ParseCase{"Positional", {"RB0001"}, Action::usageError, {}, "unexpected argument"},
        ParseCase{"HelpWins", {"--json", "--help", "--bogus"}, Action::help, {}, ""},
        ParseCase{"ShortHelp", {"-h"}, Action::help, {}, ""},
        ParseCase{"Version", {"--version"}, Action::version, {}, ""},
        ParseCase{"ErrorBeforeHelp", {"--bogus", "--help"}, Action::usageError, {}, "--bogus"},
        ParseCase{"HelpStopsReading", {"--help", "--timeout"}, Action::help, {}, ""},
        ParseCase{"HelpWithValue",
                  {"--help=x"},
                  Action::usageError,
                  {},
                  "option '--help' takes no value"},
        ParseCase{"MissingValueMessage",
                  {"--host"},
                  Action::usageError,
                  {},
                  "option '--host' needs a value"},
        ParseCase{"ValueMayStartWithDash",
                  {"--timeout", "--json"},
                  Action::usageError,
                  {},
                  "'--timeout' expects milliseconds from 0 to 3600000, not '--json'"},
        ParseCase{"HostLooksLikeAnOption",
                  {"--host=-v"},
                  Action::usageError,
                  {},
                  "'--host' expects an IPv4 address or a host name, not '-v'"},
        ParseCase{"WatchEmptyInline",
                  {"--watch="},
                  Action::usageError,
                  {},
                  "'--watch' expects seconds from 1 to 86400, not ''"},
        ParseCase{"WatchPeriodIsNoOption",
                  {"--watch", "-5"},
                  Action::usageError,
                  {},
                  "unknown option '-5'"},
        ParseCase{
            "UnknownWithValue", {"--bogus=1"}, Action::usageError, {}, "unknown option '--bogus'"},
        ParseCase{
            "DoubleDashIsAnUnknownOption", {"--"}, Action::usageError, {}, "unknown option '--'"},
        ParseCase{"LoneDash", {"-"}, Action::usageError, {}, "unexpected argument '-'"}),
    [](const auto& param) { return param.param.name; });

TEST(DottedQuad, AcceptsOnlyTheStandardForm) {
    for (const char* good : {"0.0.0.0", "127.0.0.1", "255.255.255.255", "10.77.0.2"}) {
        EXPECT_TRUE(isDottedQuad(good)) << good;
    }
    for (const char* bad :
         {"", "1.2.3", "1.2.3.4.5", "256.0.0.1", "1.2.3.", ".1.2.3", "1..2.3", "01.2.3.4",
          "1.2.3.4 ", "1.2.3.-4", "1.2.3.0x1", "1234.1.1.1", "localhost"}) {
        EXPECT_FALSE(isDottedQuad(bad)) << bad;
    }
}

} // namespace
} // namespace velmor::cli
