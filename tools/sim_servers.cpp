#include "tools/sim_servers.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <sstream>
#include <utility>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

namespace velmor::tools {

namespace {

using boost::property_tree::ptree;

// A configuration reader that names the member it rejects.
class Reader {
public:
    Reader(const ptree& object, std::string where) : object_(object), where_(std::move(where)) {}

    void text(const char* key, std::string& target) const {
        if (const ptree* member = find(key)) {
            target = scalar(*member, key);
        }
    }

    template <typename T> void number(const char* key, T& target) const {
        const ptree* member = find(key);
        if (member == nullptr) {
            return;
        }
        const std::string digits = scalar(*member, key);
        T value{};
        const char* end = digits.data() + digits.size();
        const auto [stop, error] = std::from_chars(digits.data(), end, value);
        // from_chars takes no sign or blank for unsigned types, so "-1" and " 1" fail here.
        if (digits.empty() || error != std::errc() || stop != end) {
            fail(key,
                 "must be a number from 0 to " + std::to_string(std::numeric_limits<T>::max()));
        }
        target = value;
    }

    void boolean(const char* key, bool& target) const {
        if (const ptree* member = find(key)) {
            const std::string word = scalar(*member, key);
            if (word == "true" || word == "1") {
                target = true;
            } else if (word == "false" || word == "0") {
                target = false;
            } else {
                fail(key, "must be true or false");
            }
        }
    }

    void textList(const char* key, std::vector<std::string>& target) const {
        const ptree* member = find(key);
        if (member == nullptr) {
            return;
        }
        // The tree cannot tell [] from "": both are an empty leaf.
        if (member->empty() && !member->data().empty()) {
            fail(key, "must be an array of texts");
        }
        target.clear();
        for (const auto& child : *member) {
            target.push_back(scalar(child.second, key));
        }
    }

    const ptree* find(const char* key) const {
        const auto found = object_.find(key);
        return found == object_.not_found() ? nullptr : &found->second;
    }

    [[noreturn]] void fail(const char* key, const std::string& problem) const {
        throw SimConfigError(where_ + ": \"" + key + "\" " + problem);
    }

private:
    std::string scalar(const ptree& member, const char* key) const {
        if (!member.empty()) {
            fail(key, "must not hold an object or array");
        }
        return member.data();
    }

    const ptree& object_;
    std::string where_;
};

SimDevice readDevice(const ptree& object, const std::string& where) {
    const Reader reader(object, where);
    SimDevice device;
    reader.text("serial", device.serial);
    reader.text("type", device.type);
    reader.text("address", device.address);
    reader.textList("interfaces", device.interfaces);
    reader.text("connected", device.connected);
    reader.text("connectedServerUid", device.connectedServerUid);
    reader.boolean("available", device.available);
    reader.text("owner", device.owner);
    reader.text("status", device.status);
    reader.number("statusFlags", device.statusFlags);
    reader.text("options", device.options);
    reader.number("firmwareRev", device.firmwareRev);
    reader.number("minServRev", device.minServRev);
    reader.number("kvComVersion", device.kvComVersion);
    reader.number("lastRefresh", device.lastRefresh);
    return device;
}

SimServer readServer(const ptree& object, const std::string& where) {
    const Reader reader(object, where);
    SimServer server;
    reader.text("type", server.type);
    reader.textList("addresses", server.addresses);
    reader.number("port", server.port);
    reader.number("apiVersion", server.apiVersion);
    reader.text("serverVersion", server.serverVersion);
    reader.number("minClientRev", server.minClientRev);
    // Devices without a configured "connectedServerUid" belong to this server; its uid
    // may itself come from the first device, so they are filled in last.
    std::vector<std::size_t> ownDevices;
    if (const ptree* devices = reader.find("devices")) {
        for (const auto& child : *devices) {
            const std::string deviceWhere =
                where + " device " + std::to_string(server.devices.size() + 1);
            if (Reader(child.second, deviceWhere).find("connectedServerUid") == nullptr) {
                ownDevices.push_back(server.devices.size());
            }
            server.devices.push_back(readDevice(child.second, deviceWhere));
        }
    }
    if (reader.find("uid") != nullptr) {
        reader.text("uid", server.uid);
    } else {
        server.uid = "dataserver-" + (server.devices.empty() ? "" : server.devices[0].serial);
    }
    for (const std::size_t index : ownDevices) {
        server.devices[index].connectedServerUid = server.uid;
    }
    return server;
}

std::string paddedSerial(std::size_t number, std::size_t width) {
    std::string digits = std::to_string(number);
    if (digits.size() < width) {
        digits.insert(0, width - digits.size(), '0');
    }
    return "RB" + digits;
}

} // namespace

std::vector<SimServer> parseSimConfig(const std::string& json) {
    ptree root;
    try {
        std::istringstream in(json);
        boost::property_tree::read_json(in, root);
    } catch (const boost::property_tree::json_parser_error& error) {
        throw SimConfigError("not valid JSON: line " + std::to_string(error.line()) + ": " +
                             error.message());
    }
    const auto servers = root.get_child_optional("servers");
    if (!servers) {
        throw SimConfigError("the top-level member \"servers\" is missing");
    }
    std::vector<SimServer> result;
    std::size_t index = 0;
    for (const auto& child : *servers) {
        result.push_back(readServer(child.second, "server " + std::to_string(++index)));
    }
    return result;
}

std::vector<SimServer> makeSimServers(std::vector<std::string> serials,
                                      std::vector<std::string> types, std::string uid,
                                      std::string serverType) {
    const std::size_t count = std::max<std::size_t>({serials.size(), types.size(), 1});
    for (std::size_t i = serials.size(); i < count; ++i) {
        serials.push_back(paddedSerial(i + 1, 4));
    }
    types.resize(count, "RBLK");

    SimServer server;
    server.type = std::move(serverType);
    server.uid = uid.empty() ? "dataserver-" + serials.front() : std::move(uid);
    for (std::size_t i = 0; i < count; ++i) {
        SimDevice device;
        device.serial = std::move(serials[i]);
        device.type = std::move(types[i]);
        device.connectedServerUid = server.uid;
        server.devices.push_back(std::move(device));
    }
    return {std::move(server)};
}

std::vector<SimServer> makeGeneratedServers(std::size_t count) {
    const std::size_t width = std::max<std::size_t>(4, std::to_string(count).size());
    std::vector<SimServer> servers(count);
    for (std::size_t i = 0; i < count; ++i) {
        SimDevice device;
        device.serial = paddedSerial(i + 1, width);
        servers[i].uid = "sim-" + device.serial;
        device.connectedServerUid = servers[i].uid;
        servers[i].devices.push_back(std::move(device));
    }
    return servers;
}

} // namespace velmor::tools
