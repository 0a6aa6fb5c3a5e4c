#include "discovery/answer_budget.h"

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace velmor {
namespace {

constexpr std::size_t overhead = AnswerBudget::entryOverhead;
const std::string requestId = "host-1b4e28ba-2fa1-4d2b-883f-0016d3cca427";

// A datagram of `size` bytes that starts with "{" and carries the request id or not.
std::string datagram(std::size_t size, bool withId) {
    std::string text = withId ? "{\"id\":\"" + requestId + "\"" : std::string("{");
    text.resize(size, ' ');
    return text;
}

struct Offer {
    std::size_t size;
    bool withId;
    bool admitted;
};

struct BudgetCase {
    const char* name;
    std::size_t relaxed;
    std::size_t hard;
    std::string id;
    std::vector<Offer> offers;
};

void PrintTo(const BudgetCase& c, std::ostream* out) {
    *out << c.name;
}

class Budget : public ::testing::TestWithParam<BudgetCase> {};

TEST_P(Budget, AdmitsInOrder) {
    const BudgetCase& c = GetParam();
    AnswerBudget budget(c.relaxed, c.hard);
    budget.reset(c.id);
    std::size_t admitted = 0;
    for (std::size_t i = 0; i < c.offers.size(); ++i) {
        const Offer& offer = c.offers[i];
        EXPECT_EQ(budget.admit(datagram(offer.size, offer.withId), "127.0.0.1"), offer.admitted)
            << "offer " << i;
        admitted += offer.admitted ? 1 : 0;
    }
    EXPECT_EQ(budget.storedCount(), admitted);
    EXPECT_EQ(budget.droppedCount(), c.offers.size() - admitted);
    EXPECT_LE(budget.chargedBytes(), c.hard);
}

// Each offer is charged its size, the sender's 9 bytes and the entry overhead.
constexpr std::size_t unit = 1000 - 9 - overhead; // an offer that costs exactly 1000

INSTANTIATE_TEST_SUITE_P(
    Offers, Budget,
    ::testing::Values(
        BudgetCase{"JunkAcceptedBelowRelaxedLimit",
                   3000,
                   5000,
                   requestId,
                   {{unit, false, true}, {unit, false, true}, {unit, false, true}}},
        BudgetCase{"PastRelaxedLimitOnlyAnswersToThisRequest",
                   2000,
                   5000,
                   requestId,
                   {{unit, false, true},
                    {unit, false, true},
                    {unit, false, false},
                    {unit, true, true},
                    {unit, false, false},
                    {unit, true, true}}},
        BudgetCase{"NothingPastHardLimit",
                   1000,
                   3000,
                   requestId,
                   {{unit, true, true},
                    {unit, true, true},
                    {unit, true, true},
                    {unit, true, false},
                    {1, false, false}}},
        BudgetCase{
            "SmallDatagramStillFitsUnderHardLimit",
            1000,
            2500,
            requestId,
            {{unit, true, true}, {unit, true, true}, {unit, true, false}, {100, true, true}}},
        BudgetCase{"EmptyIdLetsNothingPastRelaxedLimit",
                   1000,
                   5000,
                   "",
                   {{unit, false, true}, {unit, true, false}, {unit, false, false}}},
        BudgetCase{"DatagramLargerThanHardLimit",
                   1000,
                   1500,
                   requestId,
                   {{4096, true, false}, {unit, true, true}}}),
    [](const ::testing::TestParamInfo<BudgetCase>& param) { return param.param.name; });

TEST(Budget, FloodOfTinyDatagramsIsBoundedByTheirCount) {
    AnswerBudget budget;
    budget.reset(requestId);
    for (int i = 0; i < 100000; ++i) {
        budget.admit("{", "127.0.0.1");
    }
    // The overhead charge keeps a flood of one-byte datagrams to a bounded number of entries.
    EXPECT_LE(budget.storedCount(), AnswerBudget::defaultRelaxedBytes / overhead);
    EXPECT_EQ(budget.storedCount() + budget.droppedCount(), 100000u);
}

TEST(Budget, PastRelaxedLimitTheUuidOfTheIdIsEnough) {
    AnswerBudget budget(1000, 5000);
    budget.reset("h\xc3\xa9st-1b4e28ba-2fa1-4d2b-883f-0016d3cca427");
    EXPECT_TRUE(budget.admit(datagram(unit, false), "127.0.0.1"));
    // The server wrote the host name with an escape; the UUID still matches.
    EXPECT_TRUE(
        budget.admit(R"({"id":"h\u00e9st-1b4e28ba-2fa1-4d2b-883f-0016d3cca427"})", "127.0.0.1"));
    EXPECT_FALSE(
        budget.admit(R"({"id":"h\u00e9st-00000000-2fa1-4d2b-883f-0016d3cca427"})", "127.0.0.1"));
}

TEST(Budget, RecordsAreBoundedPerSocketAndPerSearch) {
    // Offers of answers with `records` records each, against a socket limit of 10 and a
    // search allowance of 15 shared with another socket that already took `taken`.
    const struct {
        std::size_t taken;
        std::vector<std::size_t> records;
        std::vector<bool> kept;
    } cases[] = {
        {0, {4, 4, 4}, {true, true, false}}, // the third passes the socket's 10
        {0, {10, 1}, {true, false}},         // exactly full: then nothing more
        {8, {4, 4}, {true, false}},          // the search's 15 end it first
        {15, {1}, {false}},                  // nothing left: not even parsed
        {0, {0, 0, 11, 2}, {true, true, false, true}},
    };
    for (const auto& c : cases) {
        AnswerBudget budget(1 << 20, 1 << 20, 10);
        budget.reset(requestId);
        std::size_t searchLeft = 15 - c.taken;
        std::size_t kept = 0;
        for (std::size_t i = 0; i < c.records.size(); ++i) {
            const bool admitted = budget.admit("{}", "127.0.0.1", &searchLeft) &&
                                  budget.admitRecords(c.records[i], &searchLeft);
            EXPECT_EQ(admitted, c.kept[i]) << "taken " << c.taken << ", offer " << i;
            kept += admitted ? c.records[i] : 0;
        }
        EXPECT_EQ(budget.recordCount(), kept);
        EXPECT_EQ(searchLeft, 15 - c.taken - kept);
        EXPECT_EQ(budget.storedCount() + budget.droppedCount(), c.records.size());
    }
}

TEST(Budget, ResetStartsAFreshSearch) {
    AnswerBudget budget(1000, 2000);
    budget.reset("old");
    EXPECT_TRUE(budget.admit(datagram(unit, false), "127.0.0.1"));
    EXPECT_FALSE(budget.admit(datagram(unit, false), "127.0.0.1"));
    budget.reset(requestId);
    EXPECT_EQ(budget.chargedBytes(), 0u);
    EXPECT_EQ(budget.droppedCount(), 0u);
    EXPECT_TRUE(budget.admit(datagram(unit, false), "127.0.0.1"));
}

} // namespace
} // namespace velmor
