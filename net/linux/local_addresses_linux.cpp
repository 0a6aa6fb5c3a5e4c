// Linux adapter source. An adapter is a link; aliases ("eth0:1") belong to their link.
// Each adapter attribute comes from:
// - up: IFF_UP and IFF_RUNNING (administratively up, carrier, operational); a loopback
//   link has no carrier to wait for and needs only IFF_UP.
// - loopback type: IFF_LOOPBACK.
// - DNS suffix: the first search domain (DOMAINS=) of the link's own systemd-networkd
//   state file /run/systemd/netif/links/<ifindex>, else of its systemd-resolved file
//   /run/systemd/resolve/netif/<ifindex>; empty without one. A global search list
//   belongs to no adapter and is never used.
// - description: the link name and the driver its device is bound to, the basename of
//   /sys/class/net/<name>/device/driver: "usb0 (driver rndis_host, RNDIS)".
// - unicast addresses: getifaddrs(), IPv6 ones only when asked for. An IPv6 address is
//   transient when /proc/net/if_inet6 flags it temporary, DAD-failed, deprecated or
//   tentative; an IPv4 address never is.
// - address text: inet_ntop(), and for a scoped IPv6 address "%" and the scope id (the
//   interface index), as Windows prints it.
// The state files and sysfs describe the links of the namespace they were written or
// mounted in. In another network namespace, indexes and names restart and would pick up
// another link's attributes, so each source is used only where it describes our links.
#include "net/local_addresses.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include "net/host_name.h"
#include "net/linux_link_text.h"
#include "net/local_address_core.h"

namespace velmor {

namespace {

using detail::AdapterDescription;
using detail::AddressFamily;
using detail::Inet6AddressState;
using detail::UnicastAddressDescription;

std::string readSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The links the process sees and the links sysfs describes, by name and index, must be
// the same: a process in its own network namespace still sees the sysfs of the namespace
// it was mounted in. Works without privileges.
bool sysfsDescribesOwnLinks() {
    std::map<std::string, unsigned> own;
    if (struct if_nameindex* names = ::if_nameindex()) {
        for (const struct if_nameindex* name = names; name->if_index != 0; ++name) {
            own.emplace(name->if_name, name->if_index);
        }
        ::if_freenameindex(names);
    }
    // Only link folders have an ifindex; control files such as bonding_masters do not.
    std::map<std::string, unsigned> described;
    std::error_code error;
    for (std::filesystem::directory_iterator link("/sys/class/net", error), end;
         !error && link != end; link.increment(error)) {
        const std::string index = readSmallFile(link->path().string() + "/ifindex");
        if (!index.empty()) {
            described.emplace(link->path().filename().string(),
                              static_cast<unsigned>(std::strtoul(index.c_str(), nullptr, 10)));
        }
    }
    return !own.empty() && own == described;
}

// systemd keeps link state for the namespace it runs in, the one of PID 1. A namespace
// with its own sysfs mount (ip netns exec) would still match by index, so where PID 1's
// namespace can be inspected it must be ours; unprivileged users cannot inspect it and
// are trusted to run where they logged in.
bool systemdDescribesOwnLinks() {
    struct stat own {};
    struct stat init {};
    if (::stat("/proc/self/ns/net", &own) != 0 || ::stat("/proc/1/ns/net", &init) != 0) {
        return true;
    }
    return own.st_ino == init.st_ino && own.st_dev == init.st_dev;
}

std::string linkDnsSuffix(const std::string& linkName) {
    const unsigned index = ::if_nametoindex(linkName.c_str());
    if (index == 0) {
        return {};
    }
    for (const char* directory : {"/run/systemd/netif/links/", "/run/systemd/resolve/netif/"}) {
        std::string domain =
            detail::firstSearchDomain(readSmallFile(directory + std::to_string(index)));
        if (!domain.empty()) {
            return domain;
        }
    }
    return {};
}

std::string linkDriver(const std::string& linkName) {
    std::error_code error;
    const std::filesystem::path driver =
        std::filesystem::read_symlink("/sys/class/net/" + linkName + "/device/driver", error);
    return error ? std::string() : driver.filename().string();
}

bool hasFlag(unsigned flags, int flag) {
    return (flags & static_cast<unsigned>(flag)) != 0;
}

// Which per-link sources describe this process's links.
struct LinkSources {
    bool sysfs = false;
    bool systemd = false;
};

AdapterDescription describeLink(const std::string& linkName, unsigned flags, LinkSources sources) {
    AdapterDescription adapter;
    adapter.loopbackType = hasFlag(flags, IFF_LOOPBACK);
    adapter.up = hasFlag(flags, IFF_UP) && (adapter.loopbackType || hasFlag(flags, IFF_RUNNING));
    if (sources.systemd) {
        adapter.dnsSuffix = linkDnsSuffix(linkName);
    }
    adapter.description =
        detail::linkDescription(linkName, sources.sysfs ? linkDriver(linkName) : std::string());
    return adapter;
}

std::optional<std::string> ipv4Text(const sockaddr& address) {
    sockaddr_in ipv4{};
    std::memcpy(&ipv4, &address, sizeof(ipv4));
    std::array<char, INET_ADDRSTRLEN> text{};
    if (::inet_ntop(AF_INET, &ipv4.sin_addr, text.data(), text.size()) == nullptr) {
        return std::nullopt;
    }
    return std::string(text.data());
}

UnicastAddressDescription describeIpv6(const std::string& linkName, const sockaddr& address,
                                       const std::vector<Inet6AddressState>& states) {
    sockaddr_in6 ipv6{};
    std::memcpy(&ipv6, &address, sizeof(ipv6));
    UnicastAddressDescription unicast{AddressFamily::ipv6, false, std::nullopt};
    for (const Inet6AddressState& state : states) {
        if (state.interfaceName == linkName &&
            std::memcmp(state.address.data(), &ipv6.sin6_addr, state.address.size()) == 0) {
            unicast.transient = detail::isTransientIpv6(state.flags);
            break;
        }
    }
    std::array<char, INET6_ADDRSTRLEN> text{};
    if (::inet_ntop(AF_INET6, &ipv6.sin6_addr, text.data(), text.size()) != nullptr) {
        unicast.text = text.data();
        if (ipv6.sin6_scope_id != 0) {
            *unicast.text += '%' + std::to_string(ipv6.sin6_scope_id);
        }
    }
    return unicast;
}

// getifaddrs() gives no address flags; if_inet6 has them for IPv6.
std::vector<AdapterDescription> describeAdapters(bool includeIpv6) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return {};
    }
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owner(list, &::freeifaddrs);
    LinkSources sources;
    sources.sysfs = sysfsDescribesOwnLinks();
    sources.systemd = sources.sysfs && systemdDescribesOwnLinks();
    const std::vector<Inet6AddressState> inet6States =
        includeIpv6 ? detail::parseIfInet6(readSmallFile("/proc/net/if_inet6"))
                    : std::vector<Inet6AddressState>{};

    std::vector<AdapterDescription> adapters;
    std::map<std::string, std::size_t> adapterOfLink;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_name == nullptr || entry->ifa_addr == nullptr) {
            continue;
        }
        const int family = entry->ifa_addr->sa_family;
        if (family != AF_INET && !(family == AF_INET6 && includeIpv6)) {
            continue;
        }
        const std::string label = entry->ifa_name;
        const std::string linkName = label.substr(0, label.find(':'));
        const auto [position, added] = adapterOfLink.try_emplace(linkName, adapters.size());
        if (added) {
            adapters.push_back(describeLink(linkName, entry->ifa_flags, sources));
        }
        AdapterDescription& adapter = adapters[position->second];
        if (family == AF_INET) {
            adapter.addresses.push_back({AddressFamily::ipv4, false, ipv4Text(*entry->ifa_addr)});
        } else {
            adapter.addresses.push_back(describeIpv6(linkName, *entry->ifa_addr, inet6States));
        }
    }
    return adapters;
}

} // namespace

std::vector<LocalAddress> enumerateLocalAddresses(std::uint32_t kindMask, std::uint32_t flags) {
    const bool includeIpv6 = (flags & LocalAddressFlags::includeIpv6) != 0;
    return detail::selectLocalAddresses(describeAdapters(includeIpv6), kindMask, flags, hostName);
}

} // namespace velmor
