#include "app/search_runners.h"

#include <algorithm>
#include <utility>

namespace velmor {

SearchResult searchUntilFirst(DeviceSearch& search, const SearchSettings& settings,
                              SelectionMode mode, std::stop_token stop, const SteadyNow& now) {
    const auto end = now() + std::chrono::milliseconds(settings.timeoutMs);
    SearchSettings round = settings;
    round.stopWhen = [mode](const std::list<ServerInfo>& servers) {
        return anyDeviceSelected(servers, mode);
    };
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - now()).count();
        round.timeoutMs = std::clamp<std::int64_t>(left, 0, untilFirstRoundMs);
        SearchResult result = search.search(round, stop);
        // A search that could send nothing ends at once: asking again would only spin.
        if (left <= untilFirstRoundMs || result.failed() || result.cancelled ||
            stop.stop_requested() || anyDeviceSelected(result.servers, mode)) {
            return result;
        }
    }
}

ThreadTimer::~ThreadTimer() {
    stop();
}

void ThreadTimer::start(std::chrono::milliseconds period, std::function<void()> onTick) {
    stop();
    thread = std::jthread([period, tick = std::move(onTick)](std::stop_token stopToken) {
        std::mutex mutex;
        std::condition_variable_any stopped;
        auto next = std::chrono::steady_clock::now() + period;
        std::unique_lock lock(mutex);
        for (;;) {
            stopped.wait_until(lock, stopToken, next, [] { return false; });
            if (stopToken.stop_requested()) {
                return;
            }
            tick();
            // A tick that took longer than the period is followed by the next at once.
            next = std::max(next + period, std::chrono::steady_clock::now());
        }
    });
}

void ThreadTimer::stop() {
    if (thread.joinable()) {
        thread.request_stop();
        thread.join();
    }
}

} // namespace velmor
