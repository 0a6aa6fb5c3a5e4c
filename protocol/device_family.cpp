#include "protocol/device_family.h"

#include <array>
#include <utility>

namespace velmor {

DeviceFamily deviceFamilyFromType(std::string_view type) {
    if (type.empty() || type == "none") {
        return DeviceFamily::None;
    }
    if (type == "DEFAULT") {
        return DeviceFamily::QD4;
    }
    // Tested in this order; the first prefix that matches decides.
    static constexpr std::array<std::pair<std::string_view, DeviceFamily>, 7> prefixes{{
        {"TXV", DeviceFamily::TXV},
        {"RB", DeviceFamily::RB},
        {"QD4", DeviceFamily::QD4},
        {"VEXOR", DeviceFamily::VEXOR},
        {"WLT", DeviceFamily::WLT},
        {"JNBE", DeviceFamily::JNBE},
        {"SIMDEV", DeviceFamily::SIMDEV},
    }};
    for (const auto& [prefix, family] : prefixes) {
        if (type.starts_with(prefix)) {
            return family;
        }
    }
    return DeviceFamily::Unknown;
}

} // namespace velmor
