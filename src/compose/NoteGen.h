#pragma once
// Series values to notes: the value-to-note mapping and the frequency-ranked
// lists of Dynamic Assign.
#include "compose/ComposeState.h"
#include "compose/Tables.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sorvelin {

// One item of a hidden sorted list: its text key and the integer it carries.
struct AssignItem {
    std::string Key;
    int Value = 0;
};

// The two hidden lists of Dynamic Assign. ListBox1 ranks the scale's notes
// (each distinct note once, highest first, then the repeated ones); ListBox2
// ranks the residues of the series values modulo ListBox1's size from rarest
// to most frequent.
struct AssignLists {
    std::vector<AssignItem> ListBox1;
    std::vector<AssignItem> ListBox2;
    std::vector<int> ResiduePosition;  // index: residue, value: its position in ListBox2
    bool DynamicAssignEnabled = false; // some note from 1 to 127 is listed twice or more
};

// The keys' order: hyphens are ignored and a space ranks below every digit.
bool AssignKeyLess(const std::string& a, const std::string& b);
std::string NoteKey(int repeat, int note);      // "%06.06d--%02.02d-%06.06d "
std::string ResidueKey(int count, int residue); // "%06.06d-%02.02d-%06.06d "

// `series` is the whole table, all sixteen rows.
AssignLists BuildAssignLists(const std::vector<int>& scaleNotes,
                             std::span<const std::int32_t> series);

// What AssignNote reads, all as of the moment of use.
class NoteMapper {
public:
    NoteMapper(const ScaleData& scale, const AssignLists& lists, const ComposeControls& controls,
               int limit)
        : scale_(scale), lists_(lists), controls_(controls), limit_(limit) {}

    // A note of the scale, or -1 for no note (a value at the iteration limit
    // under "Rest" or "Skip").
    int AssignNote(int value) const;
    // The wheel offset of the first scale entry holding `note`, else 0.
    int FindPitchBend(int note) const;
    bool Microtonal() const { return scale_.MicrotonalScale; }
    const ComposeControls& Controls() const { return controls_; }
    int Limit() const { return limit_; }

private:
    const ScaleData& scale_;
    const AssignLists& lists_;
    const ComposeControls& controls_;
    int limit_;
};

} // namespace sorvelin
