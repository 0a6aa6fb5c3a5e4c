#include "cli/reachability.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace velmor::cli {

namespace {

// A dotted-quad IPv4 text ("10.0.0.1") as a number; none for anything else.
std::optional<std::uint32_t> ipv4(std::string_view text) {
    std::uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') {
                return std::nullopt;
            }
            text.remove_prefix(1);
        }
        std::uint32_t value = 0;
        std::size_t digits = 0;
        while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9') {
            value = value * 10 + static_cast<std::uint32_t>(text[digits] - '0');
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) {
            return std::nullopt;
        }
        text.remove_prefix(digits);
        address = address << 8 | value;
    }
    return text.empty() ? std::optional<std::uint32_t>(address) : std::nullopt;
}

bool inSubnet(std::uint32_t address, std::uint32_t network, std::uint32_t prefixLength) {
    const std::uint32_t mask = prefixLength == 0 ? 0 : ~std::uint32_t{0} << (32 - prefixLength);
    return (address & mask) == (network & mask);
}

bool isLinkLocal(std::uint32_t address) {
    return (address >> 16) == 0xA9FE; // 169.254.0.0/16
}

bool isLoopback(std::uint32_t address) {
    return (address >> 24) == 127;
}

// Names of tunnel, VPN, bridge and virtual-machine adapters, by their usual beginnings.
bool looksVirtual(std::string_view adapter) {
    constexpr std::array<std::string_view, 16> beginnings{
        "tun",   "tap",  "wg", "ppp",       "docker", "br-",   "virbr", "vboxnet",
        "vmnet", "veth", "zt", "tailscale", "utun",   "lxcbr", "lxdbr", "podman"};
    std::string lower(adapter);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    const bool named = std::any_of(beginnings.begin(), beginnings.end(),
                                   [&lower](std::string_view b) { return lower.starts_with(b); });
    // Windows names its adapters in words.
    return named || lower.find("vpn") != std::string::npos ||
           lower.find("virtual") != std::string::npos || lower.find("hyper-v") != std::string::npos;
}

std::string subnetText(const LocalSubnet& subnet) {
    return subnet.address + "/" + std::to_string(subnet.prefixLength) + " (" + subnet.adapter + ")";
}

} // namespace

const char* kindName(ReachabilityFinding::Kind kind) {
    switch (kind) {
    case ReachabilityFinding::Kind::unreachable:
        return "unreachable";
    case ReachabilityFinding::Kind::linkLocal:
        return "linkLocal";
    case ReachabilityFinding::Kind::onlyLinkLocal:
        return "onlyLinkLocal";
    case ReachabilityFinding::Kind::virtualAdapter:
        return "virtualAdapter";
    }
    return "unreachable";
}

namespace {

// A local address that is not loopback, parsed.
struct Parsed {
    std::uint32_t address;
    const LocalSubnet* subnet;
};

std::vector<Parsed> parsedLocal(const std::vector<LocalSubnet>& subnets) {
    std::vector<Parsed> local;
    for (const LocalSubnet& subnet : subnets) {
        if (const auto address = ipv4(subnet.address); address && !subnet.loopback) {
            local.push_back({*address, &subnet});
        }
    }
    return local;
}

ReachabilityFinding outOfReach(const std::string& instrument, std::uint32_t address,
                               bool localLinkLocal, const std::string& ownSubnets) {
    if (isLinkLocal(address) && !localLinkLocal) {
        return {ReachabilityFinding::Kind::linkLocal, instrument,
                instrument +
                    " has a self-assigned address (169.254.x.x): it got no answer from a DHCP "
                    "server. Connect it where DHCP serves it, or give it a fixed address in one "
                    "of this computer's subnets (" +
                    ownSubnets + ")"};
    }
    return {ReachabilityFinding::Kind::unreachable, instrument,
            instrument + " answered but is in none of this computer's subnets (" +
                (ownSubnets.empty() ? std::string("none") : ownSubnets) +
                "): its web page cannot be opened without a route to it. Give the instrument "
                "an address in one of these subnets, or this computer one in the "
                "instrument's"};
}

// The instruments in none of the local subnets, each once.
void addInstrumentFindings(const std::vector<Parsed>& local,
                           const std::vector<std::string>& instruments,
                           std::vector<ReachabilityFinding>& findings) {
    const bool localLinkLocal = std::any_of(local.begin(), local.end(),
                                            [](const Parsed& p) { return isLinkLocal(p.address); });
    std::string ownSubnets;
    for (const Parsed& p : local) {
        ownSubnets += (ownSubnets.empty() ? "" : ", ") + subnetText(*p.subnet);
    }
    std::vector<std::string> told;
    for (const std::string& instrument : instruments) {
        const auto address = ipv4(instrument);
        if (!address || isLoopback(*address) ||
            std::find(told.begin(), told.end(), instrument) != told.end()) {
            continue;
        }
        const bool reachable = std::any_of(local.begin(), local.end(), [&](const Parsed& p) {
            return inSubnet(*address, p.address, p.subnet->prefixLength);
        });
        if (!reachable) {
            told.push_back(instrument);
            findings.push_back(outOfReach(instrument, *address, localLinkLocal, ownSubnets));
        }
    }
}

// Adapters with only a self-assigned address, and likely virtual ones when nothing was
// listed; each adapter once, in the system's order.
void addAdapterFindings(const std::vector<Parsed>& local, bool nothingListed,
                        std::vector<ReachabilityFinding>& findings) {
    std::vector<std::string> adapters;
    for (const Parsed& p : local) {
        if (std::find(adapters.begin(), adapters.end(), p.subnet->adapter) == adapters.end()) {
            adapters.push_back(p.subnet->adapter);
        }
    }
    for (const std::string& adapter : adapters) {
        const bool onlyLinkLocal = std::all_of(local.begin(), local.end(), [&](const Parsed& p) {
            return p.subnet->adapter != adapter || isLinkLocal(p.address);
        });
        if (onlyLinkLocal) {
            findings.push_back({ReachabilityFinding::Kind::onlyLinkLocal, adapter,
                                "adapter " + adapter +
                                    " has only a self-assigned address (169.254.x.x): no DHCP "
                                    "server answered it. Check its cable and the DHCP server, "
                                    "or give it a fixed address"});
        }
        if (nothingListed && looksVirtual(adapter)) {
            findings.push_back({ReachabilityFinding::Kind::virtualAdapter, adapter,
                                "adapter " + adapter +
                                    " looks like a VPN, tunnel or virtual-machine adapter: "
                                    "instruments are rarely behind it and multicast seldom "
                                    "crosses it. Search from the adapter cabled to the "
                                    "instruments with --address, or ask an instrument by "
                                    "--host"});
        }
    }
}

} // namespace

std::vector<ReachabilityFinding> findReachability(const std::vector<LocalSubnet>& subnets,
                                                  const std::vector<std::string>& instruments,
                                                  bool nothingListed) {
    const std::vector<Parsed> local = parsedLocal(subnets);
    std::vector<ReachabilityFinding> findings;
    addInstrumentFindings(local, instruments, findings);
    addAdapterFindings(local, nothingListed, findings);
    return findings;
}

} // namespace velmor::cli
