#include "app/device_list_sync.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "app/wide_text.h"

namespace velmor {

namespace {

// The device's row, bounded by the format buffer as the list box's text is.
std::u16string rowText(const DeviceEntry& entry) {
    return joinLine(u"", deviceRowText(entry.type, entry.serial, entry.address), u"");
}

} // namespace

DeviceListSync::DeviceListSync(DeviceSearch& search, DeviceListControl& list, ActionLog& log,
                               SelectionMode mode)
    : deviceSearch(search), listBox(list), actionLog(log), selectionMode(mode) {}

void DeviceListSync::runPass(std::stop_token stop) {
    actionLog.append(u"Searching for devices ...", true);

    std::list<ServerInfo> servers;
    {
        // The search object lives only for this block, on this thread.
        SearchSettings settings;
        settings.additionalHosts = hosts();
        SearchResult result = deviceSearch.search(settings, stop);
        if (result.cancelled || stop.stop_requested()) {
            return;
        }
        servers = std::move(result.servers);
        const std::lock_guard lock(lastMutex);
        last.searched = true;
        last.statistics = std::move(result.statistics);
        last.servers = servers;
    }
    const std::vector<DeviceInfo> selected = selectDevices(servers, selectionMode);
    {
        const std::lock_guard lock(lastMutex);
        last.listed = uniqueBySerial(selected).size();
    }

    // Nothing reads the seen flags during the search, so clearing them once it has
    // returned is the same as before it, and a stopped search leaves them as they were.
    std::vector<DeviceEntry> added;
    {
        const std::lock_guard lock(tableMutex);
        table.clearSeen();
        added = table.markSelected(selected);
    }
    std::size_t announced = 0;
    try {
        for (; announced < added.size(); ++announced) {
            actionLog.append(joinLine(u"device ", added[announced].serial, u" added\n"), false);
        }
    } catch (...) {
        // A device stays in the table only with its "added" line: the others are found
        // anew, and announced, by the next search.
        const std::lock_guard lock(tableMutex);
        for (std::size_t at = announced; at < added.size(); ++at) {
            table.erase(added[at].id);
        }
        throw;
    }
    if (selected.empty()) {
        actionLog.append(u"No devices connected", true);
    }
    addPendingRows();
    removeUnseenRows();
}

void DeviceListSync::addPendingRows() {
    // Only this thread changes the table, so it reads it without the lock; the size does
    // not change before the removals.
    const std::vector<DeviceEntry>& entries = table.entries();
    for (std::size_t at = 0; at < entries.size(); ++at) {
        const DeviceEntry& entry = entries[at];
        if (entry.isNew == 0) {
            continue;
        }
        const int index = listBox.addString(rowText(entry));
        // Every negative result is a failure, LB_ERRSPACE too: a device counted as listed
        // without a row would stay invisible until it vanished. The line carries the value
        // the list returned.
        if (index < 0) {
            actionLog.append(formatLine(u"device: ", entry.serial,
                                        u" not added ~ LB_ERR (" + decimalText(index) + u")\n"),
                             false);
            continue; // still pending: tried again after the next search
        }
        listBox.setItemData(index, entry.id);
        const std::lock_guard lock(tableMutex);
        table.markListed(entry.id);
    }
}

void DeviceListSync::removeUnseenRows() {
    int count = listBox.count();
    actionLog.append(u"devices in list: " + decimalText(count) + u"\n", false);
    for (const DeviceEntry& entry : table.entries()) {
        if (entry.seen != 0) {
            continue;
        }
        actionLog.append(formatLine(u"device to be removed: ", entry.serial, u"\n"), false);
        // Only the first row carrying the entry's id goes; none when its add had failed.
        for (int row = 0; row < count; ++row) {
            if (listBox.itemData(row) == static_cast<std::int64_t>(entry.id)) {
                actionLog.append(u"matching record " + decimalText(row) + u"\n", false);
                listBox.deleteString(row);
                --count;
                break;
            }
        }
    }
    const std::lock_guard lock(tableMutex);
    table.removeUnseen();
}

std::optional<DeviceEntry> DeviceListSync::entryForItemData(std::int64_t itemData) const {
    const std::lock_guard lock(tableMutex);
    const DeviceEntry* entry = table.findByItemData(itemData);
    return entry != nullptr ? std::optional<DeviceEntry>(*entry) : std::nullopt;
}

LastSearch DeviceListSync::lastSearch() const {
    const std::lock_guard lock(lastMutex);
    return last;
}

void DeviceListSync::addHost(const std::string& host) {
    const std::lock_guard lock(hostsMutex);
    if (std::find(askedHosts.begin(), askedHosts.end(), host) == askedHosts.end()) {
        askedHosts.push_back(host);
    }
}

std::vector<std::string> DeviceListSync::hosts() const {
    const std::lock_guard lock(hostsMutex);
    return askedHosts;
}

DeviceTable DeviceListSync::tableSnapshot() const {
    const std::lock_guard lock(tableMutex);
    return table;
}

} // namespace velmor
