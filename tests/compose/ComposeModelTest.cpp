#include "compose/ComposeModel.h"

#include "base/Errors.h"
#include "base/TextFile.h"

#include "support/TempDir.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <unistd.h>

using namespace sorvelin;
using sorvelin::test::TempDir;
namespace fs = std::filesystem;

TEST(ComposeModel, BrokenEntryKeepsThePreviousArraysAndSelection) {
    TempDir dir;
    WriteLinesAtomic(dir.path / "scale.cfg",
                     {"name values", "\"Good\",60,62", "\"Bad\",70,71,7x,73", "\"Low\",50"});
    WriteLinesAtomic(dir.path / "rhythm.cfg", {"name ticks", "\"Even\",60", "\"Zero\",30,0"});
    ComposeModel model;
    EXPECT_TRUE(model.LoadTableFiles({dir.path}).empty());
    EXPECT_EQ(model.Scale.ScaleNotes, (std::vector<int>{60, 62}));

    model.Controls.ScaleComboBox1 = 1;
    try {
        model.ScaleComboBox1Change();
        ADD_FAILURE() << "a broken entry was accepted";
    } catch (const UserError& error) {
        EXPECT_STREQ(error.what(), "Scale \"Bad\" (entry 2): value 3 \"7x\" is not an integer.");
    }
    EXPECT_EQ(model.Scale.ScaleNotes, (std::vector<int>{60, 62}));
    EXPECT_EQ(model.Controls.ScaleComboBox1, 0);
    EXPECT_EQ(model.SelectedScaleName(), "Good");

    model.Controls.RhytmComboBox2 = 1;
    EXPECT_THROW(model.RhytmComboBox2Change(), UserError);
    EXPECT_EQ(model.Rhythm.RhythmTicks, std::vector<int>{60});
    EXPECT_EQ(model.Controls.RhytmComboBox2, 0);

    model.Controls.ScaleComboBox1 = 2;
    model.ScaleComboBox1Change();
    EXPECT_EQ(model.Scale.ScaleNotes, std::vector<int>{50});
}

TEST(ComposeModel, BrokenFirstEntryLeavesTheBuiltInArraysAndNoSelection) {
    TempDir dir;
    WriteLinesAtomic(dir.path / "scale.cfg", {"header", "\"Bad\",300"});
    ComposeModel model;
    const std::vector<std::string> messages = model.LoadTableFiles({dir.path});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("\"Bad\""), std::string::npos);
    EXPECT_EQ(model.Controls.ScaleComboBox1, -1);
    EXPECT_EQ(model.SelectedScaleName(), "");
    EXPECT_EQ(model.Scale.ScaleNotes.size(), 15u);
    EXPECT_EQ(model.Rhythm.RhythmTicks, std::vector<int>{30});
}

TEST(ComposeModel, NoteCountBelowTwoIsRefusedAndTheOldCountStays) {
    ComposeModel model;
    for (const char* text : {"1", "0", "-5", "1000001"}) {
        model.Controls.NoteCount = text;
        EXPECT_THROW(model.NoteCountChange(), UserError) << text;
        EXPECT_EQ(model.GetNoteCount(), 200);
    }
    model.Controls.NoteCount = "";
    EXPECT_THROW(model.NoteCountChange(), ConvertError);
    model.Controls.NoteCount = "2";
    model.NoteCountChange();
    EXPECT_EQ(model.GetNoteCount(), 2);
}

TEST(ComposeModel, TempoOutsideItsRangeIsRefusedAndTheOldTempoStays) {
    ComposeModel model;
    for (const char* text : {"19", "301", "-120", "0"}) {
        model.Controls.Tempo = text;
        EXPECT_THROW(model.TempoChange(), UserError) << text;
        EXPECT_EQ(model.TempoBpm, 120);
    }
    model.Controls.Tempo = "90.5";
    EXPECT_THROW(model.TempoChange(), ConvertError);
    for (const int bpm : {20, 300}) {
        model.Controls.Tempo = std::to_string(bpm);
        model.TempoChange();
        EXPECT_EQ(model.TempoBpm, bpm);
    }
}

TEST(ComposeModel, RedrawEnablesDynamicAssignOnlyForRepeatedNotes) {
    TempDir dir;
    WriteLinesAtomic(dir.path / "scale.cfg", {"header", "\"Plain\",60,62", "\"Twice\",60,64,60"});
    ComposeModel model;
    model.LoadTableFiles({dir.path});
    model.BuildAssignLists({});
    EXPECT_FALSE(model.Controls.DynamicAssignEnabled);
    model.Controls.ScaleComboBox1 = 1;
    model.ScaleComboBox1Change();
    model.BuildAssignLists({});
    EXPECT_TRUE(model.Controls.DynamicAssignEnabled);
}
