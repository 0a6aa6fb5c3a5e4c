#include "app/action_log.h"

#include <string>

#include <gtest/gtest.h>

#include "shell_fakes.h"

namespace velmor {
namespace {

using testing::FakeLog;

struct CapCase {
    std::string name;
    std::size_t before; // characters in the pane: the oldest 262,144 are 'o', the rest 'n'
    std::size_t appended;
    bool lineEnd;
    std::size_t after;
    bool cut;
};

void PrintTo(const CapCase& c, std::ostream* out) {
    *out << c.name;
}

class LogCap : public ::testing::TestWithParam<CapCase> {};

TEST_P(LogCap, CutsTheOldestQuarterOnlyPastTheCapacity) {
    const CapCase& c = GetParam();
    FakeLog pane;
    const std::size_t old = std::min<std::size_t>(c.before, ActionLog::cutLength);
    pane.setText(std::u16string(old, u'o') + std::u16string(c.before - old, u'n'));
    ActionLog log(pane);
    log.append(std::u16string(c.appended, u'a'), c.lineEnd);
    const std::u16string text = pane.wide();
    EXPECT_EQ(text.size(), c.after);
    EXPECT_EQ(text.find(u'o') == std::u16string::npos, c.cut);
    const std::u16string tail = std::u16string(c.appended, u'a') + (c.lineEnd ? u"\r\n" : u"");
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogCap,
    ::testing::Values(CapCase{"FillsToTheCapacity", 1'048'570, 6, false, 1'048'576, false},
                      CapCase{"OneMoreCuts", 1'048'570, 7, false, 786'433, true},
                      CapCase{"TheLineEndIsNotCounted", 1'048'570, 6, true, 1'048'578, false},
                      CapCase{"ALongTextIntoAnEmptyPane", 0, 1'048'577, false, 1'048'577, true},
                      CapCase{"AFullPaneCutEvenForOneCharacter", 1'048'576, 1, true, 786'435,
                              true}),
    [](const auto& param) { return param.param.name; });

TEST(ActionLog, EmptyTextAddsNothingAndTextStopsAtANul) {
    FakeLog pane;
    ActionLog log(pane);
    log.append(u"", true);
    EXPECT_EQ(pane.text(), "");
    log.append(std::u16string(u"ab\0cd", 5), true);
    log.append(std::u16string(u"\0cd", 3), true);
    log.append(u"line\n", false); // a caller's "\n" stays as it is
    EXPECT_EQ(pane.text(), "ab\r\nline\n");
    log.clear();
    EXPECT_EQ(pane.text(), "");
}

} // namespace
} // namespace velmor
