// The Linux adapter source against real links, each case in a network namespace of its
// own so that nothing leaves this machine.
#if defined(__linux__)

#include "net/local_addresses.h"

#include <functional>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <net/if.h>

#include "support/netns.h"

namespace velmor {
namespace {

using testing::runCommand;
using testing::waitForLinkRunning;
using Kind = AddressKind;

std::string serialize(const std::vector<LocalAddress>& addresses) {
    std::string text;
    for (const LocalAddress& address : addresses) {
        text += std::to_string(kindBit(address.kind)) + ' ' + address.address + '\n';
    }
    return text;
}

std::vector<LocalAddress> parse(const std::string& text) {
    std::vector<LocalAddress> addresses;
    std::istringstream in(text);
    std::uint32_t kind = 0;
    for (std::string address; in >> kind >> address;) {
        addresses.push_back({static_cast<AddressKind>(kind), address});
    }
    return addresses;
}

std::optional<std::string> runInNamespace(const std::function<std::string()>& body,
                                          std::string& skipReason) {
    return testing::outputInNewNetworkNamespace(body, skipReason);
}

const std::vector<std::string> vethPair = {"ip link add v0 type veth peer name v1"};

struct NamespaceCase {
    const char* name;
    std::vector<std::string> commands;
    std::vector<std::string> runningLinks; // waited for before enumerating
    std::uint32_t kindMask;
    std::uint32_t flags;
    std::vector<LocalAddress> expected;
};

void PrintTo(const NamespaceCase& c, std::ostream* out) {
    *out << c.name;
}

class InNamespace : public ::testing::TestWithParam<NamespaceCase> {};

TEST_P(InNamespace, EnumeratesLinksThatAreUp) {
    const NamespaceCase& c = GetParam();
    std::string skipReason;
    const auto output = runInNamespace(
        [&c] {
            for (const std::string& command : c.commands) {
                runCommand(command);
            }
            for (const std::string& link : c.runningLinks) {
                waitForLinkRunning(link);
            }
            return serialize(enumerateLocalAddresses(c.kindMask, c.flags));
        },
        skipReason);
    if (!skipReason.empty()) {
        GTEST_SKIP() << skipReason;
    }
    ASSERT_TRUE(output);
    EXPECT_EQ(parse(*output), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    LocalAddressesLinux, InNamespace,
    ::testing::Values(
        NamespaceCase{
            "LoopbackOnly", {"ip link set lo up"}, {}, 15, 0x11, {{Kind::loopback, "127.0.0.1"}}},
        NamespaceCase{"LoopbackWithoutIncludeLoopback", {"ip link set lo up"}, {}, 15, 0x01, {}},
        NamespaceCase{"LoopbackMaskedOut", {"ip link set lo up"}, {}, 14, 0x11, {}},
        NamespaceCase{"LoopbackDown", {}, {}, 15, 0x13, {}},
        NamespaceCase{"VethPairUp",
                      {"ip link set lo up", vethPair[0], "ip addr add 192.168.1.3/24 dev v1",
                       "ip addr add 10.0.0.5/24 dev v0", "ip addr add 192.168.1.20/24 dev v0",
                       "ip addr add 10.0.0.5/24 dev v1", "ip link set v0 up", "ip link set v1 up"},
                      {"v0", "v1"},
                      15,
                      0x11,
                      {{Kind::loopback, "127.0.0.1"},
                       {Kind::other, "10.0.0.5"},
                       {Kind::other, "192.168.1.20"},
                       {Kind::other, "192.168.1.3"}}},
        NamespaceCase{"VethPairOneEndDown",
                      {"ip link set lo up", vethPair[0], "ip addr add 10.0.0.5/24 dev v0",
                       "ip addr add 10.0.0.6/24 dev v1", "ip link set v0 up"},
                      {},
                      15,
                      0x11,
                      {{Kind::loopback, "127.0.0.1"}}}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(LocalAddressesLinux, Ipv6SkipsTransientAndScopesLinkLocal) {
    std::string skipReason;
    const auto result = runInNamespace(
        [] {
            for (const char* command : {
                     "ip link set lo up",
                     "ip link add v0 type veth peer name v1",
                     // No automatic link-local addresses: the test adds its own.
                     "ip link set v0 addrgenmode none",
                     "ip link set v1 addrgenmode none",
                     "ip link set v0 up",
                     "ip link set v1 up",
                     "ip addr add 10.0.0.5/24 dev v0",
                     "ip addr add 2001:db8::5/64 dev v0 nodad",
                     "ip addr add fe80::5/64 dev v0 nodad",
                     "ip addr add 2001:db8::7/64 dev v0 nodad valid_lft forever preferred_lft 0",
                     // Duplicate detection on v1 then takes at least 30 s: tentative throughout.
                     "ip ntable change name ndisc_cache dev v1 retrans 30000",
                 }) {
                runCommand(command);
            }
            waitForLinkRunning("v0");
            waitForLinkRunning("v1");
            runCommand("ip addr add 2001:db8::6/64 dev v1");
            return std::to_string(if_nametoindex("v0")) + '\n' +
                   serialize(enumerateLocalAddresses(15, 0x12)) + "-- -\n" +
                   serialize(enumerateLocalAddresses(15, 0x10));
        },
        skipReason);
    if (!skipReason.empty()) {
        GTEST_SKIP() << skipReason;
    }
    ASSERT_TRUE(result);
    const std::string& output = *result;
    std::istringstream in(output);
    std::string v0Index;
    std::getline(in, v0Index);
    const std::string rest = output.substr(v0Index.size() + 1);
    const auto separator = rest.find("-- -\n");
    ASSERT_NE(separator, std::string::npos) << output;

    const std::vector<LocalAddress> withIpv6 = {{Kind::loopback, "127.0.0.1"},
                                                {Kind::loopback, "::1"},
                                                {Kind::other, "10.0.0.5"},
                                                {Kind::other, "2001:db8::5"},
                                                {Kind::other, "fe80::5%" + v0Index}};
    EXPECT_EQ(parse(rest.substr(0, separator)), withIpv6);
    const std::vector<LocalAddress> ipv4Only = {{Kind::loopback, "127.0.0.1"},
                                                {Kind::other, "10.0.0.5"}};
    EXPECT_EQ(parse(rest.substr(separator + 5)), ipv4Only);
}

} // namespace
} // namespace velmor

#endif
