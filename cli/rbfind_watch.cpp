#include "cli/rbfind_watch.h"

#if defined(_WIN32)
#include <atomic>
#include <thread>
#else
#include <pthread.h>
#endif

#include <chrono>
#include <csignal>
#include <iostream>
#include <stdexcept>
#include <string>

#include "app/device_search.h"
#include "app/device_selection.h"
#include "app/device_table.h"
#include "app/search_runners.h"
#include "app/search_worker.h"
#include "app/wide_text.h"
#include "cli/rbfind_search.h"
#include "cli/terminal_text.h"
#include "cli/timestamp.h"

namespace velmor::cli {

namespace {

void writeLine(std::ostream& out, const std::string& text) {
    out << localTimestamp(std::chrono::system_clock::now()) << ' ' << text << '\n';
    out.flush();
}

#if defined(_WIN32)

std::atomic<bool> stopSignalled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "used in a signal handler");

extern "C" void onStopSignal(int) {
    stopSignalled = true;
}

// Windows has no sigwait: a handler sets a flag that is looked at every 50 ms.
class StopSignals {
public:
    StopSignals() {
        for (const int signalNumber : {SIGINT, SIGTERM}) {
            if (std::signal(signalNumber, onStopSignal) == SIG_IGN) {
                std::signal(signalNumber, SIG_IGN);
            }
        }
    }
    void wait() const {
        while (!stopSignalled) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
};

#else

// SIGINT and SIGTERM, blocked before any thread starts so that every thread inherits the
// mask and the signals wait for sigwait. A signal that the shell which started us in the
// background ignores stays ignored.
class StopSignals {
public:
    StopSignals() {
        sigemptyset(&signals);
        for (const int signalNumber : {SIGINT, SIGTERM}) {
            struct sigaction current {};
            if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
                sigaddset(&signals, signalNumber);
            }
        }
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    }
    void wait() const {
        int received = 0;
        while (sigwait(&signals, &received) != 0) {
        }
    }

private:
    sigset_t signals{};
};

#endif

} // namespace

void watchDevices(const RbfindOptions& options) {
    const StopSignals stopSignals; // before any thread starts

    const SelectionMode mode = selectionModeOf(options);
    const SearchSettings settings = searchSettingsOf(options);
    MulticastDeviceSearch deviceSearch;
    DeviceTable table;
    SearchWorker worker(
        [&](std::stop_token stop) {
            const SearchResult result = deviceSearch.search(settings, stop);
            if (result.cancelled) {
                return;
            }
            if (result.failed()) {
                // A failed search tells nothing about the devices: the table stays as it is.
                throw std::runtime_error("no discovery request could be sent");
            }
            const DeviceTableChanges changes =
                table.synchronise(selectDevices(result.servers, mode));
            for (const DeviceEntry& entry : changes.added) {
                writeLine(std::cout, terminalSafe(deviceAddedLine(narrowText(entry.serial))));
            }
            for (const DeviceEntry& entry : changes.removed) {
                writeLine(std::cout, terminalSafe(deviceRemovedLine(narrowText(entry.serial))));
            }
        },
        [](const std::string& error) {
            writeLine(std::cerr, "rbfind: search failed: " + terminalSafe(error));
        });
    worker.start();
    worker.signal();
    ThreadTimer timer;
    timer.start(std::chrono::seconds(options.watchSeconds), [&worker] { worker.signal(); });

    stopSignals.wait();
    timer.stop();
    worker.requestExit();
    worker.join();
}

} // namespace velmor::cli
