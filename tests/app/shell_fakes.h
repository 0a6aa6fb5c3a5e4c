// Fakes of what a front end gives the shell, recording what the shell does with them.
// All are safe to call from the worker and capture threads.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/device_search.h"
#include "app/device_selection.h"
#include "app/front_end.h"
#include "app/wide_text.h"

namespace velmor::testing {

// Waits for a condition on state guarded by `mutex`; a generous bound only keeps a broken
// test from hanging, it measures nothing.
template <typename Predicate>
bool waitUntil(std::condition_variable& changed, std::unique_lock<std::mutex>& lock,
               Predicate predicate) {
    return changed.wait_for(lock, std::chrono::seconds(60), predicate);
}

// A sorted list box: rows sort as compareRowTexts() orders them, a new row goes behind
// its equals.
class FakeDeviceList : public DeviceListControl {
public:
    struct Row {
        std::u16string text;
        std::int64_t data = 0;
    };

    int addString(std::u16string_view text) override {
        const std::lock_guard lock(mutex);
        if (failAdds > 0) {
            --failAdds;
            return addFailure;
        }
        const auto at = std::upper_bound(
            rows.begin(), rows.end(), text,
            [](std::u16string_view t, const Row& row) { return compareRowTexts(t, row.text) < 0; });
        const auto index = at - rows.begin();
        rows.insert(at, Row{std::u16string(text), 0});
        return static_cast<int>(index);
    }
    void setItemData(int index, std::int64_t data) override {
        const std::lock_guard lock(mutex);
        if (valid(index)) {
            rows[static_cast<std::size_t>(index)].data = data;
        }
    }
    std::int64_t itemData(int index) override {
        const std::lock_guard lock(mutex);
        return valid(index) ? rows[static_cast<std::size_t>(index)].data : listError;
    }
    int count() override {
        const std::lock_guard lock(mutex);
        return failCount ? listError : static_cast<int>(rows.size());
    }
    void deleteString(int index) override {
        const std::lock_guard lock(mutex);
        if (valid(index)) {
            rows.erase(rows.begin() + index);
        }
    }
    int selectedIndex() override {
        const std::lock_guard lock(mutex);
        return selected;
    }

    // "TEXT=DATA" of every row, in list order.
    std::vector<std::string> describe() {
        const std::lock_guard lock(mutex);
        std::vector<std::string> out;
        for (const Row& row : rows) {
            out.push_back(narrowText(row.text) + "=" + std::to_string(row.data));
        }
        return out;
    }
    void select(int index) {
        const std::lock_guard lock(mutex);
        selected = index;
    }
    // The next `n` adds fail with `result` (listError or listErrorSpace).
    void failNextAdds(int n, int result = listError) {
        const std::lock_guard lock(mutex);
        failAdds = n;
        addFailure = result;
    }
    void failCounts(bool fail) {
        const std::lock_guard lock(mutex);
        failCount = fail;
    }
    // Adds a row directly, as if another pass had.
    void addRow(std::u16string text, std::int64_t data) {
        const std::lock_guard lock(mutex);
        rows.push_back(Row{std::move(text), data});
    }

private:
    bool valid(int index) const {
        return index >= 0 && static_cast<std::size_t>(index) < rows.size();
    }

    std::mutex mutex;
    std::vector<Row> rows;
    int selected = listError;
    int failAdds = 0;
    int addFailure = listError;
    bool failCount = false;
};

// A log pane with an edit control's selection rules.
class FakeLog : public LogControl {
public:
    std::uint32_t textLength() override {
        const std::lock_guard lock(mutex);
        return static_cast<std::uint32_t>(content.size());
    }
    void setSelection(std::int32_t start, std::int32_t end) override {
        const std::lock_guard lock(mutex);
        selectionStart = clamp(start);
        selectionEnd = std::max(selectionStart, clamp(end));
    }
    void replaceSelection(std::u16string_view text) override {
        {
            const std::lock_guard lock(mutex);
            if (!failOn.empty() && narrowText(text).find(failOn) != std::string::npos) {
                failOn.clear();
                throw std::runtime_error("the pane failed");
            }
            replacements.emplace_back(text);
            content.replace(selectionStart, selectionEnd - selectionStart, text);
            selectionStart += text.size();
            selectionEnd = selectionStart;
        }
        changed.notify_all();
    }
    void setText(std::u16string_view text) override {
        {
            const std::lock_guard lock(mutex);
            content = text;
            selectionStart = selectionEnd = content.size();
        }
        changed.notify_all();
    }

    std::u16string wide() {
        const std::lock_guard lock(mutex);
        return content;
    }
    std::string text() { return narrowText(wide()); }
    // The next replacement that contains `part` throws instead.
    void failOnce(std::string part) {
        const std::lock_guard lock(mutex);
        failOn = std::move(part);
    }
    // Every text that replaced a selection, in order.
    std::vector<std::u16string> replaced() {
        const std::lock_guard lock(mutex);
        return replacements;
    }
    // Waits until the text contains `part`; false if it never does.
    bool waitForText(const std::string& part) {
        std::unique_lock lock(mutex);
        return waitUntil(changed, lock,
                         [&] { return narrowText(content).find(part) != std::string::npos; });
    }

private:
    std::size_t clamp(std::int32_t position) const {
        return position < 0 ? content.size()
                            : std::min(static_cast<std::size_t>(position), content.size());
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::u16string content;
    std::string failOn;
    std::size_t selectionStart = 0;
    std::size_t selectionEnd = 0;
    std::vector<std::u16string> replacements;
};

// A search that answers from a script, one entry per call; an entry with an error text
// raises it. Past the script it returns nothing found. With hold(), each call waits for
// release() first, so a test can act while a search runs.
class FakeSearch : public DeviceSearch {
public:
    struct Answer {
        std::list<ServerInfo> servers;
        std::string error; // raised instead when not empty
    };

    SearchResult search(const SearchSettings& settings, std::stop_token stop) override {
        Answer answer;
        const std::stop_callback wake(stop, [this] {
            { const std::lock_guard lock(mutex); }
            changed.notify_all();
        });
        {
            std::unique_lock lock(mutex);
            settingsSeen.push_back(settings);
            changed.notify_all();
            waitUntil(changed, lock, [&] { return !held || stop.stop_requested(); });
            if (!script.empty()) {
                answer = std::move(script.front());
                script.pop_front();
            }
        }
        if (!answer.error.empty()) {
            throw std::runtime_error(answer.error);
        }
        SearchResult result;
        result.requestId = "host-1";
        result.servers = std::move(answer.servers);
        result.cancelled = stop.stop_requested();
        return result;
    }

    void add(Answer answer) {
        const std::lock_guard lock(mutex);
        script.push_back(std::move(answer));
    }
    void hold() {
        const std::lock_guard lock(mutex);
        held = true;
    }
    void release() {
        {
            const std::lock_guard lock(mutex);
            held = false;
        }
        changed.notify_all();
    }
    // Waits until `calls` searches have begun.
    bool waitForCalls(std::size_t calls) {
        std::unique_lock lock(mutex);
        return waitUntil(changed, lock, [&] { return settingsSeen.size() >= calls; });
    }
    std::size_t calls() {
        const std::lock_guard lock(mutex);
        return settingsSeen.size();
    }
    // The settings of every search so far, in order.
    std::vector<SearchSettings> settings() {
        const std::lock_guard lock(mutex);
        return settingsSeen;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Answer> script;
    std::vector<SearchSettings> settingsSeen;
    bool held = false;
};

class FakeOpener : public PageOpener {
public:
    void open(std::u16string_view url) override { opened.push_back(narrowText(url)); }
    std::vector<std::string> opened;
};

// A timer that ticks only when the test says so.
class FakeTimer : public PeriodicTimer {
public:
    void start(std::chrono::milliseconds every, std::function<void()> onTick) override {
        period = every;
        tick = std::move(onTick);
    }
    void stop() override { stopped = true; }
    std::chrono::milliseconds period{0};
    std::function<void()> tick;
    bool stopped = false;
};

class FakeWindow : public FinderWindow {
public:
    void showLogColumn(bool shown, int width) override {
        calls.push_back(std::string(shown ? "show " : "hide ") + std::to_string(width));
    }
    void postCommand(int commandId) override { posted.push_back(commandId); }
    void destroy() override {
        calls.push_back("destroy");
        if (onDestroy) {
            onDestroy();
        }
    }
    void quit(int exitCode) override { calls.push_back("quit " + std::to_string(exitCode)); }

    std::vector<std::string> calls;
    std::vector<int> posted;
    std::function<void()> onDestroy; // the front end's WM_DESTROY
};

} // namespace velmor::testing
