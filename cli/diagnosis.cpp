#include "cli/diagnosis.h"

#include <algorithm>
#include <sstream>
#include <utility>

#include "cli/terminal_text.h"

namespace velmor::cli {

namespace {

std::string explain(Exclusion reason, const ServerInfo& server) {
    switch (reason) {
    case Exclusion::notDataServer:
        return "server type \"" + server.type + "\" is not \"dataserver\"";
    case Exclusion::notRbType:
        return "not an RB type";
    case Exclusion::notServersOwn:
        return "server uid \"" + server.uid + "\" does not contain the serial";
    case Exclusion::none:
        break;
    }
    return {};
}

const char* reasonName(Exclusion reason) {
    switch (reason) {
    case Exclusion::notDataServer:
        return "notDataServer";
    case Exclusion::notRbType:
        return "notRbType";
    case Exclusion::notServersOwn:
        return "notServersOwn";
    case Exclusion::none:
        break;
    }
    return "none";
}

bool isLoopbackText(const std::string& address) {
    return address.starts_with("127.");
}

std::vector<std::string> hintsFor(const Diagnosis& d) {
    const SearchStatistics& s = d.statistics;
    std::vector<std::string> hints;
    if (s.requestsSent == 0) {
        hints.emplace_back("no request could be sent: see the socket lines for the errors");
        return hints;
    }
    const auto& reports = s.socketReports;
    const bool onlyLoopback =
        std::all_of(reports.begin(), reports.end(),
                    [](const SocketReport& r) { return isLoopbackText(r.localAddress); });
    if (!d.unicast && onlyLoopback) {
        hints.emplace_back("only loopback is up: no network adapter has an IPv4 address yet; "
                           "connect the cable or wait until the adapter gets its address");
    }
    if (s.receivedDatagrams == 0) {
        hints.emplace_back(
            "nothing came back at all: check that the firewall lets in UDP from the "
            "instrument (it answers from ports 8017 and 8018 to the port the request left "
            "from)");
        if (!d.unicast) {
            hints.emplace_back("multicast does not cross routers and most VPNs: ask an "
                               "instrument in another subnet with --host ADDRESS");
        }
    } else if (s.acceptedAnswers == 0) {
        hints.emplace_back("answers were sent to us but none matched this search: see the "
                           "skipped datagrams above");
    } else if (!d.leftOut.empty()) {
        hints.emplace_back("servers answered, but the devices they reported were left out "
                           "for the reasons above; --all lists them");
    } else if (d.servers > 0) {
        hints.emplace_back("servers answered, but none reported a device");
    } else {
        hints.emplace_back("answers to this search came, but they described no server");
    }
    return hints;
}

void appendCount(std::string& text, std::size_t count, const char* what) {
    if (count > 0) {
        text += (text.empty() ? "" : ", ") + std::to_string(count) + " " + what;
    }
}

std::string socketLine(const SocketReport& r) {
    std::string line = "  " + (r.localAddress.empty() ? std::string("-") : r.localAddress) +
                       " -> " + r.destination + ":" + std::to_string(r.port) + ": ";
    if (!r.opened) {
        return line + "socket not opened (" + terminalSafe(r.openError) + ")";
    }
    if (!r.sent) {
        return line + "request not sent (" + terminalSafe(r.sendError) + ")";
    }
    const ReceptionCounts& c = r.counts;
    line += "request sent; " + std::to_string(c.received) + " datagrams received, " +
            std::to_string(r.stored) + " stored, " + std::to_string(c.accepted) +
            " accepted as answers to this search";
    std::string skipped;
    appendCount(skipped, c.notJson, "not JSON");
    appendCount(skipped, c.notAnAnswer, "not an answer");
    appendCount(skipped, c.otherRequest, "another request's id");
    appendCount(skipped, r.dropped, "over the storage bound");
    if (!skipped.empty()) {
        line += "; skipped: " + skipped;
    }
    if (c.cut > 0) {
        line += "; " + std::to_string(c.cut) + " cut to 4096 bytes";
    }
    if (c.otherVersion > 0) {
        line += "; " + std::to_string(c.otherVersion) +
                " of another protocol version (used all the same)";
    }
    return line;
}

} // namespace

Diagnosis diagnose(const SearchStatistics& statistics, const std::list<ServerInfo>& servers,
                   SelectionMode mode, std::size_t listed, bool unicast,
                   const std::vector<LocalSubnet>& subnets) {
    Diagnosis d;
    d.statistics = statistics;
    d.unicast = unicast;
    d.servers = servers.size();
    d.listed = listed;
    if (mode == SelectionMode::window) {
        for (const ServerInfo& server : servers) {
            for (const DeviceInfo& device : server.devices) {
                const Exclusion reason = windowExclusion(server, device);
                if (reason == Exclusion::none) {
                    continue;
                }
                LeftOutDevice out;
                out.device = device;
                out.device.address = server.addresses.empty() ? "" : server.addresses.front();
                out.serverUid = server.uid;
                out.reason = reason;
                out.explanation = explain(reason, server);
                // An instrument answering on both ports is told once.
                const bool told = std::any_of(
                    d.leftOut.begin(), d.leftOut.end(), [&out](const LeftOutDevice& other) {
                        return other.device == out.device && other.serverUid == out.serverUid &&
                               other.explanation == out.explanation;
                    });
                if (!told) {
                    d.leftOut.push_back(std::move(out));
                }
            }
        }
    }
    std::vector<std::string> instruments;
    if (!unicast) {
        for (const ServerInfo& server : servers) {
            if (!server.addresses.empty()) {
                instruments.push_back(server.addresses.front());
            }
        }
    }
    d.reachability = findReachability(subnets, instruments, listed == 0);
    if (listed == 0) {
        d.hints = hintsFor(d);
    }
    return d;
}

std::string diagnosisText(const Diagnosis& d) {
    const SearchStatistics& s = d.statistics;
    std::ostringstream out;
    out << "Diagnosis of search "
        << (s.requestId.empty() ? "(none sent)" : terminalSafe(s.requestId))
        << (d.unicast ? " (unicast)" : " (multicast)") << ":\n";
    out << "Sockets:" << (s.socketReports.empty() ? " none (no local IPv4 address)" : "") << '\n';
    for (const SocketReport& report : s.socketReports) {
        out << socketLine(report) << '\n';
    }
    out << "Servers found: " << d.servers << "; devices listed: " << d.listed << '\n';
    if (!d.leftOut.empty()) {
        out << "Devices found but not listed:\n";
        for (const LeftOutDevice& left : d.leftOut) {
            // The fields whole, NULs shown escaped: the rule may turn on what a row hides.
            const DeviceInfo& device = left.device;
            out << "  "
                << terminalSafe(device.type + " - " + device.serial + " - " + device.address)
                << ": " << terminalSafe(left.explanation) << '\n';
        }
    }
    if (!d.reachability.empty()) {
        out << "Reachability:\n";
        for (const ReachabilityFinding& finding : d.reachability) {
            out << "  " << terminalSafe(finding.text) << '\n';
        }
    }
    for (const std::string& hint : d.hints) {
        out << "Hint: " << hint << '\n';
    }
    return out.str();
}

void writeDiagnosisJson(JsonWriter& json, const Diagnosis& d) {
    json.beginObject();
    json.key("unicast").boolean(d.unicast);
    json.key("sockets").beginArray();
    for (const SocketReport& r : d.statistics.socketReports) {
        json.beginObject();
        json.key("localAddress").string(r.localAddress);
        json.key("destination").string(r.destination);
        json.key("port").number(r.port);
        json.key("opened").boolean(r.opened);
        json.key("openError").string(r.openError);
        json.key("sent").boolean(r.sent);
        json.key("sendError").string(r.sendError);
        json.key("received").number(r.counts.received);
        json.key("stored").number(r.stored);
        json.key("accepted").number(r.counts.accepted);
        json.key("otherVersion").number(r.counts.otherVersion);
        json.key("cut").number(r.counts.cut);
        json.key("skipped").beginObject();
        json.key("notJson").number(r.counts.notJson);
        json.key("notAnAnswer").number(r.counts.notAnAnswer);
        json.key("otherRequest").number(r.counts.otherRequest);
        json.key("overStorageBound").number(r.dropped);
        json.endObject();
        json.endObject();
    }
    json.endArray();
    json.key("servers").number(d.servers);
    json.key("listed").number(d.listed);
    json.key("notListed").beginArray();
    for (const LeftOutDevice& left : d.leftOut) {
        json.beginObject();
        json.key("type").string(left.device.type);
        json.key("serial").string(left.device.serial);
        json.key("address").string(left.device.address);
        json.key("serverUid").string(left.serverUid);
        json.key("reason").string(reasonName(left.reason));
        json.key("explanation").string(left.explanation);
        json.endObject();
    }
    json.endArray();
    json.key("reachability").beginArray();
    for (const ReachabilityFinding& finding : d.reachability) {
        json.beginObject();
        json.key("kind").string(kindName(finding.kind));
        json.key("subject").string(finding.subject);
        json.key("hint").string(finding.text);
        json.endObject();
    }
    json.endArray();
    json.key("hints").beginArray();
    for (const std::string& hint : d.hints) {
        json.string(hint);
    }
    json.endArray();
    json.endObject();
}

} // namespace velmor::cli
