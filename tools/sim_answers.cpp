#include "tools/sim_answers.h"

#include <string_view>

#include <boost/property_tree/ptree.hpp>

#include "protocol/answer_processing.h"

namespace velmor::tools {

namespace {

// JSON string escaping; bytes from 0x80 up pass unchanged, as UTF-8 text should.
void appendQuoted(std::string& out, const std::string& text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20) {
                out += "\\u00";
                out += hex[byte >> 4];
                out += hex[byte & 0x0F];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

// Writes the members of one object in call order, without white space.
class ObjectWriter {
public:
    ObjectWriter() { out_ += '{'; }

    ObjectWriter& text(const char* key, const std::string& value) {
        appendQuoted(member(key), value);
        return *this;
    }
    ObjectWriter& number(const char* key, std::uint64_t value) {
        member(key) += std::to_string(value);
        return *this;
    }
    ObjectWriter& boolean(const char* key, bool value) {
        member(key) += value ? "true" : "false";
        return *this;
    }
    ObjectWriter& texts(const char* key, const std::vector<std::string>& values) {
        std::string& out = member(key);
        out += '[';
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i > 0) {
                out += ',';
            }
            appendQuoted(out, values[i]);
        }
        out += ']';
        return *this;
    }
    // `json` is already one JSON value.
    ObjectWriter& raw(const char* key, const std::string& json) {
        member(key) += json;
        return *this;
    }
    std::string finish() {
        out_ += '}';
        return std::move(out_);
    }

private:
    std::string& member(const char* key) {
        if (out_.size() > 1) {
            out_ += ',';
        }
        appendQuoted(out_, key);
        out_ += ':';
        return out_;
    }

    std::string out_;
};

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
    for (const char c : id) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            escaped += '\\';
            escaped += c;
        } else if (byte < 0x20) {
            static constexpr char hex[] = "0123456789abcdef";
            escaped += "\\u00";
            escaped += hex[byte >> 4];
            escaped += hex[byte & 0xF];
        } else {
            escaped += c;
        }
    }
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
    return ObjectWriter()
        .text("serial", device.serial)
        .text("type", device.type)
        .text("address", device.address)
        .texts("interfaces", device.interfaces)
        .text("connected", device.connected)
        .text("connectedServerUid", device.connectedServerUid)
        .boolean("available", device.available)
        .text("owner", device.owner)
        .text("status", device.status)
        .number("statusFlags", device.statusFlags)
        .text("options", device.options)
        .number("firmwareRev", device.firmwareRev)
        .number("minServRev", device.minServRev)
        .number("kvComVersion", device.kvComVersion)
        .number("lastRefresh", device.lastRefresh)
        .finish();
}

std::string serverJson(const SimServer& server) {
    return ObjectWriter()
        .text("uid", server.uid)
        .text("type", server.type)
        .texts("addresses", server.addresses)
        .number("port", server.port)
        .number("apiVersion", server.apiVersion)
        .text("serverVersion", server.serverVersion)
        .number("minClientRev", server.minClientRev)
        .raw("devices", "[" + joinedDevices(server.devices) + "]")
        .finish();
}

AnswerBuilder::AnswerBuilder(const std::vector<SimServer>& servers, std::size_t maxDatagramBytes)
    : maxDatagramBytes_(maxDatagramBytes) {
    rendered_.reserve(servers.size());
    for (const auto& server : servers) {
        rendered_.push_back({serverJson(server), joinedDevices(server.devices)});
    }
}

std::vector<std::string> AnswerBuilder::datagrams(const AnswerHeader& header) const {
    std::string prefix = ObjectWriter()
                             .text("request", DiscoveryAnswerType)
                             .number("version", header.version)
                             .text("id", header.id)
                             .finish();
    prefix.pop_back(); // reopen the object for "servers"
    prefix += ",\"servers\":[";
    static constexpr std::string_view devicesOpening = "],\"devices\":[";

    // One group of servers [first, last) per datagram.
    const auto assemble = [&](std::size_t first, std::size_t last) {
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
    };

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
            result.push_back(assemble(first, i));
            first = i;
            groupHasDevices = false;
            next = grown(emptySize, true, false);
        }
        size = next;
        groupHasDevices = groupHasDevices || addsDevices;
    }
    if (first < rendered_.size() || result.empty()) {
        result.push_back(assemble(first, rendered_.size()));
    }
    return result;
}

} // namespace velmor::tools
