#include "compose/PartSettings.h"

#include <gtest/gtest.h>

using namespace sorvelin;

TEST(PartSettings, DefaultsMatchTheStartUpTable) {
    const int programs[PartSettingsCount] = {0,  5, 10, 15, 20, 25, 30, 35,
                                             40, 0, 50, 55, 60, 65, 70, 75};
    const int pans[PartSettingsCount] = {64, 97, 2,  35, 68, 101, 6,  39,
                                         72, 64, 10, 43, 76, 109, 14, 47};
    const PartSettingsTable parts = DefaultPartSettings();
    for (int i = 0; i < PartSettingsCount; ++i) {
        SCOPED_TRACE(PartName(i));
        const PartSettings& part = parts[static_cast<std::size_t>(i)];
        EXPECT_EQ(part.UsePart, i < 2);
        EXPECT_EQ(part.Channel, i);
        EXPECT_EQ(part.Program, programs[i]);
        EXPECT_EQ(part.Pan, pans[i]);
        EXPECT_EQ(part.Reserved1, 100);
        EXPECT_EQ(part.Reserved2, 127);
        EXPECT_EQ(part.Octave, 0);
        EXPECT_TRUE(FitsMidiBytes(part));
    }
    EXPECT_EQ(PartName(0), "Part 1");
    EXPECT_EQ(PartName(15), "Part 16");
}

TEST(PartSettings, ValuesThatWouldCorruptMidiBytesAreFlagged) {
    struct Case {
        int channel, program, pan;
        bool fits;
    };
    const Case cases[] = {{15, 127, 127, true}, {0, 0, 0, true},     {16, 0, 64, false},
                          {-1, 0, 64, false},   {0, 128, 64, false}, {0, -1, 64, false},
                          {0, 0, 128, false},   {0, 0, -1, false}};
    for (const Case& c : cases) {
        PartSettings part;
        part.Channel = static_cast<std::int16_t>(c.channel);
        part.Program = c.program;
        part.Pan = c.pan;
        EXPECT_EQ(FitsMidiBytes(part), c.fits) << c.channel << " " << c.program << " " << c.pan;
    }
}
