// rbfind --diagnose from a search's counters and records, without a network.
#include <list>
#include <sstream>
#include <string>
#include <vector>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "cli/diagnosis.h"
#include "cli/search_result_json.h"
#include "support/records.h"

namespace velmor::cli {
namespace {

using testing::device;
using testing::server;

SocketReport sentFrom(const std::string& local, ReceptionCounts counts = {}) {
    SocketReport report;
    report.localAddress = local;
    report.destination = local.starts_with("127.") ? "127.0.0.1" : "239.253.1.1";
    report.port = 8017;
    report.opened = true;
    report.sent = true;
    report.counts = counts;
    return report;
}

struct DiagnosisCase {
    std::string name;
    std::vector<SocketReport> sockets;
    std::list<ServerInfo> servers;
    SelectionMode mode = SelectionMode::window;
    std::size_t listed = 0;
    bool unicast = false;
    std::vector<std::string> expected; // lines the report must hold
    std::vector<std::string> absent;   // texts it must not hold
};

void PrintTo(const DiagnosisCase& c, std::ostream* out) {
    *out << c.name;
}

class DiagnosisReport : public ::testing::TestWithParam<DiagnosisCase> {};

TEST_P(DiagnosisReport, TellsWhatHappened) {
    const DiagnosisCase& c = GetParam();
    SearchStatistics statistics;
    statistics.requestId = "host-1";
    statistics.socketReports = c.sockets;
    for (const SocketReport& report : c.sockets) {
        statistics.requestsSent += report.sent ? 1 : 0;
        statistics.receivedDatagrams += report.counts.received;
        statistics.acceptedAnswers += report.counts.accepted;
    }
    const std::string text =
        diagnosisText(diagnose(statistics, c.servers, c.mode, c.listed, c.unicast));
    for (const std::string& line : c.expected) {
        EXPECT_NE(text.find(line + "\n"), std::string::npos) << "missing: " << line << "\n" << text;
    }
    for (const std::string& part : c.absent) {
        EXPECT_EQ(text.find(part), std::string::npos) << "unexpected: " << part << "\n" << text;
    }
}

SocketReport notOpened() {
    SocketReport report;
    report.localAddress = "10.0.0.5";
    report.destination = "239.253.1.1";
    report.port = 8018;
    report.openError = "Cannot assign requested address";
    return report;
}

SocketReport notSent() {
    SocketReport report = sentFrom("10.0.0.5");
    report.sent = false;
    report.sendError = "Network is unreachable";
    return report;
}

SocketReport everySkip() {
    ReceptionCounts counts;
    counts.received = 17;
    counts.notJson = 1;
    counts.notAnAnswer = 2;
    counts.otherRequest = 3;
    counts.cut = 4;
    counts.accepted = 2;
    counts.otherVersion = 1;
    SocketReport report = sentFrom("10.0.0.5", counts);
    report.stored = 8;
    report.dropped = 5;
    return report;
}

const std::string loopbackHint = "Hint: only loopback is up";
const std::string silenceHint = "Hint: nothing came back at all: check that the firewall lets in "
                                "UDP from the instrument";
const std::string routerHint = "Hint: multicast does not cross routers";

INSTANTIATE_TEST_SUITE_P(
    Cases, DiagnosisReport,
    ::testing::Values(
        DiagnosisCase{"NoSocketOpened",
                      {notOpened(), notSent()},
                      {},
                      SelectionMode::window,
                      0,
                      false,
                      {"  10.0.0.5 -> 239.253.1.1:8018: socket not opened (Cannot assign "
                       "requested address)",
                       "  10.0.0.5 -> 239.253.1.1:8017: request not sent (Network is "
                       "unreachable)",
                       "Hint: no request could be sent: see the socket lines for the errors"},
                      {loopbackHint}},
        DiagnosisCase{"EverySkipReason",
                      {everySkip()},
                      {},
                      SelectionMode::window,
                      0,
                      false,
                      {"  10.0.0.5 -> 239.253.1.1:8017: request sent; 17 datagrams received, "
                       "8 stored, 2 accepted as answers to this search; skipped: 1 not JSON, 2 "
                       "not an answer, 3 another request's id, 5 over the storage bound; 4 cut "
                       "to 4096 bytes; 1 of another protocol version (used all the same)",
                       "Hint: answers to this search came, but they described no server"},
                      {}},
        DiagnosisCase{"OnlyLoopbackAndSilence",
                      {sentFrom("127.0.0.1")},
                      {},
                      SelectionMode::window,
                      0,
                      false,
                      {"Servers found: 0; devices listed: 0"},
                      {}},
        DiagnosisCase{"UnicastSilence",
                      {sentFrom("10.0.0.5")},
                      {},
                      SelectionMode::window,
                      0,
                      true,
                      {},
                      {loopbackHint, routerHint}},
        DiagnosisCase{"AnswersOfOtherSearches",
                      {sentFrom("10.0.0.5", ReceptionCounts{3, 0, 0, 0, 3, 0, 0})},
                      {},
                      SelectionMode::window,
                      0,
                      false,
                      {"Hint: answers were sent to us but none matched this search: see the "
                       "skipped datagrams above"},
                      {silenceHint}},
        DiagnosisCase{
            "DevicesLeftOutByEachRule",
            {sentFrom("10.0.0.5", ReceptionCounts{2, 0, 0, 0, 0, 2, 0})},
            {server("", {device("RB1")}).type("gateway").address("10.1.2.3"),
             server("lab-RB2", {device("RB2"), device("S3").type("SIMDEV")}).address("10.1.2.3"),
             server("lab-x", {device("RB4")}).type("DataServer").address("10.1.2.3"),
             server("lab-x", {device("RB4")}).type("DataServer").address("10.1.2.3")},
            SelectionMode::window,
            0,
            false,
            {"Devices found but not listed:",
             "  RBLK - RB1 - 10.1.2.3: server type \"gateway\" is not \"dataserver\"",
             "  SIMDEV - S3 - 10.1.2.3: not an RB type",
             "  RBLK - RB4 - 10.1.2.3: server uid \"lab-x\" does not contain the serial",
             "Hint: servers answered, but the devices they reported were left out for "
             "the reasons above; --all lists them"},
            {"RB2 -", "RB4 - 10.1.2.3: server uid \"lab-x\" does not contain the "
                      "serial\n  RBLK - RB4"}},
        DiagnosisCase{"AllLeavesNothingOutAndListedNeedsNoHint",
                      {sentFrom("127.0.0.1", ReceptionCounts{1, 0, 0, 0, 0, 1, 0})},
                      {server("", {device("RB1")}).type("gateway")},
                      SelectionMode::all,
                      1,
                      false,
                      {"Servers found: 1; devices listed: 1"},
                      {"not listed", "Hint:"}}));

TEST(DiagnosisReport, SilenceOnLoopbackGivesEveryHintInOrder) {
    SearchStatistics statistics;
    statistics.requestsSent = 1;
    statistics.socketReports = {sentFrom("127.0.0.1")};
    const Diagnosis d = diagnose(statistics, {}, SelectionMode::window, 0, false);
    ASSERT_EQ(d.hints.size(), 3U);
    EXPECT_TRUE(("Hint: " + d.hints[0]).starts_with(loopbackHint));
    EXPECT_TRUE(("Hint: " + d.hints[1]).starts_with(silenceHint));
    EXPECT_TRUE(("Hint: " + d.hints[2]).starts_with(routerHint));
}

TEST(DiagnosisReport, IsTheLastMemberOfTheJsonDocument) {
    SearchStatistics statistics;
    statistics.requestsSent = 1;
    statistics.receivedDatagrams = 17;
    statistics.acceptedAnswers = 2;
    statistics.socketReports = {everySkip()};
    const std::list<ServerInfo> servers{server("", {device("S3\x1b").type("SIMDEV")})};
    const Diagnosis d = diagnose(statistics, servers, SelectionMode::window, 0, false);
    const std::string json = searchResultJson("host-1", servers, {}, &d);
    boost::property_tree::ptree tree;
    std::istringstream in(json);
    ASSERT_NO_THROW(boost::property_tree::read_json(in, tree)) << json;
    const auto& diagnosis = tree.get_child("diagnosis");
    EXPECT_EQ(diagnosis.get<std::string>("sockets..cut"), "4");
    EXPECT_EQ(diagnosis.get<std::string>("sockets..skipped.overStorageBound"), "5");
    EXPECT_EQ(diagnosis.get<std::string>("notListed..reason"), "notRbType");
    EXPECT_EQ(diagnosis.get<std::string>("notListed..serial"), "S3\x1b");
    EXPECT_EQ(diagnosis.get_child("hints").size(), 1U);
    EXPECT_GT(json.find("\"diagnosis\":{"), json.find("\"devices\":[]")) << json;
}

} // namespace
} // namespace velmor::cli
