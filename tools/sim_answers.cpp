#include "tools/sim_answers.h"

#include <string_view>

#include <boost/property_tree/ptree.hpp>

#include "protocol/answer_processing.h"
#include "protocol/json_writer.h"

namespace velmor::tools {

namespace {

// Bytes pass unchanged, ill-formed UTF-8 included, so that tests can hand the finder any
// text; the escapes stay those rbsim's answers have always carried.
constexpr JsonEscaping answerEscaping{
    .safeText = false, .shortEscapes = "\n\r\t", .upperCaseHex = true};
// A raw answer gets the id with every control character as \u00xx.
constexpr JsonEscaping rawIdEscaping{.safeText = false, .shortEscapes = "", .upperCaseHex = false};

void writeTexts(JsonWriter& json, const char* key, const std::vector<std::string>& values) {
    json.key(key).beginArray();
    for (const auto& value : values) {
        json.string(value);
    }
    json.endArray();
}

void writeDevice(JsonWriter& json, const SimDevice& device) {
    json.beginObject()
        .key("serial")
        .string(device.serial)
        .key("type")
        .string(device.type)
        .key("address")
        .string(device.address);
    writeTexts(json, "interfaces", device.interfaces);
    json.key("connected")
        .string(device.connected)
        .key("connectedServerUid")
        .string(device.connectedServerUid)
        .key("available")
        .boolean(device.available)
        .key("owner")
        .string(device.owner)
        .key("status")
        .string(device.status)
        .key("statusFlags")
        .number(device.statusFlags)
        .key("options")
        .string(device.options)
        .key("firmwareRev")
        .number(device.firmwareRev)
        .key("minServRev")
        .number(device.minServRev)
        .key("kvComVersion")
        .number(device.kvComVersion)
        .key("lastRefresh")
        .number(device.lastRefresh)
        .endObject();
}

std::string joinedDevices(const std::vector<SimDevice>& devices) {
    std::string joined;
    for (const auto& device : devices) {
        if (!joined.empty()) {
            joined += ',';
        }
        joined += deviceJson(device);
    }
    return joined;
}

} // namespace

std::string withRequestId(const std::string& raw, const std::string& id) {
    static constexpr std::string_view placeholder = "@ID@";
    std::string escaped;
    appendJsonEscaped(escaped, id, rawIdEscaping);
    std::string text;
    std::size_t from = 0;
    for (std::size_t at = raw.find(placeholder); at != std::string::npos;
         at = raw.find(placeholder, from)) {
        text.append(raw, from, at - from);
        text += escaped;
        from = at + placeholder.size();
    }
    text.append(raw, from);
    return text;
}

std::optional<SimRequest> readSimRequest(const std::string& payload) {
    const auto tree = parseJsonPayload(payload);
    if (!tree || readMessageHeader(*tree).messageType != DiscoveryRequestType) {
        return std::nullopt;
    }
    SimRequest request;
    request.id = tree->get<std::string>("id", "");
    request.wantsDevices = tree->count("devices") > 0;
    request.wantsServers = tree->count("servers") > 0;
    return request;
}

std::string deviceJson(const SimDevice& device) {
    JsonWriter json(answerEscaping);
    writeDevice(json, device);
    return json.text();
}

std::string serverJson(const SimServer& server) {
    JsonWriter json(answerEscaping);
    json.beginObject().key("uid").string(server.uid).key("type").string(server.type);
    writeTexts(json, "addresses", server.addresses);
    json.key("port")
        .number(server.port)
        .key("apiVersion")
        .number(server.apiVersion)
        .key("serverVersion")
        .string(server.serverVersion)
        .key("minClientRev")
        .number(server.minClientRev)
        .key("devices")
        .beginArray();
    for (const auto& device : server.devices) {
        writeDevice(json, device);
    }
    json.endArray().endObject();
    return json.text();
}

AnswerBuilder::AnswerBuilder(const std::vector<SimServer>& servers, std::size_t maxDatagramBytes)
    : maxDatagramBytes_(maxDatagramBytes) {
    rendered_.reserve(servers.size());
    for (const auto& server : servers) {
        rendered_.push_back({serverJson(server), joinedDevices(server.devices)});
    }
}

namespace {

constexpr std::string_view devicesOpening = "],\"devices\":[";

// The answer up to its servers, left open for them.
std::string answerPrefix(const AnswerHeader& header) {
    JsonWriter opening(answerEscaping);
    opening.beginObject()
        .key("request")
        .string(DiscoveryAnswerType)
        .key("version")
        .number(header.version)
        .key("id")
        .string(header.id)
        .key("servers")
        .beginArray();
    return opening.text();
}

} // namespace

std::string AnswerBuilder::assemble(const std::string& prefix, const AnswerHeader& header,
                                    std::size_t first, std::size_t last) const {
    std::string text = prefix;
    for (std::size_t i = first; i < last; ++i) {
        if (i > first) {
            text += ',';
        }
        text += rendered_[i].server;
    }
    if (header.withDevices) {
        text += devicesOpening;
        bool any = false;
        for (std::size_t i = first; i < last; ++i) {
            if (!rendered_[i].devices.empty()) {
                text += any ? "," : "";
                text += rendered_[i].devices;
                any = true;
            }
        }
    }
    text += "]}";
    return text;
}

std::vector<std::string> AnswerBuilder::datagrams(const AnswerHeader& header) const {
    const std::string prefix = answerPrefix(header);
    const std::size_t emptySize =
        prefix.size() + 2 + (header.withDevices ? devicesOpening.size() : 0);
    std::vector<std::string> result;
    std::size_t first = 0;
    std::size_t size = emptySize;
    bool groupHasDevices = false;
    for (std::size_t i = 0; i < rendered_.size(); ++i) {
        const Rendered& server = rendered_[i];
        const bool addsDevices = header.withDevices && !server.devices.empty();
        const auto grown = [&](std::size_t base, bool empty, bool hasDevices) {
            return base + server.server.size() + (empty ? 0 : 1) +
                   (addsDevices ? server.devices.size() + (hasDevices ? 1 : 0) : 0);
        };
        std::size_t next = grown(size, i == first, groupHasDevices);
        if (i > first && next > maxDatagramBytes_) {
            result.push_back(assemble(prefix, header, first, i));
            first = i;
            groupHasDevices = false;
            next = grown(emptySize, true, false);
        }
        size = next;
        groupHasDevices = groupHasDevices || addsDevices;
    }
    if (first < rendered_.size() || result.empty()) {
        result.push_back(assemble(prefix, header, first, rendered_.size()));
    }
    return result;
}

} // namespace velmor::tools
