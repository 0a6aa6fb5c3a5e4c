// The main dialog's behaviour without a window system. A front end creates its window
// and controls, measures the widths, then feeds the controller its events; the
// controller runs the worker, the timer and the log and tells the window what to show.
#pragma once

#include <cstdint>
#include <optional>

#include "app/action_log.h"
#include "app/device_list_sync.h"
#include "app/device_search.h"
#include "app/dialog_layout.h"
#include "app/front_end.h"
#include "app/search_worker.h"

namespace velmor {

// The system command that closes a window (title-bar close box, Alt+F4, menu "Close").
inline constexpr int systemCommandClose = 0xF060;
// The list box's notification of a double click.
inline constexpr int listDoubleClick = 2;
// The search period.
inline constexpr std::chrono::milliseconds searchPeriod{10'000};

class FinderController {
public:
    FinderController(FinderWindow& window, DeviceListControl& list, LogControl& log,
                     PageOpener& opener, PeriodicTimer& timer, DeviceSearch& search);
    // Stops the timer and the worker and waits for the worker, whose pass may still be
    // talking to the list and the log: a front end destroys the controller only once its
    // controls return at once (see front_end.h), or from a thread other than its GUI
    // thread.
    ~FinderController();
    FinderController(const FinderController&) = delete;
    FinderController& operator=(const FinderController&) = delete;

    // The window exists: keeps its widths, starts the worker and the search timer and
    // posts the first search, which runs once the event loop does.
    void initialise(LogColumnWidths widths);

    // A command by id (IDC_* of resources/resource_ids.h); `notification` is looked at
    // only for the device list. Unknown ids, IDOK (Enter) and IDCANCEL (Escape) included,
    // do nothing.
    void command(int id, int notification = 0);
    // A tick of the search timer: as the "Search RBLKs" command.
    void timerTick();
    // A system-menu command: IDM_SHOW_LOG or systemCommandClose. Returns false for the
    // commands the window system handles itself (move, minimise, restore).
    bool systemCommand(int id);
    // The window is being destroyed: the worker is told to exit and the event loop ends
    // with exit status 0.
    void destroyed();

    // The device of the list row at `row`, found by the row's item data as a double click
    // finds it; none when the row carries no device of the table.
    std::optional<DeviceEntry> entryForRow(int row);

    bool logHidden() const { return logIsHidden; }
    ActionLog& actionLog() { return log; }
    const DeviceListSync& deviceList() const { return sync; }
    // Asks `host` (an IPv4 address) by unicast as well, from the next search on.
    void addHost(const std::string& host) { sync.addHost(host); }
    LastSearch lastSearch() const { return sync.lastSearch(); }

private:
    void setLogShown(bool shown);
    void openSelectedDevice();

    FinderWindow& finderWindow;
    DeviceListControl& listBox;
    PageOpener& pageOpener;
    PeriodicTimer& searchTimer;
    ActionLog log;
    DeviceListSync sync;
    SearchWorker worker;
    LogColumnWidths widths;
    bool logIsHidden = true;
};

} // namespace velmor
