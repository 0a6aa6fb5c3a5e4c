#pragma once

#include <cstdint>
#include <string_view>

namespace velmor {

// The family of a device type text; exactly one bit, or None.
enum class DeviceFamily : std::uint32_t {
    None = 0,
    QD4 = 1,
    TXV = 2,
    RB = 4, // the family this finder lists
    VEXOR = 8,
    WLT = 16,
    JNBE = 32,
    SIMDEV = 64, // simulated instruments
    Unknown = 128,
};

// Classifies a type by its leading bytes, case-sensitively and without trimming: ""
// and "none" give None, "DEFAULT" gives QD4, a known prefix its family, anything else
// Unknown. Pure and locale-independent.
DeviceFamily deviceFamilyFromType(std::string_view type);

} // namespace velmor
