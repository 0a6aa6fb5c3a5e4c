// The table of listed devices and how one search brings it up to date, without the list
// box: the window's pass adds and removes list rows around these steps, rbfind --watch
// prints the changes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/device_info.h"

namespace velmor {

// One listed device. The texts are widened from the record's bytes (widenText).
struct DeviceEntry {
    std::int32_t seen = 0;  // found by the current search
    std::int32_t isNew = 1; // no list row yet (its add has not succeeded)
    std::int32_t id = 0;    // the list row's item data; never reused
    std::u16string type;
    std::u16string serial; // the key that matches searches to entries; case counts
    std::u16string address;

    friend bool operator==(const DeviceEntry&, const DeviceEntry&) = default;
};

// What one pass changed, each in table order.
struct DeviceTableChanges {
    std::vector<DeviceEntry> added;
    std::vector<DeviceEntry> removed;
};

// rbfind's lines of a change, without line end.
std::string deviceAddedLine(const std::string& serial);   // "device SERIAL added"
std::string deviceRemovedLine(const std::string& serial); // "device to be removed: SERIAL"

class DeviceTable {
public:
    // A whole pass without list rows: clearSeen(), markSelected(), removeUnseen().
    DeviceTableChanges synchronise(const std::vector<DeviceInfo>& selected);

    // The steps of a pass, for a caller that keeps list rows in between.
    void clearSeen();
    // Marks the entry of every selected serial (the first entry whose widened serial is
    // equal) as seen and appends an entry for each serial not in the table, with the next
    // id. An entry found again keeps the type and address it was created with. Returns
    // the new entries.
    std::vector<DeviceEntry> markSelected(const std::vector<DeviceInfo>& selected);
    // Removes the entries not seen, keeping the order of the rest; returns them.
    std::vector<DeviceEntry> removeUnseen();

    // The list row of entry `id` was added.
    void markListed(std::int32_t id);
    // Drops the entry with `id`, if any.
    void erase(std::int32_t id);

    const std::vector<DeviceEntry>& entries() const { return table; }
    // The first entry whose id, widened with its sign, equals `itemData`; or null.
    const DeviceEntry* findByItemData(std::int64_t itemData) const;
    std::int32_t nextDeviceId() const { return nextId; }

private:
    std::vector<DeviceEntry> table;
    std::int32_t nextId = 0;
};

} // namespace velmor
