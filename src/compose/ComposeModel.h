#pragma once
// The composition window's state without the window: its controls, the two
// tables and the selected entries' arrays, the note count and the Dynamic
// Assign lists. Every handler of the window that changes the composition has
// its model operation here.
#include "compose/ComposeState.h"
#include "compose/NoteGen.h"
#include "compose/Tables.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace sorvelin {

class ComposeModel {
public:
    // Usable at once: the built-in entries are listed and selected.
    ComposeModel();

    // Reads rhythm.cfg and scale.cfg from the first of `searchDirs` holding
    // them, adds the Scala scales of `scalaDirs` after the scale.cfg entries,
    // selects item 0 of both lists and applies them. Returns the messages for
    // the user (an empty table, an unreadable file, a broken first entry, and
    // one message for all the Scala files left out).
    std::vector<std::string>
    LoadTableFiles(const std::vector<std::filesystem::path>& searchDirs,
                   const std::vector<std::filesystem::path>& scalaDirs = {});

    // Apply the entry selected in Controls. A broken entry raises UserError;
    // the arrays and the selection then stay as they were.
    void RhytmComboBox2Change();
    void ScaleComboBox1Change();

    // Selects the item whose text equals `name`; false (and no selection)
    // when none does. The arrays are not touched.
    bool SelectRhythmByName(const std::string& name);
    bool SelectScaleByName(const std::string& name);

    // Apply Controls.NoteCount. A text that is not an integer raises
    // ConvertError, a count outside 2 .. MaxNoteCount UserError; NotesPerPart
    // keeps its value either way.
    void NoteCountChange();
    int GetNoteCount() const { return NotesPerPart; }

    // Apply Controls.Tempo. A text that is not an integer raises
    // ConvertError, a tempo outside MinTempoBpm .. MaxTempoBpm UserError;
    // TempoBpm keeps its value either way.
    void TempoChange();

    // Rebuilds the Dynamic Assign lists from the scale and the whole series
    // table, and sets whether "Dynamic Assign" is enabled.
    void BuildAssignLists(std::span<const std::int32_t> series);

    NoteMapper Mapper(int limit) const { return NoteMapper(Scale, Lists, Controls, limit); }

    // The selected item's text, or empty when nothing is selected.
    std::string SelectedScaleName() const;
    std::string SelectedRhythmName() const;

    ComposeControls Controls;
    int NotesPerPart = 200;
    int TempoBpm = DefaultTempoBpm; // the last good Controls.Tempo
    // The song file last loaded, named in what is said about the song; empty
    // for a composition that came from no file.
    std::string SongFile;
    TableList RhythmLines;
    TableList ScaleLines;
    std::vector<std::string> ScaleTooltips; // per item of ScaleLines, empty for none
    RhythmData Rhythm;
    ScaleData Scale;
    AssignLists Lists;

private:
    int appliedRhythm_ = 0; // the item whose arrays are in force, -1 for none
    int appliedScale_ = 0;
};

} // namespace sorvelin
