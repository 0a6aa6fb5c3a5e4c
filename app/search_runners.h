// How often a search runs: once, until a device turns up, or every period.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

#include "app/device_search.h"
#include "app/device_selection.h"
#include "app/front_end.h"

namespace velmor {

using SteadyNow = std::function<std::chrono::steady_clock::time_point()>;

// Searches again and again, each time with a new request and for at most roundMs, until
// a search lists a device that `mode` selects or settings.timeoutMs have passed; a data
// server answers only requests, so an instrument that boots later is found by a later
// search. Each search ends at the first answer that lists such a device. Gives the last
// search's result, which is a failed search's when one could send no request. Raises
// what the search raises.
SearchResult searchUntilFirst(DeviceSearch& search, const SearchSettings& settings,
                              SelectionMode mode, std::stop_token stop = {},
                              const SteadyNow& now = std::chrono::steady_clock::now);

// The length of each search of searchUntilFirst(): as long as the window's search.
inline constexpr std::int64_t untilFirstRoundMs = 2000;

// A periodic timer on a thread of its own, for front ends without an event loop: the
// ticks run on that thread.
class ThreadTimer : public PeriodicTimer {
public:
    ~ThreadTimer() override;
    void start(std::chrono::milliseconds period, std::function<void()> onTick) override;
    // Waits for a tick that is running.
    void stop() override;

private:
    std::jthread thread;
};

} // namespace velmor
