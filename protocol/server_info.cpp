#include "protocol/server_info.h"

#include <boost/algorithm/string/predicate.hpp>
#include <boost/property_tree/ptree.hpp>

#include "protocol/property_reading.h"

namespace velmor {

bool ServerInfo::isDataServer() const {
    return boost::algorithm::iequals(type, "dataserver");
}

ServerInfo readServerInfo(const boost::property_tree::ptree& tree) {
    ServerInfo server;
    server.uid = readText(tree, "uid");
    server.type = readText(tree, "type");
    server.addresses = readStringList(tree, "addresses");
    server.port = readValue<std::uint16_t>(tree, "port", 0);
    server.apiVersion = readValue<std::uint32_t>(tree, "apiVersion", 0);
    server.serverVersion = readText(tree, "serverVersion");
    server.minClientRev = readValue<std::uint32_t>(tree, "minClientRev", 0);
    if (const auto devices = tree.get_child_optional("devices")) {
        server.devices.reserve(devices->size());
        for (const auto& child : *devices) {
            server.devices.push_back(readDeviceInfo(child.second));
        }
    }
    return server;
}

} // namespace velmor
