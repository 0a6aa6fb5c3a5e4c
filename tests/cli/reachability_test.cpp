// The reachability rules as one table: this computer's subnets and the addresses answers
// came from in, the findings out.
#include "cli/reachability.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace velmor::cli {
namespace {

LocalSubnet subnet(std::string address, std::uint32_t prefix, std::string adapter,
                   bool loopback = false) {
    return {std::move(address), prefix, std::move(adapter), loopback};
}

struct ReachCase {
    const char* name;
    std::vector<LocalSubnet> subnets;
    std::vector<std::string> instruments;
    bool nothingListed;
    std::vector<std::string> findings; // "kind subject"
};

const LocalSubnet lo = subnet("127.0.0.1", 8, "lo", true);
const LocalSubnet lan = subnet("192.168.1.20", 24, "eth0");

TEST(Reachability, FindsWhatKeepsAnInstrumentOutOfReach) {
    const std::vector<ReachCase> cases{
        {"InTheSubnet", {lo, lan}, {"192.168.1.7", "127.0.0.1"}, false, {}},
        {"OutsideEverySubnetOnce",
         {lo, lan},
         {"10.0.0.7", "10.0.0.7", "192.168.2.7"},
         false,
         {"unreachable 10.0.0.7", "unreachable 192.168.2.7"}},
        {"PrefixDecides",
         {subnet("10.1.2.3", 16, "eth0")},
         {"10.1.200.9", "10.2.0.1"},
         false,
         {"unreachable 10.2.0.1"}},
        {"LoopbackSubnetReachesNothingElse",
         {lo},
         {"127.0.0.5", "10.0.0.1"},
         false,
         {"unreachable 10.0.0.1"}},
        {"InstrumentLinkLocalAdapterNot",
         {lo, lan},
         {"169.254.10.9"},
         false,
         {"linkLocal 169.254.10.9"}},
        {"BothLinkLocalOnADirectCable",
         {lan, subnet("169.254.3.4", 16, "eth1")},
         {"169.254.10.9"},
         false,
         {"onlyLinkLocal eth1"}},
        {"AdapterLinkLocalInstrumentNot",
         {subnet("169.254.3.4", 16, "eth1")},
         {"192.168.1.7"},
         false,
         {"unreachable 192.168.1.7", "onlyLinkLocal eth1"}},
        {"AnAdapterWithAnotherAddressHasDhcp",
         {subnet("169.254.3.4", 16, "eth0"), subnet("192.168.1.20", 24, "eth0")},
         {},
         true,
         {}},
        {"VirtualAdaptersNamedOnlyWhenNothingListed",
         {lan, subnet("10.8.0.2", 24, "tun0"), subnet("172.17.0.1", 16, "docker0"),
          subnet("10.9.0.1", 24, "Corporate VPN")},
         {},
         true,
         {"virtualAdapter tun0", "virtualAdapter docker0", "virtualAdapter Corporate VPN"}},
        {"VirtualAdaptersNotNamedWhenSomethingListed",
         {lan, subnet("10.8.0.2", 24, "tun0")},
         {"192.168.1.7"},
         false,
         {}},
        {"NotAnAddress", {lan}, {"", "host.example", "1.2.3", "1.2.3.256"}, false, {}},
        {"NoSubnetsAtAll", {}, {"10.0.0.1"}, false, {"unreachable 10.0.0.1"}},
    };
    for (const ReachCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> found;
        for (const ReachabilityFinding& finding :
             findReachability(c.subnets, c.instruments, c.nothingListed)) {
            found.push_back(std::string(kindName(finding.kind)) + " " + finding.subject);
            EXPECT_FALSE(finding.text.empty());
        }
        EXPECT_EQ(found, c.findings);
    }
}

TEST(Reachability, TheTextNamesTheSubnetsAndWhatToDo) {
    const std::vector<ReachabilityFinding> findings =
        findReachability({lo, lan}, {"10.0.0.7"}, false);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].text,
              "10.0.0.7 answered but is in none of this computer's subnets (192.168.1.20/24 "
              "(eth0)): its web page cannot be opened without a route to it. Give the "
              "instrument an address in one of these subnets, or this computer one in the "
              "instrument's");
}

} // namespace
} // namespace velmor::cli
