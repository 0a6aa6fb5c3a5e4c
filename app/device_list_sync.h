// The worker's pass: one search, then the device table and the sorted list box brought
// in step with it, every step reported in the action log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "app/action_log.h"
#include "app/device_search.h"
#include "app/device_selection.h"
#include "app/device_table.h"
#include "app/front_end.h"

namespace velmor {

// What the latest completed search of the window found, for the questions a user asks
// about it ("Why is nothing listed?", a row's record).
struct LastSearch {
    bool searched = false; // a search has completed
    SearchStatistics statistics;
    std::list<ServerInfo> servers;
    std::size_t listed = 0; // the devices it selected, each serial once
};

class DeviceListSync {
public:
    DeviceListSync(DeviceSearch& search, DeviceListControl& list, ActionLog& log,
                   SelectionMode mode = SelectionMode::window);

    // One pass on the worker thread. A pass whose search was stopped ends right after the
    // search, without touching the table or the list. Raises what the search raises.
    void runPass(std::stop_token stop);

    // The entry whose id is the list item data `itemData`, copied under the table's lock;
    // for the double click on the GUI thread.
    std::optional<DeviceEntry> entryForItemData(std::int64_t itemData) const;

    // A copy of the table, under its lock.
    DeviceTable tableSnapshot() const;

    // Also asks `host` (an IPv4 address) by unicast from the next pass on, beside the
    // multicast search; a host already asked is kept once. Callable from any thread.
    void addHost(const std::string& host);
    std::vector<std::string> hosts() const;

    // A copy of what the latest completed search found. Callable from any thread.
    LastSearch lastSearch() const;

private:
    void addPendingRows();
    void removeUnseenRows();

    DeviceSearch& deviceSearch;
    DeviceListControl& listBox;
    ActionLog& actionLog;
    SelectionMode selectionMode;
    // Guards `table` against the GUI thread's reads while the worker changes it. Never held
    // while the worker talks to the list or the log, which wait for the GUI thread.
    mutable std::mutex tableMutex;
    DeviceTable table;
    mutable std::mutex hostsMutex;
    std::vector<std::string> askedHosts;
    mutable std::mutex lastMutex;
    LastSearch last;
};

} // namespace velmor
