// One discovery search over every local address and destination port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <stop_token>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/uuid/random_generator.hpp>

#include "discovery/search_statistics.h"
#include "net/local_addresses.h"
#include "protocol/device_info.h"
#include "protocol/server_info.h"

namespace velmor {

// The destination ports of every search, in the order the requests are sent.
extern const std::vector<std::uint16_t> discoveryPorts;

// The enumeration flags of a search (0x11): IPv4 addresses only, the loopback address
// included, no host-name entries.
inline constexpr std::uint32_t searchAddressFlags =
    LocalAddressFlags::ignored | LocalAddressFlags::includeLoopback;

// Optional behaviour for callers other than the window. The defaults give the window's
// search, unchanged.
struct SearchTuning {
    // Skips the settling time after the requests are sent.
    bool fast = false;
    // Called with the server records of each answer to this search as it is stored;
    // returning true ends the search early (the records stored so far are kept).
    std::function<bool(const std::list<ServerInfo>&)> stopWhen;
    // When not empty, only the local addresses whose text is listed here are used.
    std::vector<std::string> localAddresses;
    // When not empty, the request goes by unicast to each of these IPv4 addresses
    // instead, from the local address the system routes through; answers are handled as
    // multicast answers are.
    std::vector<std::string> unicastHosts;
    // With unicastHosts: the multicast search runs as well, and the hosts are asked beside
    // it (a host behind a router joins what multicast finds).
    bool multicastToo = false;
    // A stop request from another thread ends the search within one 100 ms idle step;
    // the records stored so far are kept and statistics().cancelled tells.
    std::stop_token stop;
};

class MulticastDiscovery {
public:
    // `ports` is not owned and must outlive the object. Raises what hostName() raises,
    // and boost::uuids::entropy_error when no random source can be opened.
    MulticastDiscovery(std::int32_t addressKinds, const std::vector<std::uint16_t>* ports,
                       std::uint64_t multicastHops);
    MulticastDiscovery(const MulticastDiscovery&) = delete;
    MulticastDiscovery& operator=(const MulticastDiscovery&) = delete;

    // A 2000 ms search for servers only.
    void run();
    void run(std::int32_t requestFlags, std::int64_t timeoutMs);
    void discover(std::int32_t requestFlags, const std::vector<std::string>& deviceList,
                  const std::vector<std::string>& serverList, std::int64_t timeoutMs);

    // The host name, "-" and a new random UUID.
    std::string makeRequestId();

    const std::list<ServerInfo>& servers() const { return serverList; }
    const std::list<DeviceInfo>& devices() const { return deviceList; }

    void setTuning(SearchTuning tuning) { searchTuning = std::move(tuning); }
    const SearchStatistics& statistics() const { return searchStatistics; }

private:
    boost::asio::io_context ioContext;
    std::int32_t addressKinds;
    const std::vector<std::uint16_t>* ports;
    std::list<DeviceInfo> deviceList;
    std::list<ServerInfo> serverList;
    std::string localHostName;
    boost::uuids::random_generator randomSource;
    std::uint64_t multicastHops;
    SearchTuning searchTuning;
    SearchStatistics searchStatistics;
};

} // namespace velmor
