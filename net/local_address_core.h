// The platform-independent half of enumerateLocalAddresses(): each platform describes
// its adapters in these plain records, and the selection below classifies, filters,
// orders and de-duplicates them the same way everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/local_addresses.h"

namespace velmor::detail {

enum class AddressFamily { ipv4, ipv6, other };

struct UnicastAddressDescription {
    AddressFamily family = AddressFamily::other;
    bool transient = false; // temporary, deprecated or not yet confirmed unique
    // The platform's text of the address; empty when it could not be made.
    std::optional<std::string> text;
};

struct AdapterDescription {
    bool up = false; // operational: able to pass packets
    bool loopbackType = false;
    std::string dnsSuffix;   // UTF-8, empty when none
    std::string description; // UTF-8
    std::vector<UnicastAddressDescription> addresses;
};

// The kind of every address of `adapter`: a USB link first, then any DNS suffix, then
// loopback or other.
AddressKind classifyAdapter(const AdapterDescription& adapter);

using HostNameFunction = std::function<std::string()>;

// The result of enumerateLocalAddresses() for these adapters. `hostName` is called once
// per host-name flag, and only when `other` is in `kindMask`. Logs "Failed to convert
// address" for every examined address without text.
std::vector<LocalAddress> selectLocalAddresses(const std::vector<AdapterDescription>& adapters,
                                               std::uint32_t kindMask, std::uint32_t flags,
                                               const HostNameFunction& hostName);

// The adapter query of platforms that fill a caller's buffer and report the size they
// need when it is too small.
enum class AdapterQueryStatus { success, bufferOverflow, failed };

inline constexpr std::uint32_t firstAdapterBufferSize = 15000;
inline constexpr int maxAdapterQueries = 3;

struct AdapterBufferCalls {
    std::function<void*(std::size_t)> allocate; // returns null on failure, never throws
    std::function<void(void*)> release;
    // Fills `buffer` of `size` bytes; on overflow writes the needed size back to `size`.
    std::function<AdapterQueryStatus(void* buffer, std::uint32_t& size)> query;
};

// Queries with a first buffer of firstAdapterBufferSize bytes, growing it to the
// reported size after an overflow, at most maxAdapterQueries times. On success runs
// `walk` on the filled buffer and returns true. Any other outcome returns false: an
// allocation failure logs "Memory allocation failed for IP_ADAPTER_ADDRESSES struct",
// a failed query or repeated overflow logs nothing. The buffer is released on every
// path, also when `walk` throws.
bool queryAdapterBuffer(const AdapterBufferCalls& calls,
                        const std::function<void(const void* buffer)>& walk);

} // namespace velmor::detail
