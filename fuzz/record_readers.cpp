// The record readers on every node of a parsed tree. They are documented never to fail,
// so no exception is caught: one that escapes is a finding. Where a key occurs more than
// once, the readers must take its first occurrence in document order.
#include <cstddef>
#include <cstdint>
#include <string>

#include <boost/property_tree/ptree.hpp>

#include "fuzz/fuzz_check.h"
#include "protocol/answer_processing.h"
#include "protocol/discovery_message.h"

using namespace velmor;
using boost::property_tree::ptree;
using velmor::fuzz::require;

namespace {

std::string firstInDocument(const ptree& tree, const std::string& key) {
    for (const auto& [name, child] : tree) {
        if (name == key) {
            return child.data();
        }
    }
    return {};
}

bool isInterface(InterfaceType type) {
    return type == InterfaceType::None || type == InterfaceType::USB ||
           type == InterfaceType::GbE || type == InterfaceType::PCIe ||
           type == InterfaceType::Unknown;
}

void checkDevice(const DeviceInfo& device) {
    for (const InterfaceType type : device.interfaces) {
        require(type != InterfaceType::None && isInterface(type), "a stored interface value");
    }
    require(isInterface(device.connected), "the connected interface is outside its enum");
    require(device.minServRev != 0, "minServRev 0 was not turned into no limit");
}

void readEveryNode(const ptree& tree) {
    const DeviceInfo device = readDeviceInfo(tree);
    checkDevice(device);
    require(device.serial == firstInDocument(tree, "serial"), "serial is not the first one");

    const ServerInfo server = readServerInfo(tree);
    require(server.uid == firstInDocument(tree, "uid"), "uid is not the first one");
    for (const DeviceInfo& listed : server.devices) {
        checkDevice(listed);
    }

    const DiscoveryRequest header = readMessageHeader(tree);
    require(header.messageType == firstInDocument(tree, "request"), "request is not the first");
    require(header.id == firstInDocument(tree, "id"), "id is not the first one");

    const DiscoveryAnswer answer = parseDiscoveryAnswer(tree);
    require(answer.header == header, "the answer's header differs from readMessageHeader");
    for (const DeviceInfo& listed : answer.devices) {
        checkDevice(listed);
    }

    for (const auto& child : tree) {
        readEveryNode(child.second);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto tree = parseJsonPayload(text)) {
        readEveryNode(*tree);
    }
    return 0;
}
