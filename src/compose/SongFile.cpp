#include "compose/SongFile.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "base/TextFile.h"
#include "compose/ComposeState.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace sorvelin {
namespace {

constexpr int ShiftMax = 100; // the shift track bars run 0..100
constexpr int PolyphonicItems = 3;
constexpr int TempoLine = SongFileLines + 3;
constexpr int VelocityLine = SongFileLines + 4;
constexpr int LoopLine = SongFileLines + 5;

// Reads lines by their 1-based number and names the line in every refusal.
class LineReader {
public:
    explicit LineReader(const std::vector<std::string>& lines) : lines_(lines) {}

    const std::string& Text(int line) const { return lines_[static_cast<std::size_t>(line - 1)]; }

    int Int(int line, const char* what) const {
        int value = 0;
        if (!TryStrToInt(Text(line), value)) {
            Refuse(line, what, "\"" + Excerpt(Text(line)) + "\" is not an integer.");
        }
        return value;
    }

    // A number text that Zoom In will convert; kept as text.
    std::string NumberText(int line, const char* what) const {
        double value = 0.0;
        if (!TryStrToFloat(Text(line), value)) {
            Refuse(line, what, "\"" + Excerpt(Text(line)) + "\" is not a number.");
        }
        return Text(line);
    }

    std::string IntText(int line, const char* what) const {
        Int(line, what);
        return Text(line);
    }

    int InRange(int line, const char* what, int low, int high) const {
        const int value = Int(line, what);
        if (value < low || value > high) {
            Refuse(line, what,
                   IntToStr(value) + " is outside " + IntToStr(low) + " to " + IntToStr(high) +
                       ".");
        }
        return value;
    }

    // A radio group keeps its index within its items.
    int Item(int line, const char* what, int items) const {
        return std::clamp(Int(line, what), 0, items - 1);
    }

    [[noreturn]] static void Refuse(int line, const char* what, const std::string& why) {
        throw SongLineError(line, what, why);
    }

private:
    const std::vector<std::string>& lines_;
};

// Line 10 weighed against the note count and the picture "Always" draws, at
// the measured speed. A limit of 0 or less leaves the limit in force
// unchanged and is not weighed here.
void CheckComposeWork(const LineReader& in, int notesPerPart, const ConfirmLongWork& confirm,
                      const LongWorkCost& cost) {
    const int limit = in.Int(10, "iteration limit");
    const long long samples = static_cast<long long>(PartSettingsCount) * notesPerPart;
    const ComposeSpeed& speed = cost.Speed ? *cost.Speed : MachineComposeSpeed();
    const double seconds = EstimatedSeconds(speed, samples, cost.AlwaysPixels, limit);
    if (seconds <= MaxComposeSeconds) {
        return;
    }
    const std::string work = "the iteration limit " + IntToStr(limit) + " with " +
                             IntToStr(notesPerPart) + " notes per part";
    const double minutes = std::min(std::max(std::round(seconds / 60.0), 1.0), 1e9);
    if (confirm &&
        confirm("Composing this song may take about " + IntToStr(static_cast<long long>(minutes)) +
                " min on this computer (" + work + ").\nLoad it anyway?")) {
        return;
    }
    LineReader::Refuse(10, "iteration limit",
                       IntToStr(limit) + " with " + IntToStr(notesPerPart) +
                           " notes per part may take minutes to compose.");
}

int PartLine(int part, int field) {
    return 28 + 7 * part + field;
}

constexpr const char* NotLoaded = "\nThe song was not loaded.";
constexpr const char* NotSaved = "\nThe song was not saved.";

} // namespace

SongLineError::SongLineError(int line, std::string field, std::string reason)
    : UserError("Line " + IntToStr(line) + " (" + field + "): " + reason + NotLoaded), line_(line),
      field_(std::move(field)), reason_(std::move(reason)) {}

void CheckSongLineLengths(const std::vector<std::string>& lines, const std::string& source) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string fault = LineLengthFault(lines[i]);
        if (!fault.empty()) {
            const std::string where = source.empty() ? "Line " : Excerpt(source) + ", line ";
            throw UserError(where + IntToStr(static_cast<long long>(i + 1)) + ": " + fault +
                            NotLoaded);
        }
    }
}

std::vector<std::string> FormatSavableSongFile(const SongFileData& song) {
    std::vector<std::string> lines = FormatSongFile(song);
    // Read back exactly as Load Song will read the file; the user's own
    // limit is no question here, Load Song asks it again.
    std::vector<std::string> notes;
    const std::vector<std::string> reread = SplitLines(JoinLinesCrLf(lines));
    if (reread.size() != lines.size()) {
        throw UserError("A text holds a line break." + std::string(NotSaved));
    }
    for (const std::string& line : lines) {
        if (const std::string fault = LineLengthFault(line); !fault.empty()) {
            throw UserError("A text is too long: " + fault + NotSaved);
        }
    }
    try {
        ParseSongFile(reread, notes, [](const std::string&) { return true; });
    } catch (const SongLineError& error) {
        std::string field = error.Field();
        field[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(field[0])));
        throw UserError(field + ": " + error.Reason() + NotSaved);
    }
    return lines;
}

std::vector<std::string> FormatSongFile(const SongFileData& song) {
    std::vector<std::string> lines;
    lines.reserve(LoopLine);
    lines.push_back("0000");
    for (const std::string* text :
         {&song.MouseX, &song.MouseY, &song.RectWidth, &song.RectHeight, &song.StartX, &song.StartY,
          &song.EndX, &song.EndY, &song.Iteration, &song.FormulaName}) {
        lines.push_back(*text);
    }
    for (int value : {song.PolyphonicMethod, song.XShift, song.YShift, song.LineStartX,
                      song.LineStartY, song.LineEndX, song.LineEndY, song.NotesPerPart}) {
        lines.push_back(IntToStr(value));
    }
    lines.push_back(song.LongLimit);
    for (int value : {song.DynamicAssign ? 1 : 0, song.OoR, song.IterationLimit,
                      song.ContinuousNumberAssgn, song.Notesare}) {
        lines.push_back(IntToStr(value));
    }
    lines.push_back(song.ScaleName);
    lines.push_back(song.RhythmName);
    for (const PartSettings& part : song.Parts) {
        for (int value : {part.UsePart ? 1 : 0, static_cast<int>(part.Channel), part.Program,
                          part.Pan, part.Reserved1, part.Reserved2, part.Octave}) {
            lines.push_back(IntToStr(value));
        }
    }
    // The Julia constant shapes every series of a "Julia Set" song.
    lines.push_back(FloatToStr(song.JuliaX));
    lines.push_back(FloatToStr(song.JuliaY));
    // Only a song that changed one of them carries the playing options: a
    // song made without them keeps the bytes it always had.
    if (song.Tempo != DefaultTempoBpm || song.Velocity != VelocityFixed || song.Loop) {
        for (int value : {song.Tempo, song.Velocity, song.Loop ? 1 : 0}) {
            lines.push_back(IntToStr(value));
        }
    }
    return lines;
}

SongFileData ParseSongFile(const std::vector<std::string>& lines,
                           std::vector<std::string>& messages, const ConfirmLongWork& confirm,
                           const LongWorkCost& cost) {
    if (lines.size() < static_cast<std::size_t>(SongFileLines)) {
        throw UserError("This song file has " + IntToStr(static_cast<long long>(lines.size())) +
                        " lines; a song file has " + IntToStr(SongFileLines) +
                        ".\nThe song was not loaded.");
    }
    CheckSongLineLengths(lines);
    const LineReader in(lines);
    std::vector<std::string> notes;
    SongFileData song;
    song.Version = in.Int(1, "version");
    if (song.Version > SongFileVersion) {
        notes.push_back(NewerSongVersionMessage);
    }
    song.MouseX = in.NumberText(2, "view centre x");
    song.MouseY = in.NumberText(3, "view centre y");
    song.RectWidth = in.NumberText(4, "view width");
    song.RectHeight = in.NumberText(5, "view height");
    song.StartX = in.Text(6);
    song.StartY = in.Text(7);
    song.EndX = in.Text(8);
    song.EndY = in.Text(9);
    song.Iteration = in.IntText(10, "iteration limit");
    song.FormulaName = in.Text(11);
    song.PolyphonicMethod = in.Item(12, "polyphonic method", PolyphonicItems);
    song.XShift = std::clamp(in.Int(13, "x shift"), 0, ShiftMax);
    song.YShift = std::clamp(in.Int(14, "y shift"), 0, ShiftMax);
    song.LineStartX = in.InRange(15, "line start x", -MaxLineCoordinate, MaxLineCoordinate);
    song.LineStartY = in.InRange(16, "line start y", -MaxLineCoordinate, MaxLineCoordinate);
    song.LineEndX = in.InRange(17, "line end x", -MaxLineCoordinate, MaxLineCoordinate);
    song.LineEndY = in.InRange(18, "line end y", -MaxLineCoordinate, MaxLineCoordinate);
    song.NotesPerPart = in.InRange(19, "notes per part", MinNoteCount, MaxNoteCount);
    CheckComposeWork(in, song.NotesPerPart, confirm, cost);
    song.LongLimit = in.IntText(20, "length limit");
    song.DynamicAssign = in.Int(21, "dynamic assign") != 0;
    song.OoR = in.Item(22, "note assign", NoteAssignItems);
    song.IterationLimit = in.Item(23, "over iteration limit", OverIterLimitItems);
    song.ContinuousNumberAssgn = in.Item(24, "continuous numbers", ContinuousItems);
    song.Notesare = in.Item(25, "over length limit", OverLengthItems);
    song.ScaleName = in.Text(26);
    song.RhythmName = in.Text(27);
    for (int k = 0; k < PartSettingsCount; ++k) {
        PartSettings& part = song.Parts[static_cast<std::size_t>(k)];
        part.UsePart = in.Int(PartLine(k, 0), "use part") != 0;
        part.Channel = static_cast<std::int16_t>(
            in.InRange(PartLine(k, 1), "MIDI channel", MinChannel, MaxChannel));
        part.Program = in.InRange(PartLine(k, 2), "program", MinDataByte, MaxDataByte);
        part.Pan = in.InRange(PartLine(k, 3), "pan", MinDataByte, MaxDataByte);
        part.Reserved1 = in.Int(PartLine(k, 4), "reserved value");
        part.Reserved2 = in.Int(PartLine(k, 5), "reserved value");
        part.Octave = in.InRange(PartLine(k, 6), "octave", MinOctave, MaxOctave);
    }
    if (lines.size() >= static_cast<std::size_t>(SongFileLines + 2)) {
        double x = 0.0;
        double y = 0.0;
        if (TryStrToFloat(in.Text(140), x) && TryStrToFloat(in.Text(141), y)) {
            song.HasJuliaConstant = true;
            song.JuliaX = x;
            song.JuliaY = y;
        } else {
            notes.push_back("Lines 140 and 141 do not hold a Julia constant; the current "
                            "constant is kept.");
        }
    }
    // An empty line, or one of blanks only, counts as absent: an editor may
    // leave such lines at the end of a file that holds no playing options.
    // Lines after 144 belong to a later version and are not read.
    const auto has = [&lines, &in](int line) {
        return lines.size() >= static_cast<std::size_t>(line) &&
               in.Text(line).find_first_not_of(" \t") != std::string::npos;
    };
    if (has(TempoLine)) {
        song.Tempo = in.InRange(TempoLine, "tempo", MinTempoBpm, MaxTempoBpm);
    }
    if (has(VelocityLine)) {
        song.Velocity = in.InRange(VelocityLine, "velocity mode", 0, VelocityItems - 1);
    }
    if (has(LoopLine)) {
        song.Loop = in.InRange(LoopLine, "loop", 0, 1) != 0;
    }
    messages.insert(messages.end(), notes.begin(), notes.end());
    return song;
}

} // namespace sorvelin
