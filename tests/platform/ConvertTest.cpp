#include "platform/Convert.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

using namespace sorvelin;

TEST(Convert, FieldTextsAreWrittenAsShortestGeneralText) {
    EXPECT_EQ(FloatToStr(-0.6), "-0.6");
    EXPECT_EQ(FloatToStr(0.0), "0");
    EXPECT_EQ(FloatToStr(0.00024), "0.00024");
    EXPECT_EQ(FloatToStr(2.4), "2.4");
    EXPECT_EQ(FloatToStr(-1.8 + 2.4), "0.6");
    EXPECT_EQ(FloatToStr(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(IntToStr(-42), "-42");
}

TEST(Convert, StrictConversionAcceptsOnlyWholeNumbers) {
    EXPECT_EQ(StrToInt("480"), 480);
    EXPECT_EQ(StrToInt(" -7 "), -7);
    EXPECT_EQ(StrToInt("+3"), 3);
    EXPECT_DOUBLE_EQ(StrToFloat("0.0"), 0.0);
    EXPECT_DOUBLE_EQ(StrToFloat("-0.6"), -0.6);
    EXPECT_DOUBLE_EQ(StrToFloat("1e-5"), 1e-5);
    EXPECT_DOUBLE_EQ(StrToFloat(".5"), 0.5);
    for (const char* bad : {"", " ", "12a", "1.5", "2147483648", "-", "+-1", "0x10"}) {
        EXPECT_THROW(StrToInt(bad), ConvertError) << bad;
    }
    for (const char* bad : {"", "abc", "1.2.3", "inf", "nan", "1e", "--1", "1,5", "1e999"}) {
        EXPECT_THROW(StrToFloat(bad), ConvertError) << bad;
    }
    try {
        StrToInt("12a");
        FAIL();
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
    }
}
