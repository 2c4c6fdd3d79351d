#include "Conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace dawdlex {
namespace {

struct WholeCase
{
    const char* text;
    std::optional<std::int32_t> whole32;
    std::optional<std::int16_t> whole16;
};

class WholeNumberConversion : public ::testing::TestWithParam<WholeCase>
{
};

TEST_P(WholeNumberConversion, ReadsTheWholeTextRoundingHalvesToEven)
{
    const WholeCase& c = GetParam();
    EXPECT_EQ(toWhole32(c.text), c.whole32) << '"' << c.text << '"';
    EXPECT_EQ(toWhole16(c.text), c.whole16) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Table, WholeNumberConversion,
    ::testing::Values(
        WholeCase{"200", 200, 200}, WholeCase{"  200  ", 200, 200}, WholeCase{"\t7\t", 7, 7},
        WholeCase{"2.5", 2, 2}, WholeCase{"3.5", 4, 4}, WholeCase{"-2.5", -2, -2}, WholeCase{"0.5", 0, 0},
        WholeCase{"1.5", 2, 2}, WholeCase{"2.51", 3, 3}, WholeCase{"+12", 12, 12}, WholeCase{"-0", 0, 0},
        WholeCase{".5", 0, 0}, WholeCase{"1E3", 1000, 1000}, WholeCase{"1e3", 1000, 1000},
        WholeCase{"25D-1", 2, 2}, WholeCase{"1.5e+1", 15, 15},
        // Not a decimal number as a whole.
        WholeCase{"", std::nullopt, std::nullopt}, WholeCase{"   ", std::nullopt, std::nullopt},
        WholeCase{"5abc", std::nullopt, std::nullopt}, WholeCase{"1 2", std::nullopt, std::nullopt},
        WholeCase{"1.2.3", std::nullopt, std::nullopt}, WholeCase{"abc", std::nullopt, std::nullopt},
        WholeCase{"1e", std::nullopt, std::nullopt}, WholeCase{".", std::nullopt, std::nullopt},
        WholeCase{"-", std::nullopt, std::nullopt}, WholeCase{"1\n", std::nullopt, std::nullopt},
        // The edges of both types, and past them.
        WholeCase{"32767", 32767, 32767}, WholeCase{"32767.5", 32768, std::nullopt},
        WholeCase{"-32768", -32768, -32768}, WholeCase{"-32769", -32769, std::nullopt},
        WholeCase{"2147483647", 2147483647, std::nullopt},
        WholeCase{"2147483648", std::nullopt, std::nullopt},
        WholeCase{"-2147483648", std::numeric_limits<std::int32_t>::min(), std::nullopt},
        WholeCase{"1e400", std::nullopt, std::nullopt},
        WholeCase{"99999999999999999999999", std::nullopt, std::nullopt}));

struct LenientCase
{
    const char* text;
    double value;
};

class LenientReading : public ::testing::TestWithParam<LenientCase>
{
};

TEST_P(LenientReading, ReadsTheNumberAtTheStart)
{
    const LenientCase& c = GetParam();
    EXPECT_DOUBLE_EQ(readLenient(c.text), c.value) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(Table, LenientReading,
                         ::testing::Values(LenientCase{"123", 123}, LenientCase{"  1 2\t3\n", 123},
                                           LenientCase{"5abc", 5}, LenientCase{"abc5", 0}, LenientCase{"", 0},
                                           LenientCase{"-", 0}, LenientCase{".", 0}, LenientCase{"-42", -42},
                                           LenientCase{"+ 4 2", 42}, LenientCase{"1.5.7", 1.5},
                                           LenientCase{".25", 0.25}, LenientCase{"2E3", 2000},
                                           LenientCase{"2 d 3", 2000}, LenientCase{"2e-1x", 0.2},
                                           LenientCase{"2ex", 2}, LenientCase{"2e+", 2},
                                           LenientCase{"1e-400", 0}));

TEST(LenientReading, NumbersBeyondADoubleReadAsInfinityOrZero)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::string zeros(400, '0');
    EXPECT_EQ(readLenient("1e999"), inf);
    EXPECT_EQ(readLenient("-1e999"), -inf);
    EXPECT_EQ(readLenient("1" + zeros), inf);
    EXPECT_EQ(readLenient("0." + zeros + "1"), 0.0);
    EXPECT_EQ(readLenient("0e99999999999999999999"), 0.0);
    EXPECT_EQ(readLenient("1e-99999999999999999999"), 0.0);
    EXPECT_DOUBLE_EQ(readLenient("1" + zeros + "e-300"), 1e100);
    EXPECT_DOUBLE_EQ(readLenient("0." + zeros + "5e401"), 5.0);
}

TEST(LenientReading, RoundedTo16BitsHalvesToEvenAndRefusesOverflow)
{
    const std::pair<const char*, std::optional<std::int16_t>> cases[] = {{"3.5", 4},
                                                                         {"2.5", 2},
                                                                         {"7 junk", 7},
                                                                         {"junk", 0},
                                                                         {"-1", -1},
                                                                         {"40000", std::nullopt},
                                                                         {"1e999", std::nullopt}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(toLenientWhole16(text), expected) << text;
}

struct DelayCase
{
    const char* text;
    std::optional<std::string> corrected;
    std::int32_t interval; // of the text the box ends up holding
};

class DelayCorrection : public ::testing::TestWithParam<DelayCase>
{
};

TEST_P(DelayCorrection, KeepsEveryDelayWithinRange)
{
    const DelayCase& c = GetParam();
    EXPECT_EQ(correctedDelay(c.text), c.corrected) << '"' << c.text << '"';
    const std::string kept = c.corrected.value_or(c.text);
    EXPECT_EQ(correctedDelay(kept), std::nullopt) << "a corrected text must be final";
    EXPECT_EQ(delayInterval(kept), c.interval) << '"' << kept << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Table, DelayCorrection,
    ::testing::Values(DelayCase{"", "1", 1}, DelayCase{"0", "1", 1}, DelayCase{"-5", "1", 1},
                      DelayCase{"abc", "1", 1}, DelayCase{"0.9", "1", 1}, DelayCase{"   ", "1", 1},
                      DelayCase{"500000", "50000", 50000}, DelayCase{"123456", "50000", 50000},
                      DelayCase{"50000.1", "50000", 50000}, DelayCase{"1e999", "50000", 50000},
                      DelayCase{"1", std::nullopt, 1}, DelayCase{"50000", std::nullopt, 50000},
                      DelayCase{"200", std::nullopt, 200}, DelayCase{" 200 ", std::nullopt, 200},
                      DelayCase{"2.5", std::nullopt, 2}, DelayCase{"3.5", std::nullopt, 4},
                      // Let through by the correction though not wholly decimal: read leniently.
                      DelayCase{"5abc", std::nullopt, 5}, DelayCase{"1 2", std::nullopt, 12},
                      DelayCase{"2.5x", std::nullopt, 2}, DelayCase{"49999.9junk", std::nullopt, 50000}));

TEST(DelayInterval, NeverLeavesTheTimersRange)
{
    EXPECT_EQ(delayInterval("0"), kMinDelay);
    EXPECT_EQ(delayInterval("-7"), kMinDelay);
    EXPECT_EQ(delayInterval("junk"), kMinDelay);
    EXPECT_EQ(delayInterval("9999999999"), kMaxDelay);
}

} // namespace
} // namespace dawdlex
