#pragma once
// How a part's notes are written as sheet music: bars of 4/4 at 120 ticks a
// quarter note, each note and each rest between them a chain of written
// values (a type with dots, under a tuplet where the ticks need one), tied
// where one value does not fit; and each key with its cent offset spelled as
// a letter, an octave, an alteration and an accidental.
//
// Every tick is kept: the written values of a note add up to its length in
// ticks, so a reader gets back exactly the notes that were written. A beat
// whose note boundaries all fall on 32nds is written plainly; otherwise the
// whole beat is one tuplet group (3:2 where the boundaries fall on fifths of
// a 32nd, 5:4 on 24ths of a quarter, 15:8 on single ticks), so that every
// group is complete and a notation program takes it as it stands.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sorvelin {

inline constexpr int ScoreTicksPerBeat = 120;
inline constexpr int ScoreTicksPerBar = 4 * ScoreTicksPerBeat;

// Note types from the whole note (0) down to the 256th (8).
inline constexpr int WholeNoteType = 0;
inline constexpr int ShortestNoteType = 8;
// The MusicXML name of a type: "whole", "half", "quarter", "eighth", "16th", ...
const char* NoteTypeName(int type);

// One written value: `actual` of its kind in the time of `normal`.
struct WrittenValue {
    int type = WholeNoteType;
    int dots = 0;
    int actual = 1;
    int normal = 1;
    int ticks = 0;
    bool operator==(const WrittenValue&) const = default;
};

// A sounding note of a part: onset and length in ticks (a length of 0 is a
// grace note).
struct NoteSpan {
    std::int32_t start = 0;
    std::int32_t length = 0;
};

// One written note or rest.
struct WrittenPiece {
    std::int32_t start = 0;
    WrittenValue value;
    int note = -1;      // index into the part's notes; -1 for a rest
    bool grace = false; // a note of no length, before the piece at its tick
    bool tiedFromPrevious = false;
    bool tiedToNext = false;
    bool tupletStart = false;  // first piece of a tuplet group (a beat)
    bool tupletStop = false;   // its last piece
    bool wholeBarRest = false; // a rest that fills its bar
};

// The written pieces of a part from tick 0 to `end` (a multiple of
// ScoreTicksPerBar, beyond every note). `notes` are in order of onset and do
// not overlap; a note that runs into the next one is cut at its onset.
std::vector<WrittenPiece> WritePart(std::span<const NoteSpan> notes, std::int32_t end);

// The bar count that holds every note, at least one bar.
std::int32_t ScoreBars(std::span<const NoteSpan> notes);

// A key and its cent offset as written: letter, octave, alteration in
// hundredths of a semitone, and the accidental that names it. Keys are
// spelled for a key signature of C (C, C#, D, Eb, E, F, F#, G, G#, A, Bb, B),
// the cents added to the alteration; an offset shows as an arrow on the
// accidental of the key, so the key can be read back from the accidental.
struct SpelledPitch {
    char step = 'C';
    int octave = 4;     // 60 is C4; may be -1 for the lowest keys
    int hundredths = 0; // alter x 100
    bool operator==(const SpelledPitch&) const = default;
};
SpelledPitch SpellPitch(int key, int cents);
// MusicXML's decimal alter: 30 -> "0.3", -150 -> "-1.5", 100 -> "1".
std::string AlterText(int hundredths);
// "sharp", "natural-up", "flat-down", ...: the accidental of the key's
// spelling, with an arrow when the cents move it.
std::string AccidentalName(int key, int cents);

} // namespace sorvelin
