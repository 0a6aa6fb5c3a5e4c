#include "app/device_selection.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <type_traits>
#include <unordered_set>

#include <boost/algorithm/string/predicate.hpp>

#include "protocol/device_family.h"

namespace velmor {

namespace {

template <typename Char>
std::basic_string<Char> rowText(std::basic_string_view<Char> type,
                                std::basic_string_view<Char> serial,
                                std::basic_string_view<Char> address) {
    const auto field = [](std::basic_string_view<Char> value) {
        return value.substr(0, value.find(Char{})); // where a "%s" stops
    };
    constexpr Char separator[] = {' ', '-', ' '};
    const std::basic_string_view<Char> between(separator, 3);
    std::basic_string<Char> row(field(type));
    row.append(between).append(field(serial)).append(between).append(field(address));
    return row;
}

// The row order's weights of ASCII, as a Windows sorted list box compares its rows
// (CompareStringW with NORM_IGNORECASE in the user's default locale). Measured with the
// system's sort tables under Wine (en-US): a real list box sorted every printable
// character and every printable pair, and CompareStringW ordered 200,000 pairs of random
// ASCII texts; this table and compareTexts() agree with all of it. Characters with a
// primary weight, lightest first; a small letter weighs as its capital.
constexpr std::string_view primaryOrder =
    " \t\n\v\f\r!\"#$%&()*,./:;?@[\\]^_`{|}~+<=>0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// Marks the weights of the characters without a primary weight: the control characters
// and the apostrophe and hyphen, which this "word sort" passes over so that "co-op" sorts
// with "coop".
constexpr std::uint8_t passedOverMark = 0x80;

constexpr std::array<std::uint8_t, 128> asciiWeights = [] {
    std::array<std::uint8_t, 128> weights{};
    weights.fill(0xFF);
    std::uint8_t next = 0;
    for (const char c : primaryOrder) {
        weights[static_cast<std::size_t>(c)] = next;
        if (c >= 'A' && c <= 'Z') {
            weights[static_cast<std::size_t>(c - 'A' + 'a')] = next;
        }
        ++next;
    }
    next = passedOverMark;
    for (std::size_t c = 0; c < 0x20; ++c) {
        if (c < '\t' || c > '\r') {
            weights[c] = next++;
        }
    }
    for (const char c : {'\x7F', '\'', '-'}) {
        weights[static_cast<std::size_t>(c)] = next++;
    }
    return weights;
}();
static_assert(std::find(asciiWeights.begin(), asciiWeights.end(), 0xFF) == asciiWeights.end(),
              "every ASCII character has a weight");

struct UnitWeight {
    bool passedOver;
    std::uint32_t weight;
};

template <typename Char> UnitWeight weightOf(Char unit) {
    std::uint32_t code = static_cast<std::make_unsigned_t<Char>>(unit);
    if (code < 0x80) {
        const std::uint32_t weight = asciiWeights[code];
        return {(weight & passedOverMark) != 0, weight & ~std::uint32_t{passedOverMark}};
    }
    if constexpr (sizeof(Char) == 1) {
        code |= 0xFF00; // as widenText() widens the byte
    }
    return {false, code}; // above every ASCII weight
}

// The passed-over characters of a text, one after the other.
template <typename Char> struct PassedOver {
    std::basic_string_view<Char> text;
    std::size_t at = 0;
    std::size_t weightedBefore = 0; // weighted characters before the last one found
    std::uint32_t weight = 0;       // the last one's

    // Moves to the next one; false past the last.
    bool next() {
        for (; at < text.size(); ++at) {
            const UnitWeight unit = weightOf(text[at]);
            if (unit.passedOver) {
                weight = unit.weight;
                ++at;
                return true;
            }
            ++weightedBefore;
        }
        return false;
    }
};

// The order that compareRowTexts() describes.
template <typename Char>
std::weak_ordering compareTexts(std::basic_string_view<Char> left,
                                std::basic_string_view<Char> right) {
    const auto skipPassedOver = [](std::basic_string_view<Char> text, std::size_t& at) {
        while (at < text.size() && weightOf(text[at]).passedOver) {
            ++at;
        }
    };
    for (std::size_t l = 0, r = 0;; ++l, ++r) {
        skipPassedOver(left, l);
        skipPassedOver(right, r);
        if (l == left.size() || r == right.size()) {
            if (l == left.size() && r == right.size()) {
                break;
            }
            return l == left.size() ? std::weak_ordering::less : std::weak_ordering::greater;
        }
        if (const auto order = weightOf(left[l]).weight <=> weightOf(right[r]).weight; order != 0) {
            return order;
        }
    }
    // Equal weighted characters: the passed-over ones decide.
    PassedOver<Char> l{left};
    PassedOver<Char> r{right};
    for (;;) {
        const bool leftHasMore = l.next();
        const bool rightHasMore = r.next();
        if (!leftHasMore || !rightHasMore) {
            return leftHasMore <=> rightHasMore;
        }
        // The one behind more weighted characters sorts first.
        if (const auto order = r.weightedBefore <=> l.weightedBefore; order != 0) {
            return order;
        }
        if (const auto order = l.weight <=> r.weight; order != 0) {
            return order;
        }
    }
}

bool isSelected(const ServerInfo& server, const DeviceInfo& device, SelectionMode mode) {
    return mode == SelectionMode::all || windowExclusion(server, device) == Exclusion::none;
}

bool isServerSearched(const ServerInfo& server, SelectionMode mode) {
    return mode == SelectionMode::all || server.isDataServer();
}

} // namespace

Exclusion windowExclusion(const ServerInfo& server, const DeviceInfo& device) {
    if (!server.isDataServer()) {
        return Exclusion::notDataServer;
    }
    if (deviceFamilyFromType(device.type) != DeviceFamily::RB) {
        return Exclusion::notRbType;
    }
    return serverOwnsDevice(server, device) ? Exclusion::none : Exclusion::notServersOwn;
}

bool serverOwnsDevice(const ServerInfo& server, const DeviceInfo& device) {
    // Without a uid a server speaks for its device only when it lists exactly one. An
    // empty serial is contained in every uid.
    return (server.uid.empty() && server.devices.size() == 1) ||
           boost::algorithm::icontains(server.uid, device.serial);
}

std::vector<DeviceInfo> selectDevices(const std::list<ServerInfo>& servers, SelectionMode mode) {
    std::vector<DeviceInfo> selected;
    for (const ServerInfo& server : servers) {
        if (!isServerSearched(server, mode)) {
            continue;
        }
        for (const DeviceInfo& device : server.devices) {
            if (!isSelected(server, device, mode)) {
                continue;
            }
            DeviceInfo copy = device;
            copy.address = server.addresses.empty() ? std::string() : server.addresses.front();
            selected.push_back(std::move(copy));
        }
    }
    return selected;
}

bool anyDeviceSelected(const std::list<ServerInfo>& servers, SelectionMode mode) {
    return std::any_of(servers.begin(), servers.end(), [mode](const ServerInfo& server) {
        return isServerSearched(server, mode) &&
               std::any_of(server.devices.begin(), server.devices.end(),
                           [&server, mode](const DeviceInfo& device) {
                               return isSelected(server, device, mode);
                           });
    });
}

std::vector<DeviceInfo> uniqueBySerial(std::vector<DeviceInfo> devices) {
    std::unordered_set<std::string> serials;
    std::vector<DeviceInfo> unique;
    unique.reserve(devices.size());
    for (DeviceInfo& device : devices) {
        if (serials.insert(device.serial).second) {
            unique.push_back(std::move(device));
        }
    }
    return unique;
}

std::string deviceRowText(std::string_view type, std::string_view serial,
                          std::string_view address) {
    return rowText(type, serial, address);
}

std::u16string deviceRowText(std::u16string_view type, std::u16string_view serial,
                             std::u16string_view address) {
    return rowText(type, serial, address);
}

std::string deviceRowText(const DeviceInfo& device) {
    return deviceRowText(device.type, device.serial, device.address);
}

std::weak_ordering compareRowTexts(std::string_view left, std::string_view right) {
    return compareTexts(left, right);
}

std::weak_ordering compareRowTexts(std::u16string_view left, std::u16string_view right) {
    return compareTexts(left, right);
}

std::vector<std::string> sortedRowTexts(const std::vector<DeviceInfo>& devices) {
    std::vector<std::string> rows;
    rows.reserve(devices.size());
    for (const DeviceInfo& device : devices) {
        rows.push_back(deviceRowText(device));
    }
    std::stable_sort(rows.begin(), rows.end(), [](const std::string& a, const std::string& b) {
        return compareRowTexts(a, b) < 0;
    });
    return rows;
}

} // namespace velmor
