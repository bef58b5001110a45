#pragma once
// The song file: one value per line, CR LF line ends. Lines 1 to 139 hold the
// view, the line, the sampling options, the composition options and the
// sixteen part settings; lines 140 and 141 hold the Julia constant, which
// readers that stop at line 139 never see. Lines 142 to 144 hold the tempo,
// the velocity mode and the loop, beyond what readers that stop at line 141
// see.
#include "base/Errors.h"
#include "compose/ComposeState.h"
#include "compose/PartSettings.h"
#include "explorer/ComposeSpeed.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sorvelin {

constexpr int SongFileLines = 139;
constexpr int SongFileVersion = 0;
// A note count larger than this would make a series table of billions of
// values (and overflow 16 x N).
constexpr int MaxNoteCount = 1000000;
// Loading reruns Compose, which may iterate up to the limit at each of the
// 16 x N sample points, and with "Always" ticked draws the whole picture at
// that limit. A file from elsewhere with a limit of billions would keep the
// program busy for hours: a song whose work would take more than
// MaxComposeSeconds at this machine's measured speed is loaded only when the
// user confirms it.
inline constexpr double MaxComposeSeconds = 30.0;
// Asked before a song that may take long to compose is loaded; true goes on.
// Without one, such a song is refused.
using ConfirmLongWork = std::function<bool(const std::string& question)>;
// What a load will run besides the sampling, and the speed to weigh it at.
struct LongWorkCost {
    // Picture pixels drawn whole at the song's limit ("Always"); 0 for none.
    long long AlwaysPixels = 0;
    // None: this machine's measured speed.
    std::optional<ComposeSpeed> Speed;
};
// The line's ends are overlay pixels, a little outside the picture at most
// (the mouse is captured while it draws); far beyond any screen the sampling
// arithmetic would overflow.
constexpr int MaxLineCoordinate = 1000000;

struct SongFileData {
    int Version = SongFileVersion;
    // Main window field texts, copied as they stand.
    std::string MouseX, MouseY, RectWidth, RectHeight; // the Zoom In view
    std::string StartX, StartY, EndX, EndY;            // Calc Start-End
    std::string Iteration;
    std::string FormulaName; // empty when no formula is selected
    int PolyphonicMethod = 0;
    int XShift = 1;
    int YShift = 1;
    int LineStartX = 0, LineStartY = 0, LineEndX = 0, LineEndY = 0;
    // Composition window.
    int NotesPerPart = 200;
    std::string LongLimit = "480";
    bool DynamicAssign = false;
    int OoR = 0;
    int IterationLimit = 0;
    int ContinuousNumberAssgn = 0;
    int Notesare = 1;
    std::string ScaleName, RhythmName; // empty when nothing is selected
    PartSettingsTable Parts{};
    // Lines 140 and 141; absent from older files.
    bool HasJuliaConstant = false;
    double JuliaX = 0.0;
    double JuliaY = 0.0;
    // Lines 142 to 144; absent from older files and from a song that keeps
    // all three at their defaults.
    int Tempo = DefaultTempoBpm;
    int Velocity = VelocityFixed;
    bool Loop = false;

    bool operator==(const SongFileData&) const = default;
};

std::vector<std::string> FormatSongFile(const SongFileData& song);

// A line that ParseSongFile refuses: what() names the line and ends with
// "The song was not loaded."; Field() and Reason() name the value and its
// fault alone, for a message that is about the window's fields.
class SongLineError : public UserError {
public:
    SongLineError(int line, std::string field, std::string reason);
    int Line() const { return line_; }
    const std::string& Field() const { return field_; }
    const std::string& Reason() const { return reason_; }

private:
    int line_;
    std::string field_;
    std::string reason_;
};

// Save Song's lines: those of FormatSongFile, once they are known to load
// again as the same song. A value Load Song would refuse (a note count below
// 2, an iteration limit or length limit that is no integer, ...) raises
// UserError naming the value, and nothing is to be written.
std::vector<std::string> FormatSavableSongFile(const SongFileData& song);

// Refuses (UserError naming `source` when given, and the line) a file with a
// line longer than MaxLineBytes; ParseSongFile calls it first.
void CheckSongLineLengths(const std::vector<std::string>& lines, const std::string& source = {});

// Checks the whole file before anything is applied: a file shorter than 139
// lines, a line longer than MaxLineBytes, a line that does not convert
// (the length limit of line 20 included), a note count below 2, an octave
// outside MinOctave..MaxOctave, an iteration limit that may take too long to
// compose (weighed with `cost`) and that `confirm` does not accept,
// or a part value that would corrupt a MIDI byte raises UserError naming the
// line, and nothing of the file is used. Item indexes and slider positions
// are kept within their items and ranges. Notes for the user (a newer
// version, unreadable Julia lines) are appended to `messages`.
SongFileData ParseSongFile(const std::vector<std::string>& lines,
                           std::vector<std::string>& messages, const ConfirmLongWork& confirm = {},
                           const LongWorkCost& cost = {});

// Shown for a version above ours; loading goes on.
inline constexpr const char* NewerSongVersionMessage =
    "File saved with newer version.\nSome information may be lost";

} // namespace sorvelin
