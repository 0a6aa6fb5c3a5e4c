// Windows: the IP Helper adapter list, with each unicast address's OnLinkPrefixLength.
#include "net/local_subnets.h"

#include <vector>

// winsock2.h must precede windows.h, and iphlpapi.h needs both.
#include <winsock2.h>

#include <windows.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>

#include <boost/locale/encoding_utf.hpp>

namespace velmor {

namespace {

std::string toUtf8(const wchar_t* text) {
    return text == nullptr ? std::string()
                           : boost::locale::conv::utf_to_utf<char>(text, boost::locale::conv::skip);
}

std::string ipv4Text(const SOCKADDR* address) {
    char text[INET_ADDRSTRLEN] = {};
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(address);
    return InetNtopA(AF_INET, &ipv4->sin_addr, text, sizeof text) != nullptr ? text : "";
}

} // namespace

std::vector<LocalSubnet> enumerateLocalSubnets() {
    constexpr ULONG flags =
        GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    // The list can grow between the two calls; a few tries cover that.
    for (int attempt = 0; attempt < 4 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        status = GetAdaptersAddresses(
            AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    std::vector<LocalSubnet> subnets;
    if (status != NO_ERROR) {
        return subnets;
    }
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp) {
            continue;
        }
        for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress;
             unicast != nullptr; unicast = unicast->Next) {
            const SOCKADDR* address = unicast->Address.lpSockaddr;
            if (address == nullptr || address->sa_family != AF_INET) {
                continue;
            }
            LocalSubnet subnet;
            subnet.address = ipv4Text(address);
            subnet.prefixLength = unicast->OnLinkPrefixLength;
            subnet.adapter = toUtf8(adapter->FriendlyName);
            subnet.loopback = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
            if (!subnet.address.empty()) {
                subnets.push_back(std::move(subnet));
            }
        }
    }
    return subnets;
}

} // namespace velmor
