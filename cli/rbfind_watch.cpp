#include "cli/rbfind_watch.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <thread>

#include "app/device_selection.h"
#include "app/device_table.h"
#include "cli/rbfind_search.h"
#include "cli/terminal_text.h"
#include "cli/timestamp.h"

namespace velmor::cli {

namespace {

// A stop signal ends the process at once, unless a line is being written: then the
// writer finishes the line and ends the process itself. The search cannot be cancelled,
// and nothing it holds needs more than the process end to be released.
std::atomic<bool> stopRequested{false};
std::atomic<bool> writingLine{false};
static_assert(std::atomic<bool>::is_always_lock_free, "used in a signal handler");

extern "C" void onStopSignal(int) {
    stopRequested = true;
    if (!writingLine) {
        std::_Exit(0);
    }
}

void installStopHandler(int signalNumber) {
    // A shell that started us in the background with the signal ignored keeps it so.
    if (std::signal(signalNumber, onStopSignal) == SIG_IGN) {
        std::signal(signalNumber, SIG_IGN);
    }
}

void writeLine(std::ostream& out, const std::string& text) {
    writingLine = true;
    out << localTimestamp(std::chrono::system_clock::now()) << ' ' << text << '\n';
    out.flush();
    writingLine = false;
    if (stopRequested) {
        std::_Exit(0);
    }
}

} // namespace

void watchDevices(const RbfindOptions& options) {
    installStopHandler(SIGINT);
    installStopHandler(SIGTERM);

    const SelectionMode mode = selectionModeOf(options);
    const auto period = std::chrono::seconds(options.watchSeconds);
    DeviceTable table;
    auto nextSearch = std::chrono::steady_clock::now();
    for (;;) {
        try {
            const SearchOutcome outcome = searchOnce(options);
            const DeviceTableChanges changes =
                table.synchronise(selectDevices(outcome.servers, mode));
            for (const DeviceEntry& entry : changes.added) {
                writeLine(std::cout, terminalSafe(deviceAddedLine(entry.serial)));
            }
            for (const DeviceEntry& entry : changes.removed) {
                writeLine(std::cout, terminalSafe(deviceRemovedLine(entry.serial)));
            }
        } catch (const std::exception& error) {
            // A failed search tells nothing about the devices: the table stays as it is.
            writeLine(std::cerr, "rbfind: search failed: " + terminalSafe(error.what()));
        }
        nextSearch += period;
        const auto now = std::chrono::steady_clock::now();
        if (nextSearch < now) {
            nextSearch = now; // a search longer than the period: the next starts at once
        }
        std::this_thread::sleep_until(nextSearch);
    }
}

} // namespace velmor::cli
