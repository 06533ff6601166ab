// Inputs that the fuzz targets, or the review of what they exercise, turned up.

#include "conversions/diversen.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

// The exponent is capped at a million; digits beyond a million then no longer cancel against it
// and the value reads as out of range. "Exact, whatever the number of digits."
TEST(ReadDecimalFindings, AnExponentCancelsAnyNumberOfDigits)
{
    const std::string manyZeros(1'000'009, '0');
    EXPECT_EQ(diversen::ReadDecimal("1" + manyZeros + "E-1000008"), 10);
    EXPECT_EQ(diversen::ReadDecimal("0." + manyZeros + "1E1000011"), 10);
}

} // namespace
