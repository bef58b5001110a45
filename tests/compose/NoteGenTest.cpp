#include "compose/NoteGen.h"

#include <gtest/gtest.h>

using namespace sorvelin;

namespace {

ScaleData CMajor() {
    return ParseScaleEntry(BuiltInScaleLine, 1);
}

std::vector<int> ValuesOf(const std::vector<AssignItem>& items) {
    std::vector<int> values;
    for (const AssignItem& item : items) {
        values.push_back(item.Value);
    }
    return values;
}

} // namespace

TEST(NoteGen, KeysAreFixedWidthDecimalEndingInASpace) {
    EXPECT_EQ(NoteKey(1, 60), "000001--68-000060 ");
    EXPECT_EQ(NoteKey(2, 8), "000002--120-000008 ");
    EXPECT_EQ(ResidueKey(1234567, 3), "1234567-125-000003 ");
}

TEST(NoteGen, KeyOrderIgnoresHyphensAndRanksSpaceBelowDigits) {
    // Notes below 29 get a three-digit middle field and sort by characters.
    EXPECT_TRUE(AssignKeyLess(NoteKey(1, 28), NoteKey(1, 29)));
    EXPECT_TRUE(AssignKeyLess(NoteKey(1, 8), NoteKey(1, 116)));
    EXPECT_TRUE(AssignKeyLess(NoteKey(1, 67), NoteKey(1, 60)));
    EXPECT_TRUE(AssignKeyLess(NoteKey(1, 60), NoteKey(2, 64)));
    EXPECT_FALSE(AssignKeyLess(NoteKey(1, 60), NoteKey(1, 60)));
    EXPECT_TRUE(AssignKeyLess("12 ", "120"));
}

TEST(NoteGen, WrapAndCompressFollowTheWorkedExamples) {
    const ScaleData scale = CMajor();
    const AssignLists lists = BuildAssignLists(scale.ScaleNotes, {});
    ComposeControls controls;
    const NoteMapper wrap(scale, lists, controls, 1000);
    EXPECT_EQ(wrap.AssignNote(0), 48);
    EXPECT_EQ(wrap.AssignNote(7), 60);
    EXPECT_EQ(wrap.AssignNote(15), 48);
    EXPECT_EQ(wrap.AssignNote(22), 60);

    controls.OoR = Compress;
    const NoteMapper compress(scale, lists, controls, 1000);
    EXPECT_EQ(compress.AssignNote(500), 60);
    EXPECT_EQ(compress.AssignNote(999), 71);
    EXPECT_EQ(compress.AssignNote(1000), -1); // "Rest"
    controls.IterationLimit = LimitSkip;
    EXPECT_EQ(compress.AssignNote(1000), -1);
    controls.IterationLimit = LimitNote;
    EXPECT_EQ(compress.AssignNote(1000), 48); // 14 x 14 / 1000 = 0
    // A limit lowered below values sampled earlier stays on the scale.
    const NoteMapper lowered(scale, lists, controls, 10);
    EXPECT_EQ(lowered.AssignNote(500), 72);
}

TEST(NoteGen, ValueAtTheLimitUnderNotePlaysEntryNMinusOne) {
    const ScaleData scale = ParseScaleEntry("s,60,62,64", 1);
    const AssignLists lists = BuildAssignLists(scale.ScaleNotes, {});
    ComposeControls controls;
    controls.IterationLimit = LimitNote;
    EXPECT_EQ(NoteMapper(scale, lists, controls, 200).AssignNote(200), 64);
    controls.IterationLimit = LimitRest;
    EXPECT_EQ(NoteMapper(scale, lists, controls, 200).AssignNote(200), -1);
}

TEST(NoteGen, NoteListRanksDistinctNotesHighestFirstThenRepeats) {
    const std::vector<int> notes{60, 64, 67, 60};
    const AssignLists lists = BuildAssignLists(notes, {});
    EXPECT_EQ(ValuesOf(lists.ListBox1), (std::vector<int>{67, 64, 60, 60}));
    EXPECT_TRUE(lists.DynamicAssignEnabled);
    // Note 0 is never ranked; a scale of distinct notes leaves the box disabled.
    // Notes below 29 take the places their three-digit middle field gives
    // them: "000001100000028 " < "000001123000005 " < "00000128000100 ".
    const AssignLists plain = BuildAssignLists({0, 0, 5, 100, 28, 29}, {});
    EXPECT_EQ(ValuesOf(plain.ListBox1), (std::vector<int>{28, 5, 100, 29}));
    EXPECT_FALSE(plain.DynamicAssignEnabled);
}

TEST(NoteGen, DynamicAssignGivesFrequentResiduesTheRepeatedNote) {
    const ScaleData scale = ParseScaleEntry("s,60,64,67,60", 1);
    // N = 4. Residues: 0 x3, 1 x2, 2 x1, 3 x4 (rows other than the first are 0).
    std::vector<std::int32_t> series(16 * 10, 0);
    const std::int32_t row0[10] = {3, 3, 3, 3, 1, 1, 2, 4, 8, 12};
    std::copy(row0, row0 + 10, series.begin());
    // Rows 1..15 are all 0, so residue 0 is by far the most frequent.
    const AssignLists lists = BuildAssignLists(scale.ScaleNotes, series);
    // Rarest first: 2 (1), 1 (2), 3 (4), 0 (3 + 150).
    EXPECT_EQ(ValuesOf(lists.ListBox2), (std::vector<int>{2, 1, 3, 0}));
    ComposeControls controls;
    controls.DynamicAssign = true;
    controls.DynamicAssignEnabled = lists.DynamicAssignEnabled;
    const NoteMapper dynamic(scale, lists, controls, 1000);
    EXPECT_EQ(dynamic.AssignNote(2), 67);
    EXPECT_EQ(dynamic.AssignNote(1), 64);
    EXPECT_EQ(dynamic.AssignNote(3), 60);
    EXPECT_EQ(dynamic.AssignNote(4), 60);
    // A checked box that is disabled has no effect.
    controls.DynamicAssignEnabled = false;
    EXPECT_EQ(NoteMapper(scale, lists, controls, 1000).AssignNote(2), 67);
    EXPECT_EQ(NoteMapper(scale, lists, controls, 1000).AssignNote(1), 64);
    EXPECT_EQ(NoteMapper(scale, lists, controls, 1000).AssignNote(3), 60);
    EXPECT_EQ(NoteMapper(scale, lists, controls, 1000).AssignNote(0), 60);
}

TEST(NoteGen, EquallyFrequentResiduesRankTheHigherResidueFirst) {
    const std::vector<int> notes{60, 62, 64};
    const AssignLists lists = BuildAssignLists(notes, {});
    EXPECT_EQ(ValuesOf(lists.ListBox2), (std::vector<int>{2, 1, 0}));
}

TEST(NoteGen, PitchBendComesFromTheFirstEntryOfTheNote) {
    const ScaleData scale = ParseScaleEntry("s,60+10,62,60-10", 1);
    const AssignLists lists = BuildAssignLists(scale.ScaleNotes, {});
    ComposeControls controls;
    const NoteMapper mapper(scale, lists, controls, 100);
    EXPECT_EQ(mapper.FindPitchBend(60), 409);
    EXPECT_EQ(mapper.FindPitchBend(62), 0);
    EXPECT_EQ(mapper.FindPitchBend(61), 0);
}
