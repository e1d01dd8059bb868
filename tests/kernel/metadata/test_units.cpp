#include "kernel/metadata/model_ext.h"
#include "kernel/metadata/units.h"
#include "metadata_test_util.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

namespace {

struct Row {
    int value;
    const char* name;
    double factor;
};

// The host's factors, bit for bit. Several are not what a fresh
// computation gives: CM is not 1/2.54 (0.39370078740157477), the slug is
// not 9.80665/0.3048 (32.17404855643044), and the kilogram rests on
// 0.45359 kg per pound.
const Row kLength[] = {
    {0, "MM", 0.03937007874015748},  {1, "CM", 0.3937007874015748},
    {2, "MIL", 0.001},               {3, "M", 39.37007874015748},
    {4, "INCH", 1.0},                {5, "FOOT", 12.0},
    {6, "MICROMETER", 3.937007874015748e-05},
};
const Row kMass[] = {
    {0, "MG", 2.204634140964307e-06}, {1, "GRAM", 0.002204634140964307},
    {2, "KILOGRAM", 2.204634140964307}, {3, "TONNE", 2204.634140964307},
    {4, "OUNCE", 0.0625},             {5, "SLUG", 32.174048556430414},
    {6, "TON", 2000.0},
};

uint64_t Bits(double d) { return std::bit_cast<uint64_t>(d); }

class Units : public ::testing::Test {
protected:
    xrchandle<KWPIModelExt> ext{new KWPIModelExt_i()};
};

TEST_F(Units, EveryTableRowGivesItsNameAndExactFactor) {
    for (const Row& row : kLength) {
        SCOPED_TRACE(row.name);
        xrchandle<KPILengthUnit> unit = ext->CreatePILengthUnit(KPILengthUnits(row.value));
        EXPECT_EQ(Text(unit->GetName()), row.name);
        EXPECT_EQ(Bits(unit->GetFactor()), Bits(row.factor));
        EXPECT_EQ(unit->GetType(), KPI_LENGTH);
    }
    for (const Row& row : kMass) {
        SCOPED_TRACE(row.name);
        xrchandle<KPIMassUnit> unit = ext->CreatePIMassUnit(KPIMassUnits(row.value));
        EXPECT_EQ(Text(unit->GetName()), row.name);
        EXPECT_EQ(Bits(unit->GetFactor()), Bits(row.factor));
        EXPECT_EQ(unit->GetType(), KPI_MASS);
    }
    EXPECT_NE(Bits(kLength[1].factor), Bits(1 / 2.54));
}

TEST_F(Units, UnknownValuesGiveEmptyNameAndZeroFactor) {
    for (int v : {7, -1, 1000}) {
        xrchandle<KPILengthUnit> length = ext->CreatePILengthUnit(KPILengthUnits(v));
        EXPECT_EQ(Text(length->GetName()), "");
        EXPECT_EQ(Bits(length->GetFactor()), Bits(0.0));
        EXPECT_EQ(length->GetType(), KPI_LENGTH);
        xrchandle<KPIMassUnit> mass = ext->CreatePIMassUnit(KPIMassUnits(v));
        EXPECT_EQ(Text(mass->GetName()), "");
        EXPECT_EQ(Bits(mass->GetFactor()), Bits(0.0));
        EXPECT_EQ(mass->GetType(), KPI_MASS);
    }
}

TEST_F(Units, FreeNameAndFactorAreStoredUnchanged) {
    xrchandle<KPIMassUnit> lb = ext->CreatePIMassUnitEx("LB", 1.0);
    EXPECT_EQ(Text(lb->GetName()), "LB");
    EXPECT_EQ(lb->GetFactor(), 1.0);
    EXPECT_EQ(lb->GetType(), KPI_MASS);
    EXPECT_EQ(ext->CreatePILengthUnitEx("X", -3.5)->GetFactor(), -3.5);
    EXPECT_EQ(ext->CreatePILengthUnitEx("Y", 0.0)->GetFactor(), 0.0);
    EXPECT_EQ(Text(ext->CreatePILengthUnitEx("", 2.0)->GetName()), "");
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->CreatePILengthUnitEx(nullptr, 1.0); }, 1, 0));
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->CreatePIMassUnitEx(nullptr, 1.0); }, 1, 0));
}

TEST_F(Units, LongNamesAreRefusedNotCut) {
    // 30 ASCII units, then U+1F600 (a surrogate pair) would need units 31
    // and 32: refused as any name of the field, nothing made.
    for (const std::string& name : {std::string(40, 'N'), std::string(30, 'a') + "\xF0\x9F\x98\x80"}) {
        EXPECT_TRUE(RaisesInvalidArg([&] { ext->CreatePILengthUnitEx(name.c_str(), 2.0); }, 1, 1));
        EXPECT_TRUE(RaisesInvalidArg([&] { ext->CreatePIMassUnitEx(name.c_str(), 3.0); }, 1, 1));
    }

    // Exactly 31 units fit, also when the last character is a pair.
    std::string fits = std::string(29, 'b') + "\xF0\x9F\x98\x80";
    EXPECT_EQ(Text(ext->CreatePILengthUnitEx(fits.c_str(), 1.0)->GetName()), fits);
}

} // namespace
