#include "midi/Midispec.h"

#include "base/Errors.h"

#include <string_view>
#include <utility>

namespace sorvelin {
namespace {

constexpr std::string_view programTexts[128] = {"Acoustic Grand Piano",
                                                "Bright Acoustic Piano",
                                                "Electric Grand Piano",
                                                "Honkey-tonk Piano",
                                                "Electric Piano1",
                                                "Electric Piano2",
                                                "Harpsichord",
                                                "Clavi",
                                                "Celesta",
                                                "Glockenspiel",
                                                "Music Box",
                                                "Vibraphone",
                                                "Marinmba",
                                                "Xylophone",
                                                "Tubular Bells",
                                                "Dulcimer",
                                                "Drawbar Organ",
                                                "Percussive Organ",
                                                "Rock Organ",
                                                "Church Organ",
                                                "Reed Organ",
                                                "Accordion",
                                                "Harmonica",
                                                "Tango Accordion",
                                                "Acoustic Guitar(nylon)",
                                                "Acoustic Guitar(steel)",
                                                "Electric Guitar(jazz)",
                                                "Electric Guitar(clean)",
                                                "Electric Guitar(muted)",
                                                "Overdriven Guitar",
                                                "Distortion Guitar",
                                                "Guitar harmonics",
                                                "Acoustic Bass",
                                                "Electric Bass(finger)",
                                                "Electric Bass(pick)",
                                                "Fretless Bass",
                                                "Slap Bass1",
                                                "Slap Bass2",
                                                "Synth Bass1",
                                                "Synth Bass2",
                                                "Violin",
                                                "Viola",
                                                "Cello",
                                                "Contrabass",
                                                "Tremolo Strings",
                                                "Pizzicato Strings",
                                                "Orchestral Harp",
                                                "Timpani",
                                                "String Emsemble1",
                                                "String Emsemble2",
                                                "Synth String1",
                                                "Synth String2",
                                                "Choir Aahs",
                                                "Voice Oohs",
                                                "Synth Vox",
                                                "Orchestra Hit",
                                                "Trumpet",
                                                "Trombone",
                                                "Tuba",
                                                "Muted Trumpet",
                                                "French Horn",
                                                "Brass Section",
                                                "Synth Brass1",
                                                "Synth Brass2",
                                                "Soprano Sax",
                                                "Alto Sax",
                                                "Tenor Sax",
                                                "Baritone Sax",
                                                "Oboe",
                                                "English Horn",
                                                "Bassoon",
                                                "Clarinet",
                                                "Piccolo",
                                                "Flute",
                                                "Recorder",
                                                "Pan Flute",
                                                "Blown Bottle",
                                                "Shakuhachi",
                                                "Whistle",
                                                "Ocarina",
                                                "Lead1(square)",
                                                "Lead2(sawtooth",
                                                "Lead3(calliope)",
                                                "Lead4(chiff)",
                                                "Lead5(charang)",
                                                "Lead6(voice)",
                                                "Lead7(fifths)",
                                                "Lead8(bass + lead)",
                                                "Pad1(new age)",
                                                "Pad2(warm)",
                                                "Pad3(polysynth)",
                                                "Pad4(choir)",
                                                "Pad5(bowed)",
                                                "Pad6(metallic)",
                                                "Pad7(halo)",
                                                "Pad8(sweep)",
                                                "Fx1(rain)",
                                                "Fx2(soundtrack)",
                                                "Fx3(crystal)",
                                                "Fx4(atmosphere)",
                                                "Fx5(brightness)",
                                                "Fx6(goblins)",
                                                "Fx7(echoes)",
                                                "Fx8(sci-fi)",
                                                "Sitar",
                                                "Banjo",
                                                "Shamisen",
                                                "Koto",
                                                "Kalimba",
                                                "Bag pipe",
                                                "Fiddle",
                                                "Shanai",
                                                "Tinkle Bell",
                                                "Agogo",
                                                "Steel Drums",
                                                "Woodblock",
                                                "Taiko",
                                                "Melodic Tom",
                                                "Synth Drum",
                                                "Reverse Cymbal",
                                                "Guitar Fret Noise",
                                                "Breath Noise",
                                                "Seashore",
                                                "Bird Tweet",
                                                "Telephone Ring",
                                                "Helicopter",
                                                "Applause",
                                                "Gunshot"};

// Controllers with a name of their own; every other entry is its number.
constexpr std::pair<int, std::string_view> controllerTexts[] = {
    {0, "Bank Select MSB(0)"},
    {1, "Modulation(1)"},
    {5, "Portament Time(5)"},
    {6, "Data Entry MSB(6)"},
    {7, "Main Volume(7)"},
    {10, "Panpot(10)"},
    {11, "Expression(11)"},
    {16, "16(AC1 Default Num)"},
    {17, "17(AC2 Default Num)"},
    {32, "Bank Select LSB(32)"},
    {38, "Data Entry LSB(38)"},
    {64, "Sustain(64)"},
    {65, "Portament(65)"},
    {66, "Sostenuto(66)"},
    {67, "Soft Pedal(67)"},
    {71, "Harmonic Content(71)"},
    {72, "Release Time(72)"},
    {73, "Atack Time(73)"},
    {74, "Brightness(74)"},
    {84, "Portament Control(84)"},
    {91, "Reverb(91)"},
    {93, "Chorus(93)"},
    {94, "Variation(94)"},
    {96, "Deta Increment(96)"},
    {97, "Data Decrement(97)"},
    {98, "NRPN LSB(98)"},
    {99, "NRPN MSB(99)"},
    {100, "RPN LSB(100)"},
    {101, "RPN MSB(101)"},
    {120, "All Sound Off(120)"},
    {121, "Rset All Controller(121)"},
    {123, "All Note Off(123)"},
    {124, "OMNI Off(124)"},
    {125, "OMNI On(125)"},
    {126, "MONO(126)"},
    {127, "POLY(127)"},
};

constexpr std::string_view pitchClasses[12] = {"C",  "C#", "D",  "Eb", "E",  "F",
                                               "F#", "G",  "G#", "A",  "Bb", "B"};

NameTable BuildPrograms() {
    NameTable table;
    for (int n = 0; n < 128; ++n) {
        table[n] = std::string(programTexts[n]);
    }
    return table;
}

NameTable BuildControllers() {
    NameTable table;
    for (int n = 0; n < 128; ++n) {
        table[n] = std::to_string(n);
    }
    for (const auto& [number, text] : controllerTexts) {
        table[number] = std::string(text);
    }
    return table;
}

// Four characters each: " C-1", "C#-1", " C 4", " C#4".
NameTable BuildNotes() {
    NameTable table;
    for (int n = 0; n < 128; ++n) {
        const std::string pitch(pitchClasses[n % 12]);
        const int octave = n / 12 - 1;
        std::string text;
        if (octave < 0) {
            text = (pitch.size() == 1 ? " " + pitch : pitch) + "-1";
        } else {
            text = " " + pitch + (pitch.size() == 1 ? " " : "") + std::to_string(octave);
        }
        table[n] = text;
    }
    return table;
}

const std::string& Entry(const NameTable& table, int n) {
    if (n < 0 || n >= 128) {
        throw IndexError(n, 128);
    }
    return table[static_cast<std::size_t>(n)];
}

} // namespace

const NameTable& ProgramNames() {
    static const NameTable table = BuildPrograms();
    return table;
}

const NameTable& ControllerNames() {
    static const NameTable table = BuildControllers();
    return table;
}

const NameTable& NoteNames() {
    static const NameTable table = BuildNotes();
    return table;
}

void FillNameTables() {
    ProgramNames();
    ControllerNames();
    NoteNames();
}

std::string ProgramName(int n) {
    return Entry(ProgramNames(), n);
}
std::string ControllerName(int n) {
    return Entry(ControllerNames(), n);
}
std::string NoteName(int n) {
    return Entry(NoteNames(), n);
}

} // namespace sorvelin
