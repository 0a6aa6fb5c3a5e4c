#pragma once

#include <compare>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace velmor {

// What sort of link an address was found on: exactly one bit, so that kinds combine
// into a mask.
enum class AddressKind : std::uint32_t {
    loopback = 1,    // software loopback adapter without a DNS suffix
    usbRndis = 2,    // DNS suffix "usb_local" and "RNDIS" in the description: USB link
    dnsSuffixed = 4, // any other adapter with a DNS suffix
    other = 8,       // everything else, and every host-name record
};

constexpr std::uint32_t kindBit(AddressKind kind) {
    return static_cast<std::uint32_t>(kind);
}

// Every kind at once, as the discovery search asks.
inline constexpr std::uint32_t allAddressKinds = 15;

// One address to search from. Ordered by kind, then byte-wise by address text.
struct LocalAddress {
    AddressKind kind = AddressKind::other;
    std::string address; // UTF-8, as the platform prints it, or a host name

    friend auto operator<=>(const LocalAddress&, const LocalAddress&) = default;
    friend bool operator==(const LocalAddress&, const LocalAddress&) = default;
};

// Prints "(8, 192.168.1.20)".
std::ostream& operator<<(std::ostream& out, const LocalAddress& address);

// Option bits of enumerateLocalAddresses().
struct LocalAddressFlags {
    static constexpr std::uint32_t ignored = 0x01; // accepted for old callers, no effect
    static constexpr std::uint32_t includeIpv6 = 0x02;
    static constexpr std::uint32_t addHostName = 0x04;      // (other, host name)
    static constexpr std::uint32_t addLocalHostName = 0x08; // (other, host name + ".local")
    static constexpr std::uint32_t includeLoopback = 0x10;
};

// The non-transient unicast addresses of every adapter that is up, each tagged with the
// kind of its adapter, keeping only kinds in `kindMask`; sorted, without repeats. IPv4
// only unless `includeIpv6`; loopback adapters only with `includeLoopback`. Host-name
// records are added only when `other` is in the mask; exceptions of hostName() pass
// through. Keeps no state between calls.
std::vector<LocalAddress> enumerateLocalAddresses(std::uint32_t kindMask, std::uint32_t flags);

} // namespace velmor
