// The subnets this computer is on: each local IPv4 address with its on-link prefix
// length and its adapter's name, beside the address list a search starts from. The
// diagnosis uses them to tell an instrument it can reach from one it only hears.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmor {

struct LocalSubnet {
    std::string address;            // IPv4 text
    std::uint32_t prefixLength = 0; // 0 to 32
    std::string adapter;            // the adapter's name (UTF-8), as the system shows it
    bool loopback = false;

    friend bool operator==(const LocalSubnet&, const LocalSubnet&) = default;
};

// The IPv4 addresses of the adapters that are up, loopback included, in the system's
// order. Empty when the system cannot be asked.
std::vector<LocalSubnet> enumerateLocalSubnets();

} // namespace velmor
