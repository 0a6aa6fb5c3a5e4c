#include "app/auto_reset_event.h"

namespace velmor {

void AutoResetEvent::set() {
    {
        const std::lock_guard lock(mutex);
        signalled = true;
    }
    changed.notify_one();
}

void AutoResetEvent::wait() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return signalled; });
    signalled = false;
}

} // namespace velmor
