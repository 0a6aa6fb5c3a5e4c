// An event that wakes one waiter and resets itself, as the worker's searchEvent.
#pragma once

#include <condition_variable>
#include <mutex>

namespace velmor {

class AutoResetEvent {
public:
    // Signals the event; signals that come while it is already signalled collapse into
    // one.
    void set();
    // Waits until the event is signalled, then resets it.
    void wait();

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled = false;
};

} // namespace velmor
