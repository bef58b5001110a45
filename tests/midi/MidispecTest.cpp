#include "midi/Midispec.h"
#include "base/Errors.h"

#include <gtest/gtest.h>

#include <set>

namespace sorvelin {
namespace {

TEST(Midispec, ProgramNames) {
    const std::pair<int, const char*> cases[] = {
        {0, "Acoustic Grand Piano"},
        {5, "Electric Piano2"},
        {12, "Marinmba"},
        {48, "String Emsemble1"},
        {81, "Lead2(sawtooth"},
        {87, "Lead8(bass + lead)"},
        {110, "Fiddle"},
        {127, "Gunshot"},
    };
    for (const auto& [n, text] : cases) {
        EXPECT_EQ(ProgramName(n), text) << n;
    }
    const auto& table = ProgramNames();
    EXPECT_EQ(std::set<std::string>(table.begin(), table.end()).size(), 128u);
}

TEST(Midispec, ControllerNames) {
    const std::pair<int, const char*> cases[] = {
        {0, "Bank Select MSB(0)"},
        {2, "2"},
        {10, "Panpot(10)"},
        {16, "16(AC1 Default Num)"},
        {73, "Atack Time(73)"},
        {96, "Deta Increment(96)"},
        {120, "All Sound Off(120)"},
        {121, "Rset All Controller(121)"},
        {122, "122"},
        {127, "POLY(127)"},
    };
    for (const auto& [n, text] : cases) {
        EXPECT_EQ(ControllerName(n), text) << n;
    }
    int named = 0;
    for (const auto& text : ControllerNames()) {
        named += text.find('(') != std::string::npos;
    }
    EXPECT_EQ(named, 36);
}

TEST(Midispec, NoteNames) {
    const std::pair<int, const char*> cases[] = {
        {0, " C-1"},  {1, "C#-1"},  {3, "Eb-1"},  {11, " B-1"}, {12, " C 0"},  {13, " C#0"},
        {60, " C 4"}, {61, " C#4"}, {70, " Bb4"}, {66, " F#4"}, {127, " G 9"},
    };
    for (const auto& [n, text] : cases) {
        EXPECT_EQ(NoteName(n), text) << n;
    }
    for (const auto& text : NoteNames()) {
        EXPECT_EQ(text.size(), 4u) << text;
    }
}

TEST(Midispec, LookupsOutsideTheTablesAreRefused) {
    EXPECT_THROW(ProgramName(128), IndexError);
    EXPECT_THROW(ControllerName(-1), IndexError);
    EXPECT_THROW(NoteName(200), IndexError);
}

} // namespace
} // namespace sorvelin
