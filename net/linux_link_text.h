// Readers and writers of the texts the Linux adapter source meets. They are pure text
// functions, kept outside linux/ so that they are built and tested on every platform.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::detail {

// The link's own DNS suffix from the text of its systemd-networkd link state file or its
// systemd-resolved link file: the first search domain of the first "DOMAINS=" line.
// Route-only domains ("~example.com", "~.") are no suffix. Empty when there is none.
std::string firstSearchDomain(std::string_view stateText);

// The description of a link, for classification: "usb0 (driver rndis_host, RNDIS)".
// The name alone when no driver is bound; drivers of the rndis family are marked "RNDIS"
// so that a USB network link is recognised as such on every platform.
std::string linkDescription(std::string_view interfaceName, std::string_view driver);

// One line of /proc/net/if_inet6.
struct Inet6AddressState {
    std::array<std::uint8_t, 16> address{};
    std::string interfaceName;
    std::uint32_t flags = 0; // IFA_F_* bits
};

// The lines of /proc/net/if_inet6; malformed lines are skipped.
std::vector<Inet6AddressState> parseIfInet6(std::string_view text);

// Temporary, DAD-failed, deprecated or tentative: not to be searched from.
bool isTransientIpv6(std::uint32_t flags);

} // namespace velmor::detail
