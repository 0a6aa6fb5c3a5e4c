// The worker thread that runs one search pass each time it is signalled.
#pragma once

#include <atomic>
#include <functional>
#include <stop_token>
#include <string>
#include <thread>

#include "app/auto_reset_event.h"

namespace velmor {

class SearchWorker {
public:
    // One pass: a search and what follows from it. The stop token is triggered when the
    // worker is asked to exit; a pass should then end soon and change nothing more.
    using Pass = std::function<void(std::stop_token)>;
    // Told the error text of a pass that raised; the worker then waits for the next signal.
    using ErrorReport = std::function<void(const std::string&)>;

    SearchWorker(Pass pass, ErrorReport reportError);
    // Asks the thread to exit and waits for it.
    ~SearchWorker();
    SearchWorker(const SearchWorker&) = delete;
    SearchWorker& operator=(const SearchWorker&) = delete;

    // Starts the thread, which waits for the first signal. Once only.
    void start();
    // Asks for a search. Signals that come during a pass yield one more pass after it.
    void signal();
    // Sets exitRequested, stops a running pass and wakes the thread, which then ends
    // without searching again. Callable from any thread.
    void requestExit();
    // Waits for the thread to end; requestExit() first.
    void join();

    // The number of passes begun; for tests and diagnostics.
    int passesStarted() const { return started.load(); }

private:
    void threadBody(std::stop_token stop);

    Pass runPass;
    ErrorReport report;
    AutoResetEvent searchEvent;
    std::atomic<bool> exitRequested{false};
    std::atomic<int> started{0};
    std::jthread thread;
};

} // namespace velmor
