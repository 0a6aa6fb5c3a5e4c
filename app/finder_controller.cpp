#include "app/finder_controller.h"

#include <string>

#include "app/wide_text.h"
#include "resources/resource_ids.h"

namespace velmor {

FinderController::FinderController(FinderWindow& window, DeviceListControl& list, LogControl& pane,
                                   PageOpener& opener, PeriodicTimer& timer, DeviceSearch& search)
    : finderWindow(window), listBox(list), pageOpener(opener), searchTimer(timer), log(pane),
      sync(search, list, log),
      worker([this](std::stop_token stop) { sync.runPass(std::move(stop)); },
             [this](const std::string& error) {
                 log.append(u"Search failed: " + widenText(error), true);
             }) {}

FinderController::~FinderController() {
    searchTimer.stop();
    worker.requestExit();
    worker.join();
}

void FinderController::initialise(LogColumnWidths measured) {
    widths = measured;
    worker.start();
    searchTimer.start(searchPeriod, [this] { timerTick(); });
    finderWindow.postCommand(IDC_SEARCH);
}

void FinderController::command(int id, int notification) {
    switch (id) {
    case IDC_DEVICE_LIST:
        if (notification == listDoubleClick) {
            openSelectedDevice();
        }
        break;
    case IDC_HIDE_LOG:
        if (!logIsHidden) {
            setLogShown(false);
        }
        break;
    case IDC_SEARCH:
        worker.signal();
        break;
    case IDC_CLEAR_LOG:
        log.clear();
        break;
    case IDC_EXIT:
        finderWindow.destroy();
        break;
    default:
        break; // IDOK and IDCANCEL too: Enter and Escape do nothing
    }
}

void FinderController::timerTick() {
    command(IDC_SEARCH);
}

bool FinderController::systemCommand(int id) {
    switch (id & 0xFFFF) {
    case IDM_SHOW_LOG:
        if (logIsHidden) {
            setLogShown(true);
        }
        return true;
    case systemCommandClose:
        finderWindow.destroy();
        return true;
    default:
        return false;
    }
}

void FinderController::destroyed() {
    searchTimer.stop();
    worker.requestExit();
    finderWindow.quit(0);
}

void FinderController::setLogShown(bool shown) {
    finderWindow.showLogColumn(shown, shown ? widths.expanded : widths.compact);
    logIsHidden = !shown;
}

std::optional<DeviceEntry> FinderController::entryForRow(int row) {
    if (row < 0) {
        return std::nullopt;
    }
    return sync.entryForItemData(listBox.itemData(row));
}

void FinderController::openSelectedDevice() {
    const int selected = listBox.selectedIndex();
    if (selected == DeviceListControl::listError) {
        return;
    }
    const std::optional<DeviceEntry> entry = sync.entryForItemData(listBox.itemData(selected));
    if (!entry) {
        return;
    }
    log.append(u"Doble click on " + entry->serial + u"\n", false);
    // The address is used as it stands: the records only ever hold IPv4 texts.
    pageOpener.open(u"http://" + entry->address + u"/");
}

} // namespace velmor
