#pragma once
// The composition window's controls as plain values, named after the
// controls. The window copies its widgets into this struct and back; the
// note generator, the renderer and the song file read and write only this.
#include <string>

namespace sorvelin {

// Item indexes of the option groups.
enum NoteAssignItem { WrapAround = 0, Compress = 1 };                   // OoR
enum OverIterLimitItem { LimitRest = 0, LimitNote = 1, LimitSkip = 2 }; // IterationLimit
enum ContinuousItem { ContinuousSlur = 0, ContinuousSkip = 1, ContinuousNewNote = 2 };
enum OverLengthItem { LengthShorten = 0, LengthDivide = 1, LengthDontCare = 2 }; // Notesare
enum VelocityItem { VelocityFixed = 0, VelocityFromSeries = 1 };                 // "Velocity"

constexpr int NoteAssignItems = 2;
constexpr int OverIterLimitItems = 3;
constexpr int ContinuousItems = 3;
constexpr int OverLengthItems = 3;
constexpr int VelocityItems = 2;

// Beats (quarter notes) per minute; the default is the tempo every song had
// before the tempo could be chosen.
constexpr int MinTempoBpm = 20;
constexpr int MaxTempoBpm = 300;
constexpr int DefaultTempoBpm = 120;

// A note count below this cannot be sampled (the step between samples
// divides by the count - 1).
constexpr int MinNoteCount = 2;

// Captions of the number fields; a conversion error about a field begins
// with its caption.
inline constexpr const char* LengthLimitCaption = "Length Limit";
inline constexpr const char* NoteCountCaption = "Note Count";
inline constexpr const char* TempoCaption = "Tempo";

struct ComposeControls {
    int ScaleComboBox1 = 0;                     // selected item, -1 for none
    int RhytmComboBox2 = 0;                     // selected item, -1 for none
    int OoR = WrapAround;                       // "Note Assign"
    int IterationLimit = LimitRest;             // "Over Iter. Limit"
    bool DynamicAssign = false;                 // checked
    bool DynamicAssignEnabled = false;          // only a scale with a repeated note enables it
    int ContinuousNumberAssgn = ContinuousSlur; // "Continuous No. "
    std::string LongLimit = "480";              // "Length Limit", ticks
    int Notesare = LengthDivide;                // "Over Length Limit"
    std::string NoteCount = "200";
    bool ShowNote = true;
    bool ShowSeries = true;
    std::string Tempo = "120"; // "Tempo", beats per minute
    int Velocity = VelocityFixed;
    bool Loop = false; // playback starts again at the first note

    bool operator==(const ComposeControls&) const = default;
};

} // namespace sorvelin
