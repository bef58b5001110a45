#include "midi/SmfIo.h"
#include "base/Errors.h"

#include "midi/MidiTestUtil.h"

#include <gtest/gtest.h>

#include <sstream>

namespace sorvelin {
namespace {

using test::Hex;

TEST(SmfIo, VariableLengthQuantities) {
    const std::pair<std::uint32_t, std::string> cases[] = {
        {0, "00"},
        {127, "7F"},
        {128, "81 00"},
        {432, "83 30"},
        {480, "83 60"},
        {8192, "C0 00"},
        {16383, "FF 7F"},
        {16384, "81 80 00"},
        {2097151, "FF FF 7F"},
        {2097152, "81 80 80 00"},
        {0x0FFFFFFF, "FF FF FF 7F"},
    };
    for (const auto& [value, bytes] : cases) {
        std::ostringstream out;
        WriteVarLen(out, value);
        EXPECT_EQ(Hex(out.str()), bytes) << value;

        const std::string text = out.str();
        const std::vector<std::uint8_t> buffer = {text.begin(), text.end()};
        std::uint32_t read = 12345;
        EXPECT_EQ(ReadVarLen(buffer, 0, read), buffer.size());
        EXPECT_EQ(read, value);
    }
}

TEST(SmfIo, ValuesAFileCannotHoldAreRefused) {
    std::ostringstream out;
    EXPECT_THROW(WriteVarLen(out, 0x10000000), FileError);
    EXPECT_TRUE(out.str().empty());
}

TEST(SmfIo, ReadingStopsAtTheLastByteOrRefusesTheEnd) {
    const std::vector<std::uint8_t> buffer = {0x00, 0x81, 0x00, 0x42, 0x81};
    std::uint32_t value = 0;
    EXPECT_EQ(ReadVarLen(buffer, 1, value), 3u);
    EXPECT_EQ(value, 128u);
    EXPECT_EQ(ReadVarLen(buffer, 3, value), 4u);
    EXPECT_EQ(value, 0x42u);
    EXPECT_THROW(ReadVarLen(buffer, 4, value), IndexError);
    EXPECT_THROW(ReadVarLen(buffer, 5, value), IndexError);
}

TEST(SmfIo, BigEndianIntegers) {
    std::ostringstream out;
    WriteBE16(out, 0x0078);
    WriteBE32(out, 0x0102A0FF);
    WriteByte(out, 0x1F0);
    EXPECT_EQ(Hex(out.str()), "00 78 01 02 A0 FF F0");
}

} // namespace
} // namespace sorvelin
