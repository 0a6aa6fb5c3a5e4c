#include "net/local_address_core.h"

#include <memory>
#include <ostream>
#include <set>

#include <KVLogger>

namespace velmor {

std::ostream& operator<<(std::ostream& out, const LocalAddress& address) {
    return out << '(' << kindBit(address.kind) << ", " << address.address << ')';
}

namespace detail {

AddressKind classifyAdapter(const AdapterDescription& adapter) {
    // Both tests are case-sensitive: "USB_LOCAL" or "rndis" make an ordinary suffixed link.
    if (adapter.dnsSuffix == "usb_local" &&
        adapter.description.find("RNDIS") != std::string::npos) {
        return AddressKind::usbRndis;
    }
    if (!adapter.dnsSuffix.empty()) {
        return AddressKind::dnsSuffixed;
    }
    return adapter.loopbackType ? AddressKind::loopback : AddressKind::other;
}

std::vector<LocalAddress> selectLocalAddresses(const std::vector<AdapterDescription>& adapters,
                                               std::uint32_t kindMask, std::uint32_t flags,
                                               const HostNameFunction& hostName) {
    const bool includeIpv6 = (flags & LocalAddressFlags::includeIpv6) != 0;
    const bool includeLoopback = (flags & LocalAddressFlags::includeLoopback) != 0;

    // The set keeps the first of equal records; the same address on two kinds stays twice.
    std::set<LocalAddress> found;
    for (const AdapterDescription& adapter : adapters) {
        if (!adapter.up || (adapter.loopbackType && !includeLoopback)) {
            continue;
        }
        for (const UnicastAddressDescription& unicast : adapter.addresses) {
            // A transient address may vanish or change during a search: never search from it.
            if (unicast.transient) {
                continue;
            }
            const bool wantedFamily = unicast.family == AddressFamily::ipv4 ||
                                      (unicast.family == AddressFamily::ipv6 && includeIpv6);
            if (!wantedFamily) {
                continue;
            }
            if (!unicast.text) {
                logging::LogMessage(logging::error) << "Failed to convert address";
                continue;
            }
            const AddressKind kind = classifyAdapter(adapter);
            if ((kindBit(kind) & kindMask) == 0) {
                continue;
            }
            found.insert(LocalAddress{kind, *unicast.text});
        }
    }

    if ((kindMask & kindBit(AddressKind::other)) != 0) {
        if ((flags & LocalAddressFlags::addHostName) != 0) {
            found.insert(LocalAddress{AddressKind::other, hostName()});
        }
        if ((flags & LocalAddressFlags::addLocalHostName) != 0) {
            found.insert(LocalAddress{AddressKind::other, hostName() + ".local"});
        }
    }
    return {found.begin(), found.end()};
}

bool queryAdapterBuffer(const AdapterBufferCalls& calls,
                        const std::function<void(const void* buffer)>& walk) {
    const auto release = [&calls](void* buffer) {
        calls.release(buffer);
    };
    std::uint32_t size = firstAdapterBufferSize;
    for (int attempt = 1; attempt <= maxAdapterQueries; ++attempt) {
        const std::unique_ptr<void, decltype(release)> buffer(calls.allocate(size), release);
        if (!buffer) {
            logging::LogMessage(logging::error)
                << "Memory allocation failed for IP_ADAPTER_ADDRESSES struct";
            return false;
        }
        switch (calls.query(buffer.get(), size)) {
        case AdapterQueryStatus::success:
            walk(buffer.get());
            return true;
        case AdapterQueryStatus::bufferOverflow:
            // Grow to exactly the size the query asked for.
            continue;
        case AdapterQueryStatus::failed:
            return false;
        }
        return false;
    }
    return false;
}

} // namespace detail

} // namespace velmor
