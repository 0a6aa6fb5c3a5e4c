#include "net/local_address_core.h"

#include <cstdlib>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "net/linux_link_text.h"
#include "support/log_capture.h"

namespace velmor::detail {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Kind = AddressKind;
using Flags = LocalAddressFlags;

UnicastAddressDescription v4(std::string text) {
    return {AddressFamily::ipv4, false, std::move(text)};
}
UnicastAddressDescription v6(std::string text) {
    return {AddressFamily::ipv6, false, std::move(text)};
}
UnicastAddressDescription transientV4(std::string text) {
    return {AddressFamily::ipv4, true, std::move(text)};
}

AdapterDescription adapter(std::vector<UnicastAddressDescription> addresses,
                           std::string suffix = "", std::string description = "",
                           bool loopbackType = false, bool up = true) {
    AdapterDescription result;
    result.up = up;
    result.loopbackType = loopbackType;
    result.dnsSuffix = std::move(suffix);
    result.description = std::move(description);
    result.addresses = std::move(addresses);
    return result;
}
AdapterDescription plain(std::vector<UnicastAddressDescription> addresses) {
    return adapter(std::move(addresses));
}
AdapterDescription loopback(std::vector<UnicastAddressDescription> addresses,
                            std::string suffix = "") {
    return adapter(std::move(addresses), std::move(suffix), "", true);
}
AdapterDescription suffixed(std::string suffix, std::string description,
                            std::vector<UnicastAddressDescription> addresses) {
    return adapter(std::move(addresses), std::move(suffix), std::move(description));
}

std::string noHostName() {
    throw std::logic_error("host name must not be asked for");
}

struct SelectionCase {
    const char* name;
    std::vector<AdapterDescription> adapters;
    std::uint32_t kindMask;
    std::uint32_t flags;
    std::vector<LocalAddress> expected;
};

void PrintTo(const SelectionCase& c, std::ostream* out) {
    *out << c.name;
}

class Selection : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(Selection, ClassifiesFiltersAndOrders) {
    const SelectionCase& c = GetParam();
    EXPECT_EQ(selectLocalAddresses(c.adapters, c.kindMask, c.flags, noHostName), c.expected);
}

const AdapterDescription downAdapter = adapter({v4("10.9.9.9")}, "", "", false, false);

INSTANTIATE_TEST_SUITE_P(
    LocalAddressCore, Selection,
    ::testing::Values(
        SelectionCase{"KindThenBytes",
                      {plain({v4("192.168.1.3"), v4("192.168.1.20")}),
                       suffixed("corp.example", "", {v4("10.0.0.5")}), loopback({v4("127.0.0.1")})},
                      15,
                      0x11,
                      {{Kind::loopback, "127.0.0.1"},
                       {Kind::dnsSuffixed, "10.0.0.5"},
                       {Kind::other, "192.168.1.20"},
                       {Kind::other, "192.168.1.3"}}},
        SelectionCase{"ShorterPrefixFirst",
                      {plain({v4("10.0.0.10"), v4("10.0.0.1")})},
                      15,
                      0,
                      {{Kind::other, "10.0.0.1"}, {Kind::other, "10.0.0.10"}}},
        SelectionCase{"SameAddressSameKindOnce",
                      {plain({v4("10.0.0.5")}), plain({v4("10.0.0.5")})},
                      15,
                      0,
                      {{Kind::other, "10.0.0.5"}}},
        SelectionCase{"SameAddressTwoKindsTwice",
                      {plain({v4("10.0.0.5")}), suffixed("lab", "", {v4("10.0.0.5")})},
                      15,
                      0,
                      {{Kind::dnsSuffixed, "10.0.0.5"}, {Kind::other, "10.0.0.5"}}},
        SelectionCase{"UsbLocalWithRndisIsUsb",
                      {suffixed("usb_local", "Remote NDIS RNDIS link", {v4("169.254.1.2")})},
                      15,
                      0,
                      {{Kind::usbRndis, "169.254.1.2"}}},
        SelectionCase{"UsbLocalWithoutRndisIsSuffixed",
                      {suffixed("usb_local", "usb0 (driver rndis)", {v4("169.254.1.2")})},
                      15,
                      0,
                      {{Kind::dnsSuffixed, "169.254.1.2"}}},
        SelectionCase{"SuffixInOtherCaseIsSuffixed",
                      {suffixed("USB_local", "RNDIS", {v4("169.254.1.2")}),
                       suffixed("usb_local ", "RNDIS", {v4("169.254.1.3")})},
                      15,
                      0,
                      {{Kind::dnsSuffixed, "169.254.1.2"}, {Kind::dnsSuffixed, "169.254.1.3"}}},
        SelectionCase{"LoopbackWithSuffixIsSuffixed",
                      {loopback({v4("127.0.0.1")}, "corp.example")},
                      15,
                      Flags::includeLoopback,
                      {{Kind::dnsSuffixed, "127.0.0.1"}}},
        SelectionCase{"LoopbackSkippedWholeWithoutFlag",
                      {loopback({v4("127.0.0.1")}, "corp.example"), plain({v4("10.0.0.5")})},
                      15,
                      0x01,
                      {{Kind::other, "10.0.0.5"}}},
        SelectionCase{"DownAdapterAbsent", {downAdapter}, 15, 0x11, {}},
        SelectionCase{"TransientNeverReturned",
                      {plain({transientV4("10.0.0.7"), v4("10.0.0.8")})},
                      15,
                      0x13,
                      {{Kind::other, "10.0.0.8"}}},
        SelectionCase{"Ipv6OnlyWhenAsked",
                      {plain({v6("fe80::1%3"), v4("10.0.0.5")})},
                      15,
                      0x11,
                      {{Kind::other, "10.0.0.5"}}},
        SelectionCase{"Ipv6WhenAsked",
                      {plain({v6("fe80::1%3"),
                              v4("10.0.0.5"),
                              {AddressFamily::other, false, "aa:bb:cc:dd:ee:ff"}})},
                      15,
                      Flags::includeIpv6,
                      {{Kind::other, "10.0.0.5"}, {Kind::other, "fe80::1%3"}}},
        SelectionCase{"KindMaskFilters",
                      {plain({v4("10.0.0.5")}), suffixed("lab", "", {v4("10.0.0.6")}),
                       loopback({v4("127.0.0.1")})},
                      kindBit(Kind::loopback) | kindBit(Kind::dnsSuffixed),
                      0x11,
                      {{Kind::loopback, "127.0.0.1"}, {Kind::dnsSuffixed, "10.0.0.6"}}},
        SelectionCase{"EmptyMaskGivesNothing",
                      {plain({v4("10.0.0.5")}), loopback({v4("127.0.0.1")})},
                      0,
                      0x1F,
                      {}}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(LocalAddressCore, HostNameRecordsOnlyWithOtherInMask) {
    struct Case {
        std::uint32_t kindMask;
        std::uint32_t flags;
        std::vector<LocalAddress> expected;
        int expectedCalls;
    };
    const std::vector<Case> cases = {
        {8, Flags::addHostName, {{Kind::other, "name"}}, 1},
        {8, Flags::addLocalHostName, {{Kind::other, "name.local"}}, 1},
        {15, 0x0C, {{Kind::other, "name"}, {Kind::other, "name.local"}}, 2},
        {7, 0x0C, {}, 0},
        {0, 0x0C, {}, 0},
        {15, 0x13, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mask " << c.kindMask << " flags " << c.flags);
        int calls = 0;
        const auto fakeHostName = [&calls] {
            ++calls;
            return std::string("name");
        };
        EXPECT_EQ(selectLocalAddresses({}, c.kindMask, c.flags, fakeHostName), c.expected);
        EXPECT_EQ(calls, c.expectedCalls);
    }
}

TEST(LocalAddressCore, HostNameFailurePassesThrough) {
    EXPECT_THROW(selectLocalAddresses({}, 8, Flags::addHostName, noHostName), std::logic_error);
}

TEST(LocalAddressCore, ConversionFailureLoggedOncePerExaminedAddress) {
    const UnicastAddressDescription unprintable{AddressFamily::ipv4, false, std::nullopt};
    const UnicastAddressDescription unprintableV6{AddressFamily::ipv6, false, std::nullopt};
    const UnicastAddressDescription unprintableTransient{AddressFamily::ipv4, true, std::nullopt};
    const std::vector<AdapterDescription> adapters = {
        plain({unprintable, v4("10.0.0.1"), unprintable, unprintableTransient, unprintableV6}),
        // Never examined: down, or a loopback adapter that is skipped whole.
        adapter({unprintable}, "", "", false, false),
        loopback({unprintable}),
        // Examined before the kind mask is applied.
        suffixed("lab", "", {unprintable}),
    };
    const testing::LogCapture capture;
    EXPECT_THAT(selectLocalAddresses(adapters, kindBit(Kind::other), 0, noHostName),
                ElementsAre(LocalAddress{Kind::other, "10.0.0.1"}));
    EXPECT_THAT(capture.lines(), ElementsAre("[error] Failed to convert address",
                                             "[error] Failed to convert address",
                                             "[error] Failed to convert address"));
}

// A scripted adapter query that checks every buffer it is given is released.
struct FakeAdapterQuery {
    std::vector<std::pair<AdapterQueryStatus, std::uint32_t>> script; // result, size back
    int failAllocationNumber = 0;                                     // 1-based; 0: never fail
    std::vector<std::uint32_t> sizesQueried;
    int allocations = 0;
    int releases = 0;

    AdapterBufferCalls calls() {
        return {[this](std::size_t size) -> void* {
                    return ++allocations == failAllocationNumber ? nullptr : std::malloc(size);
                },
                [this](void* buffer) {
                    ++releases;
                    std::free(buffer);
                },
                [this](void*, std::uint32_t& size) {
                    sizesQueried.push_back(size);
                    const auto [status, sizeBack] = script.at(sizesQueried.size() - 1);
                    size = sizeBack;
                    return status;
                }};
    }
};

TEST(LocalAddressCore, AdapterBufferQueryGrowsAtMostThreeTimes) {
    using S = AdapterQueryStatus;
    struct Case {
        const char* name;
        std::vector<std::pair<S, std::uint32_t>> script;
        std::vector<std::uint32_t> expectedSizes;
        bool walked;
    };
    const std::vector<Case> cases = {
        {"first fits", {{S::success, 15000}}, {15000}, true},
        {"grows to reported size",
         {{S::bufferOverflow, 20000}, {S::success, 20000}},
         {15000, 20000},
         true},
        {"third call succeeds",
         {{S::bufferOverflow, 20000}, {S::bufferOverflow, 30000}, {S::success, 30000}},
         {15000, 20000, 30000},
         true},
        {"three overflows give up",
         {{S::bufferOverflow, 20000}, {S::bufferOverflow, 30000}, {S::bufferOverflow, 40000}},
         {15000, 20000, 30000},
         false},
        {"other error gives up",
         {{S::bufferOverflow, 20000}, {S::failed, 20000}},
         {15000, 20000},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeAdapterQuery fake;
        fake.script = c.script;
        int walks = 0;
        const testing::LogCapture capture;
        EXPECT_EQ(queryAdapterBuffer(fake.calls(), [&walks](const void*) { ++walks; }), c.walked);
        EXPECT_EQ(fake.sizesQueried, c.expectedSizes);
        EXPECT_EQ(walks, c.walked ? 1 : 0);
        EXPECT_EQ(fake.releases, fake.allocations);
        EXPECT_THAT(capture.lines(), IsEmpty());
    }
}

TEST(LocalAddressCore, AdapterBufferAllocationFailureLogged) {
    FakeAdapterQuery fake;
    fake.script = {{AdapterQueryStatus::bufferOverflow, 20000}};
    fake.failAllocationNumber = 2;
    const testing::LogCapture capture;
    EXPECT_FALSE(queryAdapterBuffer(fake.calls(), [](const void*) { FAIL(); }));
    EXPECT_EQ(fake.sizesQueried.size(), 1U);
    EXPECT_EQ(fake.releases, 1);
    EXPECT_THAT(capture.lines(),
                ElementsAre("[error] Memory allocation failed for IP_ADAPTER_ADDRESSES struct"));
}

TEST(LocalAddressCore, AdapterBufferReleasedWhenWalkThrows) {
    FakeAdapterQuery fake;
    fake.script = {{AdapterQueryStatus::success, 15000}};
    EXPECT_THROW(
        queryAdapterBuffer(fake.calls(), [](const void*) { throw std::runtime_error("walk"); }),
        std::runtime_error);
    EXPECT_EQ(fake.releases, 1);
}

TEST(LocalLinkText, FirstSearchDomain) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"# This is private data. Do not parse.\nADMIN_STATE=configured\n"
         "DOMAINS=usb_local example.com\nROUTE_DOMAINS=corp\n",
         "usb_local"},
        {"ROUTE_DOMAINS=corp.example\n", ""},
        {"XDOMAINS=x\nDOMAINS=\n", ""},
        {"DOMAINS=~corp.example  \t lab.example\n", "lab.example"},
        {"DOMAINS=~.\nDOMAINS=late.example\n", ""},
        {"DOMAINS=crlf.example\r\n", "crlf.example"},
        {"DNS=10.0.0.1\nDOMAINS=last.example", "last.example"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(firstSearchDomain(text), expected) << text;
    }
}

TEST(LocalLinkText, DescriptionMarksRndisDriversForClassification) {
    struct Case {
        const char* name;
        const char* driver;
        const char* description;
        AddressKind kindWithUsbLocal;
    };
    const std::vector<Case> cases = {
        {"usb0", "rndis_host", "usb0 (driver rndis_host, RNDIS)", Kind::usbRndis},
        {"enx0", "cdc_ether", "enx0 (driver cdc_ether)", Kind::dnsSuffixed},
        {"veth0", "", "veth0", Kind::dnsSuffixed},
    };
    for (const Case& c : cases) {
        const std::string description = linkDescription(c.name, c.driver);
        EXPECT_EQ(description, c.description);
        EXPECT_EQ(classifyAdapter(suffixed("usb_local", description, {})), c.kindWithUsbLocal)
            << description;
    }
}

TEST(LocalLinkText, ParseIfInet6) {
    const auto states = parseIfInet6("00000000000000000000000000000001 01 80 10 80       lo\n"
                                     "fe8000000000000000000000000000a5 104 40 20 c0    veth0\n"
                                     "fe80000000000000000000000000005 02 40 20 80 short\n"
                                     "fe80000000000000000000000000000g 02 40 20 80 nothex\n"
                                     "20010db8000000000000000000000006 02 40 00 40\n");
    ASSERT_EQ(states.size(), 2U);
    EXPECT_EQ(states[0].interfaceName, "lo");
    EXPECT_EQ(states[0].address[15], 0x01);
    EXPECT_EQ(states[0].flags, 0x80U);
    EXPECT_EQ(states[1].interfaceName, "veth0");
    EXPECT_EQ(states[1].address[0], 0xfe);
    EXPECT_EQ(states[1].address[15], 0xa5);
    EXPECT_EQ(states[1].flags, 0xc0U);
}

TEST(LocalLinkText, TransientIpv6Flags) {
    for (const std::uint32_t flags : {0x01U, 0x08U, 0x20U, 0x40U, 0xc0U}) {
        EXPECT_TRUE(isTransientIpv6(flags)) << flags;
    }
    // permanent, nodad, optimistic, home address
    for (const std::uint32_t flags : {0x00U, 0x80U, 0x02U, 0x04U, 0x10U}) {
        EXPECT_FALSE(isTransientIpv6(flags)) << flags;
    }
}

} // namespace
} // namespace velmor::detail
