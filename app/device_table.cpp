#include "app/device_table.h"

#include <algorithm>
#include <iterator>

#include "app/wide_text.h"

namespace velmor {

std::string deviceAddedLine(const std::string& serial) {
    return "device " + serial + " added";
}

std::string deviceRemovedLine(const std::string& serial) {
    return "device to be removed: " + serial;
}

DeviceTableChanges DeviceTable::synchronise(const std::vector<DeviceInfo>& selected) {
    clearSeen();
    DeviceTableChanges changes;
    changes.added = markSelected(selected);
    changes.removed = removeUnseen();
    return changes;
}

void DeviceTable::clearSeen() {
    for (DeviceEntry& entry : table) {
        entry.seen = 0;
    }
}

std::vector<DeviceEntry> DeviceTable::markSelected(const std::vector<DeviceInfo>& selected) {
    std::vector<DeviceEntry> added;
    for (const DeviceInfo& device : selected) {
        std::u16string serial = widenText(device.serial);
        const auto found =
            std::find_if(table.begin(), table.end(),
                         [&serial](const DeviceEntry& e) { return e.serial == serial; });
        if (found != table.end()) {
            found->seen = 1;
            continue;
        }
        DeviceEntry entry{
            1, 1, nextId, widenText(device.type), std::move(serial), widenText(device.address)};
        // Wraps instead of overflowing; ids repeat only after 2^32 new devices.
        nextId = static_cast<std::int32_t>(static_cast<std::uint32_t>(nextId) + 1U);
        // Into `added` first: an entry in the table that the caller does not know of
        // would never get its "added" line.
        added.push_back(entry);
        try {
            table.push_back(std::move(entry));
        } catch (...) {
            added.pop_back();
            throw;
        }
    }
    return added;
}

std::vector<DeviceEntry> DeviceTable::removeUnseen() {
    const auto firstUnseen = std::stable_partition(
        table.begin(), table.end(), [](const DeviceEntry& entry) { return entry.seen != 0; });
    std::vector<DeviceEntry> removed(std::make_move_iterator(firstUnseen),
                                     std::make_move_iterator(table.end()));
    table.erase(firstUnseen, table.end());
    return removed;
}

void DeviceTable::markListed(std::int32_t id) {
    for (DeviceEntry& entry : table) {
        if (entry.id == id) {
            entry.isNew = 0;
            return;
        }
    }
}

void DeviceTable::erase(std::int32_t id) {
    std::erase_if(table, [id](const DeviceEntry& entry) { return entry.id == id; });
}

const DeviceEntry* DeviceTable::findByItemData(std::int64_t itemData) const {
    const auto found =
        std::find_if(table.begin(), table.end(), [itemData](const DeviceEntry& entry) {
            return static_cast<std::int64_t>(entry.id) == itemData;
        });
    return found == table.end() ? nullptr : &*found;
}

} // namespace velmor
