#include "app/search_worker.h"

#include <exception>
#include <utility>

namespace velmor {

SearchWorker::SearchWorker(Pass pass, ErrorReport reportError)
    : runPass(std::move(pass)), report(std::move(reportError)) {}

SearchWorker::~SearchWorker() {
    requestExit();
    join();
}

void SearchWorker::start() {
    if (!thread.joinable()) {
        thread = std::jthread([this](std::stop_token stop) { threadBody(std::move(stop)); });
    }
}

void SearchWorker::signal() {
    searchEvent.set();
}

void SearchWorker::requestExit() {
    // exitRequested is written before the event is signalled; the worker reads it only
    // after its wait returns, so the event orders the two.
    exitRequested = true;
    thread.request_stop();
    searchEvent.set();
}

void SearchWorker::join() {
    if (thread.joinable()) {
        thread.join();
    }
}

void SearchWorker::threadBody(std::stop_token stop) {
    for (;;) {
        searchEvent.wait();
        if (exitRequested) {
            return;
        }
        ++started;
        std::string error;
        try {
            runPass(stop);
            continue;
        } catch (const std::exception& raised) {
            error = raised.what();
        } catch (...) {
            error = "unknown error";
        }
        // The search object went with the unwinding; the next signal starts afresh. A
        // report that fails in turn must not end the thread.
        try {
            report(error);
        } catch (...) {
        }
    }
}

} // namespace velmor
