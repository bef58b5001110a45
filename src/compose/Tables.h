#pragma once
// The scale and rhythm tables: named entries read from scale.cfg and
// rhythm.cfg, and the integer arrays a selected entry turns into.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sorvelin {

// Used when the table file is missing or holds no entry.
inline constexpr const char* BuiltInRhythmLine = "\"16th note\",30";
inline constexpr const char* BuiltInScaleLine =
    "\"C Major\",48,50,52,53,55,57,59,60,62,64,65,67,69,71,72";

// Limits the note generator and the MIDI bytes rely on.
constexpr int MaxScaleEntries = 128;
constexpr int MinCents = -200;
constexpr int MaxCents = 199;

// One line split into fields: blanks and commas separate fields, a field in
// double quotes may hold blanks and commas ("" stands for one quote), two
// commas in a row give an empty field. Splitting stops after `maxFields`
// fields, so a line of millions of values costs no more than its first few.
std::vector<std::string> SplitTableFields(std::string_view line, std::size_t maxFields = SIZE_MAX);

// The entry lines of one table file, header removed and blank lines dropped,
// so item k of the drop-down list is line k.
struct TableList {
    std::vector<std::string> Lines;
    std::vector<std::string> Names;
    std::string Source; // the file read, or empty for the built-in entry
};

// Reads `fileName` from the first folder of `searchDirs` that holds it; the
// built-in line when none does, or when the file holds no entry (which adds a
// message saying so, as does a file that cannot be read).
TableList LoadTableList(const std::string& fileName, const std::string& builtInLine,
                        const std::vector<std::filesystem::path>& searchDirs,
                        std::vector<std::string>& messages);

// share/sorvelin beside the program's bin folder: the data of an installed
// program, and of the build tree, whose programs are in <build>/bin.
std::filesystem::path InstalledDataDir();

// Where the tables are looked for: the current directory, then the data
// folder of an installed program (share/sorvelin beside the program's bin).
std::vector<std::filesystem::path> TableSearchDirs();

struct RhythmData {
    std::vector<int> RhythmTicks;
    bool operator==(const RhythmData&) const = default;
};

struct ScaleData {
    std::vector<int> ScaleNotes;
    std::vector<int> ScaleBends; // wheel offset per entry: cents x 4096 / 100
    int ScaleMin = 128;
    int ScaleMax = 0;
    bool MicrotonalScale = false;
    bool operator==(const ScaleData&) const = default;
};

// Parse a whole entry or nothing: a field that is not an integer, or an entry
// that breaks the limits above, raises UserError naming the entry (its name
// and 1-based item number) and the value.
RhythmData ParseRhythmEntry(const std::string& line, int itemNumber);
ScaleData ParseScaleEntry(const std::string& line, int itemNumber);

} // namespace sorvelin
