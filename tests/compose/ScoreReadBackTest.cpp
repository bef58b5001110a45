// The score that Save Score writes, read back by a reader of its own, holds
// exactly the notes of the MIDI file that Save MIDI writes for the same song:
// keys, cents, onsets and lengths, part by part.
#include "base/Errors.h"
#include "base/TextFile.h"
#include "compose/SongActions.h"
#include "compose/SongRender.h"
#include "midi/ZipStore.h"
#include "support/MusicXmlRead.h"
#include "support/SmfNotes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using namespace sorvelin;
using namespace sorvelin::check;

namespace {

std::string Score(RenderedSong& song, bool compressed, const std::string& songFile = {}) {
    std::ostringstream out;
    song.WriteScore(out, compressed, songFile);
    return out.str();
}

void ExpectScoreHoldsTheMidiNotes(RenderedSong& song) {
    const ReadScore score = ReadMusicXml(Score(song, false));
    for (const std::string& fault : score.faults) {
        ADD_FAILURE() << fault;
    }
    const HeardSong midi = HearSmf(song.MidiFileBytes());
    ASSERT_EQ(midi.division, 120);
    ASSERT_EQ(score.parts.size() + 1, midi.tracks.size());
    for (std::size_t p = 0; p < score.parts.size(); ++p) {
        std::vector<ReadNote> heard;
        for (const HeardNote& n : midi.tracks[p + 1]) {
            heard.push_back({n.key, n.cents, n.start, n.length});
        }
        ASSERT_EQ(score.parts[p].notes, heard) << "part " << p + 1;
    }
}

// The entries of a stored zip archive in order: name and bytes.
std::vector<std::pair<std::string, std::string>> Unzip(const std::string& zip) {
    std::vector<std::pair<std::string, std::string>> entries;
    auto le = [&](std::size_t at, int n) {
        std::uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) {
            v = (v << 8) | static_cast<std::uint8_t>(zip.at(at + static_cast<std::size_t>(i)));
        }
        return v;
    };
    std::size_t at = 0;
    while (le(at, 4) == 0x04034b50) {
        EXPECT_EQ(le(at + 8, 2), 0u) << "stored";
        const std::uint32_t size = le(at + 18, 4);
        const std::uint32_t nameLength = le(at + 26, 2);
        const std::size_t data = at + 30 + nameLength + le(at + 28, 2);
        entries.emplace_back(zip.substr(at + 30, nameLength), zip.substr(data, size));
        EXPECT_EQ(le(at + 14, 4), Crc32(entries.back().second));
        at = data + size;
    }
    EXPECT_EQ(le(at, 4), 0x02014b50u) << "the central directory follows the entries";
    EXPECT_EQ(le(zip.size() - 22, 4), 0x06054b50u);
    EXPECT_EQ(le(zip.size() - 22 + 10, 2), entries.size());
    return entries;
}

} // namespace

TEST(ScoreReadBack, HeldExampleSongsGiveTheirMidiNotes) {
    for (const char* name : {"song.svl", "long.svl"}) {
        SCOPED_TRACE(name);
        ComposeModel compose;
        compose.LoadTableFiles({SORVELIN_RENDER_DATA});
        ExplorerModel explorer;
        explorer.SetPictureSize(ExplorerPictureSize, ExplorerPictureSize);
        explorer.ZoomIn();
        PartSettingsTable parts = DefaultPartSettings();
        const LoadSongResult loaded =
            LoadSong(std::filesystem::path(SORVELIN_RENDER_DATA) / name, explorer, compose, parts,
                     [](const std::string&) { return true; });
        ASSERT_TRUE(loaded.Loaded);
        RenderedSong song;
        RenderPlaySong(song, explorer, compose, parts);
        ExpectScoreHoldsTheMidiNotes(song);
        EXPECT_EQ(ReadMusicXml(Score(song, false, compose.SongFile)).title,
                  std::filesystem::path(name).stem().string());
    }
}

// Songs made of every example scale (tempered, microtonal, Scala tunings)
// and rhythms down to one tick, with random options, octaves and series.
TEST(ScoreReadBack, GeneratedSongsGiveTheirMidiNotes) {
    test::TempDir dir;
    std::vector<std::string> rhythms = ReadLines(SORVELIN_DATA_DIR "/rhythm.cfg");
    rhythms.insert(rhythms.end(), {"\"Ticks\",1,2,7,13", "\"Triplets\",40,40,40,80,20,10",
                                   "\"Odd\",27,480,1000,33,45"});
    std::vector<std::string> scales = ReadLines(SORVELIN_DATA_DIR "/scale.cfg");
    scales.push_back("\"Wide\",0,5+150,60-199,61+199,127-200,11");
    WriteLinesAtomic(dir.path / "rhythm.cfg", rhythms);
    WriteLinesAtomic(dir.path / "scale.cfg", scales);
    ComposeModel compose;
    ASSERT_TRUE(compose.LoadTableFiles({dir.path}, {SORVELIN_DATA_DIR "/scales"}).empty());
    const int scaleCount = static_cast<int>(compose.ScaleLines.Names.size());
    const int rhythmCount = static_cast<int>(compose.RhythmLines.Names.size());

    std::mt19937 random(20261209);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int round = 0; round < 2 * scaleCount; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        compose.Controls.ScaleComboBox1 = round % scaleCount;
        compose.ScaleComboBox1Change();
        compose.Controls.RhytmComboBox2 = pick(rhythmCount);
        compose.RhytmComboBox2Change();
        compose.Controls.OoR = pick(NoteAssignItems);
        compose.Controls.IterationLimit = pick(OverIterLimitItems);
        compose.Controls.ContinuousNumberAssgn = pick(ContinuousItems);
        compose.Controls.Notesare = pick(OverLengthItems);
        compose.Controls.LongLimit = std::to_string(30 + pick(1000));
        compose.Controls.Velocity = pick(VelocityItems);
        PartSettingsTable parts = DefaultPartSettings();
        for (PartSettings& part : parts) {
            part.UsePart = pick(3) == 0;
            part.Octave = pick(11) - 5;
            part.Channel = pick(16);
        }
        parts[static_cast<std::size_t>(round % 16)].UsePart = true;
        const int limit = 1 + pick(300);
        const int perPart = 2 + pick(60);
        std::vector<std::int32_t> series(static_cast<std::size_t>(16 * perPart));
        for (std::int32_t& v : series) {
            v = pick(8) == 0 ? limit : pick(pick(2) ? 4 : limit + 1);
        }
        compose.BuildAssignLists(series);
        RenderedSong song;
        song.Render(compose, parts, series, limit);
        ExpectScoreHoldsTheMidiNotes(song);
        if (HasFatalFailure()) {
            return;
        }
    }
}

// The compressed container holds the mimetype first, a container naming the
// score, and the very score the plain file holds; the part list names each
// part, its General MIDI instrument, channel, program and pan; the tempo and
// the title come along, and dynamics only when the velocities come from the
// series; a song without parts is refused.
TEST(ScoreReadBack, ContainerPartListTempoTitleAndDynamics) {
    ComposeModel compose;
    compose.Controls.Tempo = "90";
    compose.TempoChange();
    PartSettingsTable parts = DefaultPartSettings();
    parts[1].UsePart = false;
    parts[4] = {true, 9, 19, 0, 100, 127, 0};
    parts[0].Pan = 127;
    std::vector<std::int32_t> series(16 * 8);
    for (std::size_t i = 0; i < series.size(); ++i) {
        series[i] = static_cast<std::int32_t>(i * 7 % 50);
    }
    for (int velocity : {VelocityFixed, VelocityFromSeries}) {
        compose.Controls.Velocity = velocity;
        RenderedSong song;
        song.Render(compose, parts, series, 50);
        const std::string plain = Score(song, false, "Sea & <Sky>.svl");
        const ReadScore score = ReadMusicXml(plain);
        EXPECT_EQ(score.title, "Sea & <Sky>");
        EXPECT_EQ(ReadMusicXml(Score(song, false)).title, "Untitled");
        EXPECT_EQ(score.tempo, "90");
        ASSERT_EQ(score.parts.size(), 2u);
        const ReadPart& first = score.parts[0];
        const ReadPart& fifth = score.parts[1];
        EXPECT_EQ(first.name + "|" + first.instrument + "|" + std::to_string(first.channel) + "|" +
                      std::to_string(first.program) + "|" + first.pan,
                  "Part 1|Acoustic Grand Piano|1|1|88.59");
        EXPECT_EQ(fifth.name + "|" + fifth.instrument + "|" + std::to_string(fifth.channel) + "|" +
                      std::to_string(fifth.program) + "|" + fifth.pan,
                  "Part 5|Church Organ|10|20|-90");
        EXPECT_EQ(first.dynamicsMarks > 0, velocity == VelocityFromSeries);

        const auto entries = Unzip(Score(song, true, "Sea & <Sky>.svl"));
        ASSERT_EQ(entries.size(), 3u);
        EXPECT_EQ(entries[0].first + " " + entries[0].second,
                  "mimetype application/vnd.recordare.musicxml");
        EXPECT_EQ(entries[1].first, "META-INF/container.xml");
        const std::unique_ptr<XmlNode> container = ParseXml(entries[1].second);
        const XmlNode* rootfile = container->Child("rootfiles")->Child("rootfile");
        ASSERT_NE(rootfile, nullptr);
        EXPECT_EQ(rootfile->attributes.at("full-path"), entries[2].first);
        EXPECT_EQ(entries[2].second, plain);
    }
    // A song of no part is no score: said, and nothing written.
    RenderedSong empty;
    empty.Render(compose, PartSettingsTable{}, series, 50);
    std::ostringstream out;
    EXPECT_THROW(empty.WriteScore(out, false, {}), UserError);
    EXPECT_TRUE(out.str().empty());
}
