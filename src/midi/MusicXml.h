#pragma once
// The song as sheet music: a MusicXML 4.0 score-partwise document, one part
// per part track, in 4/4 at 120 ticks a quarter note (divisions 120, so every
// tick is exact), plainly or as a compressed .mxl container.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace sorvelin {

class midiSong;

struct ScoreOptions {
    std::string title;     // the work's title; "Untitled" when empty
    bool dynamics = false; // velocities written as dynamics marks
};

// One note of a part track as the score holds it: key, cent offset (from the
// part's last pitch-wheel value before it, 4096 wheel units to 100 cents),
// onset, length and velocity.
struct ScoreNote {
    std::int32_t start = 0;
    std::int32_t length = 0;
    int key = 60;
    int cents = 0;
    int velocity = 100;
};

// What a part track holds for the score.
struct ScorePart {
    std::string name; // its track name, "Part N"
    int channel = 0;  // 0-15
    int program = 0;  // 0-127
    int pan = 64;     // 0-127
    std::vector<ScoreNote> notes;
};

// The part tracks of a song (every track after the conductor track) and the
// tempo, read from its events.
std::vector<ScorePart> ScoreParts(const midiSong& song);
// Beats per minute of the conductor track's first tempo.
double ScoreTempo(const midiSong& song);

// The whole score as MusicXML, written from the stream's current position.
// UserError when the song has no track (nothing rendered yet) or no part
// track; FileError when the stream fails.
void WriteMusicXml(const midiSong& song, const ScoreOptions& options, std::ostream& out);
// The same score as a compressed MusicXML container (.mxl): a zip archive of
// the mimetype, META-INF/container.xml and the score.
void WriteMxl(const midiSong& song, const ScoreOptions& options, std::ostream& out);

// Whether a file name asks for the compressed container (".mxl", any case).
bool IsMxlName(const std::string& fileName);

} // namespace sorvelin
