#include "cli/search_result_json.h"

#include <cstdint>

#include "protocol/device_family.h"
#include "protocol/json_writer.h"

namespace velmor::cli {

namespace {

std::uint64_t numberOf(auto enumerator) {
    return static_cast<std::uint64_t>(enumerator);
}

void writeDevice(JsonWriter& json, const DeviceInfo& device, bool withFamily) {
    json.beginObject();
    json.key("serial").string(device.serial);
    json.key("type").string(device.type);
    json.key("address").string(device.address);
    json.key("interfaces").beginArray();
    for (const InterfaceType attachment : device.interfaces) {
        json.number(numberOf(attachment));
    }
    json.endArray();
    json.key("connected").number(numberOf(device.connected));
    json.key("connectedServerUid").string(device.connectedServerUid);
    json.key("available").boolean(device.available);
    json.key("owner").string(device.owner);
    json.key("status").string(device.status);
    json.key("statusFlags").number(device.statusFlags);
    json.key("options").string(device.options);
    json.key("firmwareRev").number(device.firmwareRev);
    json.key("minServRev").number(device.minServRev);
    json.key("kvComVersion").number(device.kvComVersion);
    json.key("lastRefresh").number(device.lastRefresh);
    if (withFamily) {
        json.key("family").number(numberOf(deviceFamilyFromType(device.type)));
    }
    json.endObject();
}

void writeServer(JsonWriter& json, const ServerInfo& server) {
    json.beginObject();
    json.key("uid").string(server.uid);
    json.key("type").string(server.type);
    json.key("addresses").beginArray();
    for (const std::string& address : server.addresses) {
        json.string(address);
    }
    json.endArray();
    json.key("port").number(server.port);
    json.key("apiVersion").number(server.apiVersion);
    json.key("serverVersion").string(server.serverVersion);
    json.key("minClientRev").number(server.minClientRev);
    json.key("devices").beginArray();
    for (const DeviceInfo& device : server.devices) {
        writeDevice(json, device, false);
    }
    json.endArray();
    json.endObject();
}

} // namespace

std::string searchResultJson(std::string_view requestId, const std::list<ServerInfo>& servers,
                             const std::vector<DeviceInfo>& devices, const Diagnosis* diagnosis) {
    JsonWriter json;
    json.beginObject();
    json.key("requestId");
    if (requestId.empty()) {
        json.null();
    } else {
        json.string(requestId);
    }
    json.key("servers").beginArray();
    for (const ServerInfo& server : servers) {
        writeServer(json, server);
    }
    json.endArray();
    json.key("devices").beginArray();
    for (const DeviceInfo& device : devices) {
        writeDevice(json, device, true);
    }
    json.endArray();
    if (diagnosis != nullptr) {
        json.key("diagnosis");
        writeDiagnosisJson(json, *diagnosis);
    }
    json.endObject();
    return json.text();
}

} // namespace velmor::cli
