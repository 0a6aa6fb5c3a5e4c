#include "protocol/answer_processing.h"

#include <sstream>

#include <KVLogger>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "protocol/newline_repair.h"

namespace velmor {

using boost::property_tree::ptree;
using logging::LogMessage;

std::size_t jsonNestingDepth(const std::string& text, std::size_t limit) {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '[':
        case '{':
            if (++depth > deepest) {
                deepest = depth;
                if (deepest > limit) {
                    return deepest;
                }
            }
            break;
        case ']':
        case '}':
            if (depth > 0) {
                --depth;
            }
            break;
        default:
            break;
        }
    }
    return deepest;
}

std::optional<ptree> parseJsonPayload(const std::string& payload) {
    if (jsonNestingDepth(payload, MaxJsonNesting) > MaxJsonNesting) {
        return std::nullopt;
    }
    std::istringstream in(payload);
    ptree tree;
    try {
        boost::property_tree::read_json(in, tree);
    } catch (const boost::property_tree::json_parser_error&) {
        return std::nullopt;
    }
    return tree;
}

std::size_t AnswerRecords::recordCount() const {
    std::size_t count = devices.size() + servers.size();
    for (const ServerInfo& server : servers) {
        count += server.devices.size();
    }
    return count;
}

AnswerVerdict processAnswer(const ReceivedAnswer& received, const DiscoveryRequest& request,
                            AnswerRecords& records) {
    records = AnswerRecords{};
    const auto tree = parseJsonPayload(escapeNewlinesInStrings(received.payload));
    if (!tree) {
        return AnswerVerdict::notJson;
    }
    // A message without "request" is no answer: skip it like any other type.
    const auto type = tree->get_optional<std::string>("request");
    if (!type || *type != DiscoveryAnswerType) {
        return AnswerVerdict::notAnAnswer;
    }
    auto answer = parseDiscoveryAnswer(*tree);
    // Answers to an earlier search carry an earlier id.
    if (answer.header.id != request.id) {
        return AnswerVerdict::otherRequest;
    }
    records.version = answer.header.version;
    if (answer.header.version < DiscoveryProtocolVersion) {
        LogMessage(logging::debug) << "Discovery answer sent by an outdated server";
    } else if (answer.header.version > DiscoveryProtocolVersion) {
        LogMessage(logging::debug)
            << "Discovery answer sent by a newer server. Please upgrade client.";
    }
    if ((request.flags & RequestFlag::Devices) != 0) {
        for (auto& device : answer.devices) {
            device.address = received.sender;
        }
        records.devices = std::move(answer.devices);
    }
    if ((request.flags & RequestFlag::Servers) != 0) {
        for (auto& server : answer.servers) {
            server.addresses.assign(1, received.sender);
        }
        records.servers = std::move(answer.servers);
    }
    return AnswerVerdict::accepted;
}

void processAnswers(std::forward_list<ReceivedAnswer>& answers, const DiscoveryRequest& request,
                    std::list<DeviceInfo>& devices, std::list<ServerInfo>& servers) {
    std::list<DeviceInfo> newDevices;
    std::list<ServerInfo> newServers;
    AnswerRecords records;
    for (const auto& received : answers) {
        if (processAnswer(received, request, records) == AnswerVerdict::accepted) {
            newDevices.splice(newDevices.end(), records.devices);
            newServers.splice(newServers.end(), records.servers);
        }
    }
    answers.clear();
    devices = std::move(newDevices);
    servers = std::move(newServers);
}

} // namespace velmor
