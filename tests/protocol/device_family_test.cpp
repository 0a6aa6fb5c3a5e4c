#include <string>

#include <gtest/gtest.h>

#include "protocol/device_family.h"

namespace velmor {
namespace {

struct FamilyCase {
    std::string type;
    DeviceFamily expected;
};

void PrintTo(const FamilyCase& c, std::ostream* out) {
    *out << ::testing::PrintToString(c.type);
}

class DeviceFamilies : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(DeviceFamilies, ClassifyByLeadingBytes) {
    EXPECT_EQ(deviceFamilyFromType(GetParam().type), GetParam().expected)
        << "type \"" << GetParam().type << "\"";
}

using F = DeviceFamily;
INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceFamilies,
    ::testing::Values(
        FamilyCase{"", F::None}, FamilyCase{"none", F::None}, FamilyCase{"None", F::Unknown},
        FamilyCase{" none", F::Unknown}, FamilyCase{"RB", F::RB}, FamilyCase{"RBLK", F::RB},
        FamilyCase{"RBLK-4 Pro", F::RB}, FamilyCase{"rblk", F::Unknown},
        FamilyCase{" RBLK", F::Unknown}, FamilyCase{"R", F::Unknown}, FamilyCase{"DEFAULT", F::QD4},
        FamilyCase{"default", F::Unknown}, FamilyCase{"DEFAULTS", F::Unknown},
        FamilyCase{"DEFAUL", F::Unknown}, FamilyCase{"QD4", F::QD4}, FamilyCase{"QD4-X", F::QD4},
        FamilyCase{"QD", F::Unknown}, FamilyCase{"TXV", F::TXV}, FamilyCase{"TXV2", F::TXV},
        FamilyCase{"VEXOR", F::VEXOR}, FamilyCase{"VEXO", F::Unknown}, FamilyCase{"WLT1", F::WLT},
        FamilyCase{"JNBE", F::JNBE}, FamilyCase{"SIMDEV-RB", F::SIMDEV},
        FamilyCase{"x", F::Unknown}, FamilyCase{std::string("RB\0", 3), F::RB},
        FamilyCase{std::string("\0RB", 3), F::Unknown}));

} // namespace
} // namespace velmor
