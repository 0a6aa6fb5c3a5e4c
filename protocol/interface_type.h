#pragma once

#include <cstdint>
#include <string>

namespace velmor {

// How a device is attached to its server. There is no value 4.
enum class InterfaceType : std::uint32_t {
    None = 0,
    USB = 1,
    GbE = 2,
    PCIe = 8,
    Unknown = 16,
};

// The value of an interface name: "" gives None; otherwise the text is trimmed of white
// space and looked up ignoring ASCII case in {"none", "USB", "1GbE", "PCIe"}; any other
// text, a text of blanks only included, gives Unknown.
InterfaceType parseInterfaceType(const std::string& text);

} // namespace velmor
