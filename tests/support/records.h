#pragma once

#include <string>
#include <utility>
#include <vector>

#include "protocol/server_info.h"

// Records as a search would return them, for tests that start past the parsing. Each
// builder converts to its record, so it goes wherever a DeviceInfo or ServerInfo does:
//     server("lab-RB1", {device("RB1").type("RBX")}).address("10.0.0.1")
namespace velmor::testing {

// An "RBLK" with no address of its own.
class DeviceBuilder {
public:
    explicit DeviceBuilder(std::string serial) {
        record.serial = std::move(serial);
        record.type = "RBLK";
    }
    DeviceBuilder& type(std::string value) {
        record.type = std::move(value);
        return *this;
    }
    DeviceBuilder& address(std::string value) {
        record.address = std::move(value);
        return *this;
    }
    operator DeviceInfo() const { return record; }

private:
    DeviceInfo record;
};

inline DeviceBuilder device(std::string serial) {
    return DeviceBuilder(std::move(serial));
}

// A "dataserver" at 10.0.0.5 listing the devices in the given order.
class ServerBuilder {
public:
    ServerBuilder(std::string uid, std::vector<DeviceInfo> devices) {
        record.uid = std::move(uid);
        record.type = "dataserver";
        record.addresses = {"10.0.0.5"};
        record.devices = std::move(devices);
    }
    ServerBuilder& type(std::string value) {
        record.type = std::move(value);
        return *this;
    }
    // The only address.
    ServerBuilder& address(std::string value) {
        record.addresses = {std::move(value)};
        return *this;
    }
    ServerBuilder& addresses(std::vector<std::string> values) {
        record.addresses = std::move(values);
        return *this;
    }
    operator ServerInfo() const { return record; }

private:
    ServerInfo record;
};

inline ServerBuilder server(std::string uid, std::vector<DeviceInfo> devices) {
    return ServerBuilder(std::move(uid), std::move(devices));
}

// A data server whose "RBLK" devices the window lists: its uid ("RB1;RB2;") holds
// every serial.
inline ServerInfo listingServer(const std::string& address,
                                const std::vector<std::string>& serials) {
    std::vector<DeviceInfo> devices;
    std::string uid;
    for (const std::string& serial : serials) {
        devices.push_back(device(serial));
        uid += serial + ";";
    }
    return server(std::move(uid), std::move(devices)).address(address);
}

} // namespace velmor::testing
