// Searching until a device turns up, with a search that moves a fake clock on by the
// time each search would take.
#include "app/search_runners.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/records.h"

namespace velmor {
namespace {

using Clock = std::chrono::steady_clock;

class ClockedSearch : public DeviceSearch {
public:
    explicit ClockedSearch(int deviceInSearch) : deviceIn(deviceInSearch) {}

    SearchResult search(const SearchSettings& settings, std::stop_token) override {
        rounds.push_back(settings.timeoutMs);
        stopWhenSet = stopWhenSet && static_cast<bool>(settings.stopWhen);
        now += std::chrono::milliseconds(settings.timeoutMs);
        SearchResult result;
        if (deviceIn >= 0) { // a negative number: no request could be sent
            result.requestId = "host-" + std::to_string(rounds.size());
        }
        if (static_cast<int>(rounds.size()) == deviceIn) {
            result.servers = {testing::server("", {testing::device("")})};
        }
        return result;
    }

    Clock::time_point now{};
    std::vector<std::int64_t> rounds;
    bool stopWhenSet = true;

private:
    int deviceIn;
};

struct UntilFirstCase {
    const char* name;
    std::int64_t timeoutMs;
    int deviceInSearch; // 0: never; -1: every search fails
    std::vector<std::int64_t> rounds;
};

class UntilFirst : public ::testing::TestWithParam<UntilFirstCase> {};

TEST_P(UntilFirst, AsksAgainEveryTwoSecondsUntilADeviceOrTheTimeout) {
    const UntilFirstCase& c = GetParam();
    ClockedSearch search(c.deviceInSearch);
    SearchSettings settings;
    settings.timeoutMs = c.timeoutMs;
    const SearchResult result = searchUntilFirst(search, settings, SelectionMode::window, {},
                                                 [&search] { return search.now; });
    EXPECT_EQ(search.rounds, c.rounds);
    EXPECT_TRUE(search.stopWhenSet);
    if (c.deviceInSearch >= 0) {
        EXPECT_EQ(result.requestId, "host-" + std::to_string(c.rounds.size())); // the last one's
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UntilFirst,
    ::testing::Values(UntilFirstCase{"NothingWithinFiveSeconds", 5000, 0, {2000, 2000, 1000}},
                      UntilFirstCase{"FoundInTheSecondSearch", 60000, 2, {2000, 2000}},
                      UntilFirstCase{"FoundInTheFirst", 60000, 1, {2000}},
                      UntilFirstCase{"ZeroTimeoutSearchesOnce", 0, 0, {0}},
                      UntilFirstCase{"ExactlyOneRound", 2000, 0, {2000}},
                      UntilFirstCase{"AFailedSearchEndsIt", 60000, -1, {2000}}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace
} // namespace velmor
