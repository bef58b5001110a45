#include "compose/ComposeModel.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "compose/ScalaFile.h"
#include "compose/SongFile.h"

#include <algorithm>

namespace sorvelin {
namespace {

int IndexOf(const std::vector<std::string>& names, const std::string& name) {
    const auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

std::string NameAt(const TableList& table, int index) {
    if (index < 0 || index >= static_cast<int>(table.Names.size())) {
        return "";
    }
    return table.Names[static_cast<std::size_t>(index)];
}

TableList BuiltIn(const char* line) {
    TableList table;
    table.Lines = {line};
    table.Names = {SplitTableFields(line)[0]};
    return table;
}

} // namespace

ComposeModel::ComposeModel()
    : RhythmLines(BuiltIn(BuiltInRhythmLine)), ScaleLines(BuiltIn(BuiltInScaleLine)),
      ScaleTooltips(1), Rhythm(ParseRhythmEntry(BuiltInRhythmLine, 1)),
      Scale(ParseScaleEntry(BuiltInScaleLine, 1)) {}

std::vector<std::string>
ComposeModel::LoadTableFiles(const std::vector<std::filesystem::path>& searchDirs,
                             const std::vector<std::filesystem::path>& scalaDirs) {
    std::vector<std::string> messages;
    RhythmLines = LoadTableList("rhythm.cfg", BuiltInRhythmLine, searchDirs, messages);
    ScaleLines = LoadTableList("scale.cfg", BuiltInScaleLine, searchDirs, messages);
    ScaleTooltips.clear();
    std::vector<std::string> scalaMessages;
    AppendScalaScales(ScaleLines, ScaleTooltips, scalaDirs, scalaMessages);
    // A folder of downloaded tunings may hold many bad files: one message.
    if (!scalaMessages.empty()) {
        std::string joined;
        for (const std::string& message : scalaMessages) {
            joined += (joined.empty() ? "" : "\n") + message;
        }
        messages.push_back(std::move(joined));
    }
    // Until an entry of the files applies, the built-in arrays stay in force
    // (a broken first entry must not leave the note generator without notes).
    Rhythm = ParseRhythmEntry(BuiltInRhythmLine, 1);
    Scale = ParseScaleEntry(BuiltInScaleLine, 1);
    appliedRhythm_ = -1;
    appliedScale_ = -1;
    Controls.RhytmComboBox2 = 0;
    Controls.ScaleComboBox1 = 0;
    try {
        RhytmComboBox2Change();
    } catch (const UserError& error) {
        messages.push_back(error.what());
    }
    try {
        ScaleComboBox1Change();
    } catch (const UserError& error) {
        messages.push_back(error.what());
    }
    return messages;
}

void ComposeModel::RhytmComboBox2Change() {
    const int index = Controls.RhytmComboBox2;
    if (index < 0 || index >= static_cast<int>(RhythmLines.Lines.size())) {
        Controls.RhytmComboBox2 = appliedRhythm_;
        throw IndexError(index, static_cast<long long>(RhythmLines.Lines.size()));
    }
    try {
        Rhythm = ParseRhythmEntry(RhythmLines.Lines[static_cast<std::size_t>(index)], index + 1);
    } catch (const UserError&) {
        Controls.RhytmComboBox2 = appliedRhythm_;
        throw;
    }
    appliedRhythm_ = index;
}

void ComposeModel::ScaleComboBox1Change() {
    const int index = Controls.ScaleComboBox1;
    if (index < 0 || index >= static_cast<int>(ScaleLines.Lines.size())) {
        Controls.ScaleComboBox1 = appliedScale_;
        throw IndexError(index, static_cast<long long>(ScaleLines.Lines.size()));
    }
    try {
        Scale = ParseScaleEntry(ScaleLines.Lines[static_cast<std::size_t>(index)], index + 1);
    } catch (const UserError&) {
        Controls.ScaleComboBox1 = appliedScale_;
        throw;
    }
    appliedScale_ = index;
}

bool ComposeModel::SelectRhythmByName(const std::string& name) {
    Controls.RhytmComboBox2 = IndexOf(RhythmLines.Names, name);
    return Controls.RhytmComboBox2 >= 0;
}

bool ComposeModel::SelectScaleByName(const std::string& name) {
    Controls.ScaleComboBox1 = IndexOf(ScaleLines.Names, name);
    return Controls.ScaleComboBox1 >= 0;
}

void ComposeModel::NoteCountChange() {
    const int count = StrToInt(Controls.NoteCount, NoteCountCaption);
    if (count < MinNoteCount || count > MaxNoteCount) {
        throw UserError("The note count must be from " + IntToStr(MinNoteCount) + " to " +
                        IntToStr(MaxNoteCount) + "; it stays " + IntToStr(NotesPerPart) + ".");
    }
    NotesPerPart = count;
}

void ComposeModel::TempoChange() {
    const int bpm = StrToInt(Controls.Tempo, TempoCaption);
    if (bpm < MinTempoBpm || bpm > MaxTempoBpm) {
        throw UserError("The tempo must be from " + IntToStr(MinTempoBpm) + " to " +
                        IntToStr(MaxTempoBpm) + " beats per minute; it stays " +
                        IntToStr(TempoBpm) + ".");
    }
    TempoBpm = bpm;
}

void ComposeModel::BuildAssignLists(std::span<const std::int32_t> series) {
    Lists = sorvelin::BuildAssignLists(Scale.ScaleNotes, series);
    Controls.DynamicAssignEnabled = Lists.DynamicAssignEnabled;
}

std::string ComposeModel::SelectedScaleName() const {
    return NameAt(ScaleLines, Controls.ScaleComboBox1);
}

std::string ComposeModel::SelectedRhythmName() const {
    return NameAt(RhythmLines, Controls.RhytmComboBox2);
}

} // namespace sorvelin
