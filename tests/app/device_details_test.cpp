// A row's record as its tooltip tells it: the row's texts, and what the server whose
// answer listed the device says of it.
#include "app/device_details.h"

#include <gtest/gtest.h>

#include "app/wide_text.h"
#include "support/records.h"

namespace velmor {
namespace {

using testing::device;
using testing::server;

TEST(DeviceDetails, TellsTheRowAndTheRecordOfTheServerItCameFrom) {
    DeviceEntry entry;
    entry.type = u"RBLK";
    entry.serial = u"RB1";
    entry.address = u"10.0.0.1";
    DeviceInfo record = device("RB1");
    record.status = "Available";
    record.available = true;
    record.firmwareRev = 7;
    const std::string row = "Type: RBLK\nSerial: RB1\nAddress: 10.0.0.1\n";
    struct Case {
        const char* name;
        std::list<ServerInfo> servers;
        std::string text;
    };
    const std::vector<Case> cases{
        {"NoSearch", {}, row},
        {"OnlyAnotherAddressListsIt",
         {ServerInfo(server("ds-RB1", {record}).address("10.0.0.2"))},
         row},
        {"TheServerAtItsAddress",
         {ServerInfo(server("ds-RB2", {device("RB2")}).address("10.0.0.1")),
          ServerInfo(server("ds-RB1", {record}).address("10.0.0.1"))},
         row + "Server uid: ds-RB1\nServer type: dataserver\nStatus: Available\nAvailable: "
               "yes\nFirmware: 7\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(deviceDetailsText(entry, c.servers), c.text);
    }
}

} // namespace
} // namespace velmor
