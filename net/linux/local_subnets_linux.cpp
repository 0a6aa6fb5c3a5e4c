// Linux: getifaddrs(), whose netmask gives the prefix length.
#include "net/local_subnets.h"

#include <bit>
#include <memory>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace velmor {

std::vector<LocalSubnet> enumerateLocalSubnets() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return {};
    }
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owned(list, &::freeifaddrs);
    std::vector<LocalSubnet> subnets;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0) {
            continue;
        }
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        char text[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) == nullptr) {
            continue;
        }
        LocalSubnet subnet;
        subnet.address = text;
        if (entry->ifa_netmask != nullptr) {
            const auto* mask = reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask);
            subnet.prefixLength =
                static_cast<std::uint32_t>(std::popcount(ntohl(mask->sin_addr.s_addr)));
        }
        subnet.adapter = entry->ifa_name != nullptr ? entry->ifa_name : "";
        subnet.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        subnets.push_back(std::move(subnet));
    }
    return subnets;
}

} // namespace velmor
