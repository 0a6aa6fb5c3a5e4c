#include <string>

#include <gtest/gtest.h>

#include "protocol/answer_processing.h"
#include "protocol/interface_type.h"
#include "protocol/server_info.h"

namespace velmor {
namespace {

using Interfaces = std::set<InterfaceType>;

boost::property_tree::ptree parse(const std::string& json) {
    auto tree = parseJsonPayload(json);
    EXPECT_TRUE(tree.has_value()) << json;
    return tree.value_or(boost::property_tree::ptree{});
}

DeviceInfo device(const std::string& json) {
    return readDeviceInfo(parse(json));
}
ServerInfo server(const std::string& json) {
    return readServerInfo(parse(json));
}

TEST(Records, EmptyObjectsGiveDefaults) {
    EXPECT_EQ(server("{}"), ServerInfo{});
    const DeviceInfo empty = device("{}");
    EXPECT_EQ(empty, DeviceInfo{});
    EXPECT_EQ(empty.minServRev, 0xFFFFFFFFu);
    EXPECT_FALSE(empty.available);
    EXPECT_TRUE(empty.interfaces.empty());
}

TEST(Records, ServerReadsEveryMember) {
    const auto s =
        server(R"({"uid":"RB1234-0007","type":"dataserver","addresses":["10.0.0.5","fe80::1"],
        "port":8080,"apiVersion":"6","serverVersion":"2.1.0","minClientRev":12,
        "devices":[{"serial":"0007","type":"RBLK"}],"unknownMember":true})");
    EXPECT_EQ(s.uid, "RB1234-0007");
    EXPECT_EQ(s.type, "dataserver");
    EXPECT_EQ(s.addresses, (std::vector<std::string>{"10.0.0.5", "fe80::1"}));
    EXPECT_EQ(s.port, 8080);
    EXPECT_EQ(s.apiVersion, 6u);
    EXPECT_EQ(s.serverVersion, "2.1.0");
    EXPECT_EQ(s.minClientRev, 12u);
    ASSERT_EQ(s.devices.size(), 1u);
    EXPECT_EQ(s.devices[0].serial, "0007");
    EXPECT_EQ(s.devices[0].type, "RBLK");
}

TEST(Records, DeviceReadsEveryMember) {
    const auto d = device(R"({"serial":"0007","type":"RBLK","address":"10.0.0.7",
        "interfaces":["USB","1GbE"],"connected":"1GbE","connectedServerUid":"srv",
        "available":1,"owner":"lab","status":"busy","statusFlags":"5","options":"opt",
        "firmwareRev":17,"minServRev":3,"kvComVersion":2,"lastRefresh":"18446744073709551615"})");
    EXPECT_EQ(d.serial, "0007");
    EXPECT_EQ(d.type, "RBLK");
    EXPECT_EQ(d.address, "10.0.0.7");
    EXPECT_EQ(d.interfaces, (Interfaces{InterfaceType::USB, InterfaceType::GbE}));
    EXPECT_EQ(d.connected, InterfaceType::GbE);
    EXPECT_EQ(d.connectedServerUid, "srv");
    EXPECT_TRUE(d.available);
    EXPECT_EQ(d.owner, "lab");
    EXPECT_EQ(d.status, "busy");
    EXPECT_EQ(d.statusFlags, 5u);
    EXPECT_EQ(d.options, "opt");
    EXPECT_EQ(d.firmwareRev, 17u);
    EXPECT_EQ(d.minServRev, 3u);
    EXPECT_EQ(d.kvComVersion, 2u);
    EXPECT_EQ(d.lastRefresh, 18446744073709551615ull);
}

struct NumberCase {
    const char* value; // JSON text of the member's value
    std::uint16_t port;
    std::uint32_t apiVersion;
};

void PrintTo(const NumberCase& c, std::ostream* out) {
    *out << c.value;
}

class NumberMembers : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberMembers, ConvertWholeTextOrGiveDefault) {
    const std::string value = GetParam().value;
    const auto s = server("{\"port\":" + value + ",\"apiVersion\":" + value + "}");
    EXPECT_EQ(s.port, GetParam().port) << value;
    EXPECT_EQ(s.apiVersion, GetParam().apiVersion) << value;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NumberMembers,
    ::testing::Values(NumberCase{"8017", 8017, 8017}, NumberCase{"\"8017\"", 8017, 8017},
                      NumberCase{"\" 6 \"", 6, 6}, NumberCase{"\"6.0\"", 0, 0},
                      NumberCase{"3.5", 0, 0}, NumberCase{"\"80a\"", 0, 0},
                      NumberCase{"\"\"", 0, 0}, NumberCase{"65535", 65535, 65535},
                      NumberCase{"65536", 0, 65536}, NumberCase{"4294967296", 0, 0},
                      NumberCase{"null", 0, 0}, NumberCase{"true", 0, 0}, NumberCase{"[1]", 0, 0},
                      NumberCase{"{\"a\":1}", 0, 0}, NumberCase{"1e3", 0, 0}));

TEST(Records, VeryLongNumberGivesDefault) {
    const auto s = server("{\"port\":" + std::string(10000, '7') + "}");
    EXPECT_EQ(s.port, 0);
    const auto d = device("{\"lastRefresh\":" + std::string(10000, '7') + "}");
    EXPECT_EQ(d.lastRefresh, 0u);
}

TEST(Records, MinServRevZeroMeansNoLimit) {
    EXPECT_EQ(device(R"({"minServRev":0})").minServRev, 0xFFFFFFFFu);
    EXPECT_EQ(device(R"({"minServRev":"junk"})").minServRev, 0xFFFFFFFFu);
    EXPECT_EQ(device(R"({"minServRev":1})").minServRev, 1u);
}

struct BoolCase {
    const char* value;
    bool expected;
};

void PrintTo(const BoolCase& c, std::ostream* out) {
    *out << c.value;
}

class AvailableMember : public ::testing::TestWithParam<BoolCase> {};

TEST_P(AvailableMember, ReadsNumberThenWord) {
    EXPECT_EQ(device(std::string("{\"available\":") + GetParam().value + "}").available,
              GetParam().expected)
        << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Cases, AvailableMember,
                         ::testing::Values(BoolCase{"true", true}, BoolCase{"\"true\"", true},
                                           BoolCase{"1", true}, BoolCase{"\" 1 \"", true},
                                           BoolCase{"false", false}, BoolCase{"0", false},
                                           BoolCase{"\"TRUE\"", false}, BoolCase{"2", false},
                                           BoolCase{"null", false}, BoolCase{"\"yes\"", false},
                                           BoolCase{"\"\"", false}, BoolCase{"[true]", false}));

TEST(Records, OwnerNoneInAnyCaseIsCleared) {
    EXPECT_EQ(device(R"({"owner":"none"})").owner, "");
    EXPECT_EQ(device(R"({"owner":"NoNe"})").owner, "");
    EXPECT_EQ(device(R"({"owner":"none "})").owner, "none ");
    EXPECT_EQ(device(R"({"owner":"nobody"})").owner, "nobody");
    EXPECT_EQ(device(R"({"owner":null})").owner, "null");
}

TEST(Records, StatusFreeBecomesAvailable) {
    EXPECT_EQ(device(R"({"status":"free"})").status, "Available");
    EXPECT_EQ(device(R"({"status":"Free"})").status, "Free");
    EXPECT_EQ(device(R"({"status":"free "})").status, "free ");
}

TEST(Records, InterfacesFormAnOrderedSetWithoutNone) {
    EXPECT_EQ(device(R"({"interfaces":["USB","1gbe"," PCIe ","none","","USB"]})").interfaces,
              (Interfaces{InterfaceType::USB, InterfaceType::GbE, InterfaceType::PCIe}));
    EXPECT_EQ(device(R"({"interfaces":["Thunderbolt"]})").interfaces,
              Interfaces{InterfaceType::Unknown});
    EXPECT_EQ(device(R"({"interfaces":"USB"})").interfaces, Interfaces{});
    EXPECT_EQ(device(R"({"interfaces":{"a":"PCIe","b":{"c":1}}})").interfaces,
              Interfaces{InterfaceType::PCIe});
}

TEST(Records, ConnectedInterface) {
    EXPECT_EQ(device(R"({"connected":"usb"})").connected, InterfaceType::USB);
    EXPECT_EQ(device(R"({"connected":"  "})").connected, InterfaceType::Unknown);
    EXPECT_EQ(device(R"({})").connected, InterfaceType::None);
    EXPECT_EQ(device(R"({"connected":["USB"]})").connected, InterfaceType::None);
}

TEST(Records, InterfaceNames) {
    EXPECT_EQ(parseInterfaceType(""), InterfaceType::None);
    EXPECT_EQ(parseInterfaceType("NONE"), InterfaceType::None);
    EXPECT_EQ(parseInterfaceType("\tusb\n"), InterfaceType::USB);
    EXPECT_EQ(parseInterfaceType("1GBE"), InterfaceType::GbE);
    EXPECT_EQ(parseInterfaceType("pcie"), InterfaceType::PCIe);
    EXPECT_EQ(parseInterfaceType("USB3"), InterfaceType::Unknown);
    EXPECT_EQ(parseInterfaceType("U SB"), InterfaceType::Unknown);
}

TEST(Records, DevicesAsArrayOrObjectInDocumentOrder) {
    for (const char* json : {R"({"devices":[{"serial":"b"},{"serial":"a"}]})",
                             R"({"devices":{"y":{"serial":"b"},"x":{"serial":"a"}}})"}) {
        const auto s = server(json);
        ASSERT_EQ(s.devices.size(), 2u) << json;
        EXPECT_EQ(s.devices[0].serial, "b") << json;
        EXPECT_EQ(s.devices[1].serial, "a") << json;
    }
    EXPECT_TRUE(server(R"({"devices":"none"})").devices.empty());
}

TEST(Records, ObjectsAndArraysReadAsEmptyTexts) {
    const auto s =
        server(R"({"uid":{"a":"b"},"type":["dataserver"],"addresses":[{"a":1},"10.0.0.1"]})");
    EXPECT_EQ(s.uid, "");
    EXPECT_EQ(s.type, "");
    EXPECT_EQ(s.addresses, (std::vector<std::string>{"", "10.0.0.1"}));
    EXPECT_EQ(device(R"({"options":["a","b"]})").options, "");
}

TEST(Records, IsDataServerIgnoresCaseOnly) {
    ServerInfo s;
    for (const char* type : {"dataserver", "DataServer", "DATASERVER"}) {
        s.type = type;
        EXPECT_TRUE(s.isDataServer()) << type;
    }
    for (const char* type : {"data server", "dataserver ", "dataservers", "", "proxy"}) {
        s.type = type;
        EXPECT_FALSE(s.isDataServer()) << type;
    }
}

} // namespace
} // namespace velmor
