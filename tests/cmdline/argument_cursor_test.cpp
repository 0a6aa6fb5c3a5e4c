#include "cmdline/argument_cursor.h"

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace velmor::cmdline {
namespace {

using Args = std::vector<std::string>;

std::string bracketed(std::string_view name) {
    return "<" + std::string(name) + ">";
}

// Reads `args` with a small grammar: --flag takes no value, --value needs one, --maybe
// may have one; every other argument is written down by name. Gives what was read, one
// word each, or the error.
std::string readAll(const Args& args) {
    ArgumentCursor cursor(args, bracketed);
    std::string trace;
    try {
        while (cursor.next()) {
            const std::string& name = cursor.name();
            if (name == "--flag") {
                bool given = false;
                cursor.flag(given);
                trace += given ? "flag " : "unset ";
            } else if (name == "--value") {
                trace += "value=" + cursor.value() + " ";
            } else if (name == "--maybe") {
                const auto value = cursor.optionalValue();
                trace += value ? "maybe=" + *value + " " : "maybe ";
            } else {
                trace += "other:" + name + "(" + cursor.argument() + ") ";
            }
        }
    } catch (const ArgumentError& error) {
        return trace + "error: " + error.what();
    }
    return trace + "end";
}

struct CursorCase {
    std::string name;
    Args args;
    std::string read;
};

void PrintTo(const CursorCase& c, std::ostream* out) {
    *out << c.name;
}

class ArgumentCursorReads : public ::testing::TestWithParam<CursorCase> {};

TEST_P(ArgumentCursorReads, InOrderUntilTheEnd) {
    EXPECT_EQ(readAll(GetParam().args), GetParam().read);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArgumentCursorReads,
    ::testing::Values(
        CursorCase{"NoArguments", {}, "end"},
        CursorCase{"Flag", {"--flag", "--flag"}, "flag flag end"},
        CursorCase{"FlagRefusesInlineValue", {"--flag=x"}, "error: <--flag> takes no value"},
        CursorCase{"FlagRefusesEmptyInlineValue", {"--flag="}, "error: <--flag> takes no value"},
        CursorCase{"ValueAsNextArgument", {"--value", "a", "--flag"}, "value=a flag end"},
        CursorCase{"ValueAfterEquals", {"--value=a=b", "--flag"}, "value=a=b flag end"},
        CursorCase{"EmptyValueAfterEquals", {"--value="}, "value= end"},
        CursorCase{"ValueMayLookLikeAnOption", {"--value", "--flag"}, "value=--flag end"},
        CursorCase{
            "ValueMissingAtTheEnd", {"--flag", "--value"}, "flag error: <--value> needs a value"},
        CursorCase{"RepeatsAreAllRead", {"--value", "a", "--value=a"}, "value=a value=a end"},
        CursorCase{"OptionalValueGiven", {"--maybe", "3", "x"}, "maybe=3 other:x(x) end"},
        CursorCase{"OptionalValueAfterEquals", {"--maybe=-3"}, "maybe=-3 end"},
        CursorCase{
            "OptionalValueLeftOutBeforeAnOption", {"--maybe", "-3"}, "maybe other:-3(-3) end"},
        CursorCase{"OptionalValueLeftOutAtTheEnd", {"--maybe"}, "maybe end"},
        CursorCase{"OptionalValueMayBeEmpty", {"--maybe", ""}, "maybe= end"},
        CursorCase{"NameOfUnknownLongOption", {"--other=1"}, "other:--other(--other=1) end"},
        CursorCase{"ShortOptionKeepsItsEquals", {"-f=1"}, "other:-f=1(-f=1) end"},
        CursorCase{"PositionalWithEquals", {"a=b"}, "other:a=b(a=b) end"},
        CursorCase{
            "DashesAreNoEndMarker", {"--", "-", "--flag"}, "other:--(--) other:-(-) flag end"},
        CursorCase{"NothingIsReadAfterAnError",
                   {"--flag=1", "--value"},
                   "error: <--flag> takes no value"}),
    [](const auto& param) { return param.param.name; });

TEST(AppendOnce, KeepsTheFirstOfEachValueInOrder) {
    std::vector<int> values;
    for (const int value : {3, 1, 3, 2, 1}) {
        appendOnce(values, value);
    }
    EXPECT_EQ(values, (std::vector<int>{3, 1, 2}));
}

} // namespace
} // namespace velmor::cmdline
