// One finder session, the same under every window: the controller (which owns the action
// log) and the console capture (whose reader writes into that log), started and ended in
// the one order that keeps the log alive while anything can still write to it.
#pragma once

#include <functional>
#include <memory>

#include "app/console_capture.h"
#include "app/device_search.h"
#include "app/dialog_layout.h"
#include "app/finder_controller.h"
#include "app/front_end.h"

namespace velmor {

class FinderSession {
public:
    // Runs `ending` on a thread other than the GUI thread and returns when it has ended,
    // serving the GUI thread's calls meanwhile (the worker and the reader may be waiting
    // for them). A front end that cannot start a thread may return without running it:
    // the process then ends with its threads.
    using ServeWhile = std::function<void(const std::function<void()>& ending)>;

    // Makes the controller over the window's parts; nothing runs yet.
    FinderSession(FinderWindow& window, DeviceListControl& list, LogControl& log,
                  PageOpener& opener, PeriodicTimer& timer, DeviceSearch& search,
                  CapturedStreams streams = {});
    // A session not ended by end() ends here, on the calling thread: only for a caller
    // whose controls no longer wait for it.
    ~FinderSession();
    FinderSession(const FinderSession&) = delete;
    FinderSession& operator=(const FinderSession&) = delete;

    // Once the window and its controls exist, before it is shown: the controller starts
    // the worker and the timer and posts the first search, then the capture redirects
    // the streams (its first act writes to the log pane).
    void start(LogColumnWidths widths);

    // After the event loop: the capture ends first, since its reader appends to the
    // controller's log, then the controller and its worker; both through `serveWhile`.
    void end(const ServeWhile& serveWhile);

    FinderController& controller() { return *finder; }
    ActionLog& actionLog() { return finder->actionLog(); }

private:
    void endInOrder();

    CapturedStreams captured;
    std::unique_ptr<FinderController> finder;
    std::unique_ptr<ConsoleCapture> capture;
};

} // namespace velmor
