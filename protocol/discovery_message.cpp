#include "protocol/discovery_message.h"

#include <sstream>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "protocol/property_reading.h"

namespace velmor {

namespace {

using boost::property_tree::ptree;

// A JSON array of the non-empty texts; with none left the writer emits "".
ptree textArray(const std::vector<std::string>& texts) {
    ptree array;
    for (const auto& text : texts) {
        if (!text.empty()) {
            array.push_back({std::string(), ptree(text)});
        }
    }
    return array;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

DiscoveryRequest makeDiscoveryRequest(std::uint32_t version, std::string id, std::int32_t flags,
                                      std::vector<std::string> deviceList,
                                      std::vector<std::string> serverList) {
    return DiscoveryRequest{
        DiscoveryRequestType, version, std::move(id), 0, flags, std::move(deviceList),
        std::move(serverList)};
}

std::string serializeDiscoveryRequest(const DiscoveryRequest& request) {
    ptree tree;
    // The writer emits members in insertion order, which is the order on the wire.
    tree.push_back({"request", ptree(request.messageType)});
    tree.push_back({"version", ptree(std::to_string(request.version))});
    tree.push_back({"id", ptree(request.id)});
    if (request.minDiscoveryVersion != 0) {
        tree.push_back({"minDiscoveryVersion", ptree(std::to_string(request.minDiscoveryVersion))});
    }
    if ((request.flags & RequestFlag::Devices) != 0) {
        tree.push_back({"devices", textArray(request.deviceList)});
    }
    if ((request.flags & RequestFlag::Servers) != 0) {
        tree.push_back({"servers", textArray(request.serverList)});
    }
    std::ostringstream out;
    boost::property_tree::write_json(out, tree, false);
    return out.str();
}

std::uint32_t parseProtocolNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::uint64_t magnitude = 0;
    bool anyDigit = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        anyDigit = true;
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (magnitude > 0xFFFFFFFFu) {
            return 0; // out of range, as std::stoul on a 32-bit unsigned long
        }
    }
    if (!anyDigit) {
        return 0;
    }
    const auto value = static_cast<std::uint32_t>(magnitude);
    return negative ? static_cast<std::uint32_t>(0u - value) : value;
}

DiscoveryRequest readMessageHeader(const ptree& tree) {
    DiscoveryRequest header;
    header.messageType = readText(tree, "request");
    header.version = parseProtocolNumber(readText(tree, "version", "0"));
    header.id = readText(tree, "id");
    header.minDiscoveryVersion = parseProtocolNumber(readText(tree, "minDiscoveryVersion", "0"));
    return header;
}

DiscoveryAnswer parseDiscoveryAnswer(const ptree& tree) {
    DiscoveryAnswer answer;
    answer.header = readMessageHeader(tree);
    if (const auto devices = tree.get_child_optional("devices")) {
        for (const auto& child : *devices) {
            answer.devices.push_back(readDeviceInfo(child.second));
        }
    }
    if (const auto servers = tree.get_child_optional("servers")) {
        for (const auto& child : *servers) {
            answer.servers.push_back(readServerInfo(child.second));
        }
    }
    return answer;
}

} // namespace velmor
