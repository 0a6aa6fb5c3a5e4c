// The device-family and interface-name classifiers: results within their enums and as
// their rules say. Both read the whole input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "protocol/device_family.h"
#include "protocol/interface_type.h"

using namespace velmor;
using velmor::fuzz::require;

namespace {

DeviceFamily familyByRule(std::string_view type) {
    if (type.empty() || type == "none") {
        return DeviceFamily::None;
    }
    if (type == "DEFAULT") {
        return DeviceFamily::QD4;
    }
    // No prefix starts another, so the order of the tests does not matter here.
    if (type.substr(0, 3) == "TXV") {
        return DeviceFamily::TXV;
    }
    if (type.substr(0, 2) == "RB") {
        return DeviceFamily::RB;
    }
    if (type.substr(0, 3) == "QD4") {
        return DeviceFamily::QD4;
    }
    if (type.substr(0, 5) == "VEXOR") {
        return DeviceFamily::VEXOR;
    }
    if (type.substr(0, 3) == "WLT") {
        return DeviceFamily::WLT;
    }
    if (type.substr(0, 4) == "JNBE") {
        return DeviceFamily::JNBE;
    }
    if (type.substr(0, 6) == "SIMDEV") {
        return DeviceFamily::SIMDEV;
    }
    return DeviceFamily::Unknown;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

InterfaceType interfaceByRule(const std::string& text) {
    if (text.empty()) {
        return InterfaceType::None;
    }
    const auto first = std::find_if_not(text.begin(), text.end(), isBlank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isBlank).base();
    std::string name(first, first < last ? last : first);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    if (name == "none") {
        return InterfaceType::None;
    }
    if (name == "usb") {
        return InterfaceType::USB;
    }
    if (name == "1gbe") {
        return InterfaceType::GbE;
    }
    if (name == "pcie") {
        return InterfaceType::PCIe;
    }
    return InterfaceType::Unknown;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    const DeviceFamily family = deviceFamilyFromType(text);
    const auto bits = static_cast<std::uint32_t>(family);
    require(bits == 0 || (bits <= 128 && (bits & (bits - 1)) == 0),
            "a family that is not None or exactly one known bit");
    require(family == familyByRule(text), "the family differs from its prefix rule");

    const InterfaceType interface = parseInterfaceType(text);
    require(interface == InterfaceType::None || interface == InterfaceType::USB ||
                interface == InterfaceType::GbE || interface == InterfaceType::PCIe ||
                interface == InterfaceType::Unknown,
            "an interface value outside its enum");
    require(interface == interfaceByRule(text), "the interface differs from its name rule");
    return 0;
}
