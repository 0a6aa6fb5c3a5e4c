// Windows adapter source: the IP Helper adapter list, addresses printed by Winsock.
#include "net/local_addresses.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// winsock2.h must precede windows.h, which would otherwise pull in the old winsock.h, and
// iphlpapi.h needs both; the blocks keep include sorting from reordering them.
#include <winsock2.h>

#include <windows.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>

#include <boost/locale/encoding_utf.hpp>

#include "net/host_name.h"
#include "net/local_address_core.h"

namespace velmor {

namespace {

using detail::AdapterDescription;
using detail::AdapterQueryStatus;
using detail::AddressFamily;
using detail::UnicastAddressDescription;

std::string toUtf8(const wchar_t* text) {
    if (text == nullptr) {
        return {};
    }
    return boost::locale::conv::utf_to_utf<char>(text, boost::locale::conv::skip);
}

// WSAAddressToStringW needs Windows Sockets started. The start count is per process, so
// this pairs with any other user (Boost.Asio starts them as well) without disturbing it.
class WinsockSession {
public:
    WinsockSession() {
        constexpr WORD version2_2 = 0x0202;
        WSADATA data{};
        started = WSAStartup(version2_2, &data) == 0;
    }
    ~WinsockSession() {
        if (started) {
            WSACleanup();
        }
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;

private:
    bool started = false;
};

std::optional<std::string> addressText(const SOCKET_ADDRESS& address) {
    std::array<wchar_t, 128> text{};
    DWORD capacity = static_cast<DWORD>(text.size());
    if (WSAAddressToStringW(address.lpSockaddr, static_cast<DWORD>(address.iSockaddrLength),
                            nullptr, text.data(), &capacity) != 0) {
        return std::nullopt;
    }
    text.back() = L'\0';
    return toUtf8(text.data());
}

UnicastAddressDescription describeUnicast(const IP_ADAPTER_UNICAST_ADDRESS& unicast) {
    UnicastAddressDescription description;
    description.transient = (unicast.Flags & IP_ADAPTER_ADDRESS_TRANSIENT) != 0;
    const SOCKADDR* address = unicast.Address.lpSockaddr;
    const int family = address == nullptr ? AF_UNSPEC : address->sa_family;
    if (family == AF_INET) {
        description.family = AddressFamily::ipv4;
    } else if (family == AF_INET6) {
        description.family = AddressFamily::ipv6;
    } else {
        return description;
    }
    description.text = addressText(unicast.Address);
    return description;
}

std::vector<AdapterDescription> describeAdapters(const IP_ADAPTER_ADDRESSES* first) {
    std::vector<AdapterDescription> adapters;
    for (const IP_ADAPTER_ADDRESSES* adapter = first; adapter != nullptr; adapter = adapter->Next) {
        AdapterDescription description;
        description.up = adapter->OperStatus == IfOperStatusUp;
        description.loopbackType = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
        description.dnsSuffix = toUtf8(adapter->DnsSuffix);
        description.description = toUtf8(adapter->Description);
        for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress;
             unicast != nullptr; unicast = unicast->Next) {
            description.addresses.push_back(describeUnicast(*unicast));
        }
        adapters.push_back(std::move(description));
    }
    return adapters;
}

std::vector<AdapterDescription> queryAdapters(bool includeIpv6) {
    const auto family = static_cast<ULONG>(includeIpv6 ? AF_UNSPEC : AF_INET);
    std::vector<AdapterDescription> adapters;
    detail::AdapterBufferCalls calls;
    calls.allocate = [](std::size_t size) {
        return std::malloc(size);
    };
    calls.release = [](void* buffer) {
        std::free(buffer);
    };
    calls.query = [family](void* buffer, std::uint32_t& size) {
        ULONG length = size;
        const ULONG result =
            GetAdaptersAddresses(family, GAA_FLAG_INCLUDE_PREFIX, nullptr,
                                 static_cast<IP_ADAPTER_ADDRESSES*>(buffer), &length);
        size = length;
        if (result == NO_ERROR) {
            return AdapterQueryStatus::success;
        }
        return result == ERROR_BUFFER_OVERFLOW ? AdapterQueryStatus::bufferOverflow
                                               : AdapterQueryStatus::failed;
    };
    detail::queryAdapterBuffer(calls, [&adapters](const void* buffer) {
        adapters = describeAdapters(static_cast<const IP_ADAPTER_ADDRESSES*>(buffer));
    });
    return adapters;
}

} // namespace

std::vector<LocalAddress> enumerateLocalAddresses(std::uint32_t kindMask, std::uint32_t flags) {
    const WinsockSession winsock;
    const bool includeIpv6 = (flags & LocalAddressFlags::includeIpv6) != 0;
    return detail::selectLocalAddresses(queryAdapters(includeIpv6), kindMask, flags, hostName);
}

} // namespace velmor
