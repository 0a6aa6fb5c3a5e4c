// One socket's answer handling on one datagram. Every "@ID@" in the input becomes the
// request's id, so that the fuzzer reaches the records behind the id check.
#include <cstddef>
#include <cstdint>
#include <forward_list>
#include <list>
#include <string>

#include <boost/algorithm/string/replace.hpp>

#include "fuzz/fuzz_check.h"
#include "protocol/answer_processing.h"

using namespace velmor;
using velmor::fuzz::require;

namespace {

const char* const sender = "192.0.2.7";

void checkDevice(const DeviceInfo& device) {
    require(device.interfaces.count(InterfaceType::None) == 0, "an interface None was kept");
    require(device.minServRev != 0, "minServRev 0 was not turned into no limit");
    require(device.owner != "none", "owner none was kept");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const DiscoveryRequest request = makeDiscoveryRequest(
        DiscoveryProtocolVersion, "fuzzhost-6f1c2a4e-93b7-4d0a-8e55-0b8c7d2e1f3a",
        RequestFlag::Devices | RequestFlag::Servers, {}, {});
    std::string payload(reinterpret_cast<const char*>(data), size);
    boost::algorithm::replace_all(payload, "@ID@", request.id);

    std::forward_list<ReceivedAnswer> answers{{sender, std::move(payload)}};
    std::list<DeviceInfo> devices{DeviceInfo{}};
    std::list<ServerInfo> servers{ServerInfo{}};
    processAnswers(answers, request, devices, servers);

    require(answers.empty(), "the stored answers were not emptied");
    for (const DeviceInfo& device : devices) {
        require(device.address == sender, "a device does not carry the sender's address");
        checkDevice(device);
    }
    for (const ServerInfo& server : servers) {
        require(server.addresses.size() == 1 && server.addresses.front() == sender,
                "a server's addresses are not just the sender");
        for (const DeviceInfo& device : server.devices) {
            checkDevice(device);
        }
    }
    return 0;
}
