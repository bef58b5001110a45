#pragma once
// Tunings kept as Scala files: a .scl scale (a description, a pitch count,
// then one pitch per line in cents such as 701.955 or as a ratio such as 3/2)
// and an optional .kbm keyboard mapping of the same name. Each becomes one
// ordinary Scale list entry: note numbers with cent offsets, the form
// scale.cfg entries have.
#include "compose/Tables.h"

#include <filesystem>
#include <string>
#include <vector>

namespace sorvelin {

struct ScalaScale {
    std::string Description;
    // Pitch of degrees 1 .. n in cents above degree 0; the last is the period.
    std::vector<double> Cents;
};

// What a .kbm file says about where the scale sits. Without one, degree 0 is
// note 60 at its usual pitch.
struct KeyboardMapping {
    int MiddleNote = 60;    // the key degree 0 is mapped to
    int ReferenceNote = 60; // the key whose frequency is given
    double ReferenceFrequency = 261.6255653005986;
    int OctaveDegree = 0; // degrees between two repeats of Map
    std::vector<int> Map; // degree of each key from MiddleNote on, -1 unmapped; empty: linear
};

// One value of the Scale list: a note and its offset in cents.
struct ScaleValue {
    int Note = 0;
    int Cents = 0;
    bool operator==(const ScaleValue&) const = default;
};

// Both parsers read a whole file's text and raise UserError naming `fileName`
// and the line at fault.
ScalaScale ParseScalaScale(const std::string& text, const std::string& fileName);
KeyboardMapping ParseKeyboardMapping(const std::string& text, const std::string& fileName);

// Degrees 0 .. n-1 over two periods, each on its nearest note (an offset of
// exactly 50 cents goes to the note above, as -50) with the offset rounded to
// the nearest cent. Values outside notes 0 .. 127 are left out; UserError
// naming `fileName` when no value is left on a note from 1 to 127.
std::vector<ScaleValue> ScalaValues(const ScalaScale& scale, const KeyboardMapping& mapping,
                                    const std::string& fileName);

// The scale.cfg form of an entry: "name",60,61-37,...
std::string ScaleEntryLine(const std::string& name, const std::vector<ScaleValue>& values);

// Where .scl files are looked for, in this order: scales/ in the current
// directory, the user's ~/.local/share/sorvelin/scales and the installed
// share/sorvelin/scales.
std::vector<std::filesystem::path> ScalaSearchDirs();

// Appends one entry per .scl file of `dirs` (each folder in name order) to
// `scales`, and its description to `tooltips` (which is first padded with
// empty texts to the list's length). A file that cannot be used, or whose name
// the list already holds, is left out with a message in `messages`.
void AppendScalaScales(TableList& scales, std::vector<std::string>& tooltips,
                       const std::vector<std::filesystem::path>& dirs,
                       std::vector<std::string>& messages);

} // namespace sorvelin
