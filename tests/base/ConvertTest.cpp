#include "base/Convert.h"
#include "base/Errors.h"

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

// Whatever a message quotes of a file or a field stays short and whole: a
// megabyte value is cut with an ellipsis (never inside a character), and a
// NUL or an escape is shown rather than ending or steering the text.
TEST(Convert, MessagesQuoteAShortVisibleExcerpt) {
    const std::string huge(10'000'000, '7');
    const std::string sixty(60, 'a');
    const std::string umlauts = std::string(59, 'a') + "\xC3\xA4\xC3\xA4";
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {sixty, sixty},
        {sixty + "b", sixty + "\u2026"},
        {umlauts, std::string(59, 'a') + "\xC3\xA4\u2026"},
        {std::string("2\0x", 3), "2\u2400x"},
        {"\x1B[2J\x7F", "\u241B[2J\u2421"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Excerpt(c.text), c.shown) << c.text.substr(0, 80);
    }
    try {
        StrToInt(std::string("2x\0", 3) + huge, "Iteration");
        FAIL();
    } catch (const ConvertError& e) {
        EXPECT_EQ(std::string(e.what()), "Iteration: '2x\u2400" + std::string(57, '7') +
                                             "\u2026' is not a valid integer value");
    }
}
