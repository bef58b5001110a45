// A notation program that no one here wrote opens the scores: MuseScore 3,
// headless, imports each score (plain and compressed) without a complaint
// and exports MIDI whose notes are ours (keys, onsets, lengths, up to its
// resolution of 480 ticks a quarter note). Its importer takes only whole
// alterations, so for notes with cents it says "invalid alter" and plays the
// letter; those notes are compared by time alone.
//
// With SORVELIN_SCORE_DIR set, the start-up song's score is left there as a
// PDF (docs/startup-score.pdf comes from there).
#include "base/TextFile.h"
#include "compose/SongActions.h"
#include "compose/SongRender.h"
#include "support/SmfNotes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace sorvelin;
using namespace sorvelin::check;

namespace {

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

bool OnPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs MuseScore on `score` into `out`, with `scratch` (a private folder)
// for its runtime files and what it says; returns what it said that is more
// than its greeting.
std::vector<std::string> Convert(const std::filesystem::path& score,
                                 const std::filesystem::path& out,
                                 const std::filesystem::path& scratch) {
    const std::filesystem::path said = scratch / (out.filename().string() + ".log");
    const std::string command = "QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR='" + scratch.string() +
                                "' mscore3 -o '" + out.string() + "' '" + score.string() + "' >'" +
                                said.string() + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<std::string> complaints;
    std::istringstream lines(Slurp(said));
    for (std::string line; std::getline(lines, line);) {
        const bool greeting = line.find("XDG_RUNTIME_DIR") != std::string::npos ||
                              line.rfind("convert <", 0) == 0 || line.find("to <") == 1 ||
                              line.find("... success!") != std::string::npos || line.empty();
        if (!greeting) {
            complaints.push_back(line);
        }
    }
    return complaints;
}

void ExpectMuseScoreHearsOurNotes(RenderedSong& song, const std::filesystem::path& dir,
                                  const std::string& name, bool compressedToo) {
    const HeardSong ours = HearSmf(song.MidiFileBytes());
    bool microtonal = false;
    for (const auto& track : ours.tracks) {
        for (const HeardNote& n : track) {
            microtonal |= n.cents != 0;
        }
    }
    for (const std::string extension : {".musicxml", ".mxl"}) {
        if (!compressedToo && extension == ".mxl") {
            break;
        }
        SCOPED_TRACE(name + extension);
        const std::filesystem::path score = dir / (name + extension);
        song.SaveScore(score, {});
        if (OnPath("xmllint") && extension == ".musicxml") {
            EXPECT_EQ(std::system(("xmllint --noout --nonet '" + score.string() + "'").c_str()), 0);
        }
        const std::filesystem::path back = dir / (name + extension + ".mid");
        for (const std::string& complaint : Convert(score, back, dir)) {
            const bool alter = complaint.find("invalid alter") != std::string::npos ||
                               complaint.find("microtonal accidental") != std::string::npos;
            EXPECT_TRUE(microtonal && alter) << complaint;
        }
        const HeardSong theirs = HearSmf(Slurp(back));
        ASSERT_EQ(theirs.division, 4 * ours.division);
        const auto withNotes = [](const HeardSong& song) {
            std::vector<const std::vector<HeardNote>*> tracks;
            for (const auto& t : song.tracks) {
                tracks.insert(tracks.end(), t.empty() ? 0 : 1, &t);
            }
            return tracks;
        };
        const auto a = withNotes(ours), b = withNotes(theirs);
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t p = 0; p < a.size(); ++p) {
            ASSERT_EQ(a[p]->size(), b[p]->size()) << "part " << p + 1;
            for (std::size_t i = 0; i < a[p]->size(); ++i) {
                const HeardNote& o = (*a[p])[i];
                const HeardNote& t = (*b[p])[i];
                ASSERT_EQ(4 * o.start, t.start) << "part " << p + 1 << " note " << i;
                ASSERT_LT(std::abs(4 * o.length - t.length), 4)
                    << "part " << p + 1 << " note " << i;
                if (o.cents == 0) {
                    ASSERT_EQ(o.key, t.key) << "part " << p + 1 << " note " << i;
                }
            }
        }
    }
}

struct Program {
    ComposeModel compose;
    ExplorerModel explorer;
    PartSettingsTable parts = DefaultPartSettings();
    Program() {
        explorer.SetPictureSize(ExplorerPictureSize, ExplorerPictureSize);
        explorer.ZoomIn();
    }
};

} // namespace

TEST(ScoreMuseScore, OpensEveryScoreAndPlaysOurNotes) {
    if (!OnPath("mscore3")) {
        GTEST_SKIP() << "MuseScore 3 (mscore3, Debian package musescore3) is not installed";
    }
    test::TempDir dir;

    // The start-up song: the default tables, options and parts, composed
    // along a line across the start-up view.
    {
        Program program;
        program.compose.LoadTableFiles({SORVELIN_DATA_DIR});
        program.explorer.SetLine({10, 125, 200, 110});
        ComposeSeries(program.explorer, program.compose);
        RenderedSong song;
        RenderPlaySong(song, program.explorer, program.compose, program.parts);
        ExpectMuseScoreHearsOurNotes(song, dir.path, "startup", true);
        if (const char* keep = std::getenv("SORVELIN_SCORE_DIR")) {
            EXPECT_TRUE(Convert(dir.path / "startup.musicxml",
                                std::filesystem::path(keep) / "startup-score.pdf", dir.path)
                            .empty());
        }
    }
    // The held songs (one of quarter tones), and the example rhythms over
    // a chromatic scale on four parts with Velocity "From series".
    for (const char* name : {"song", "long"}) {
        Program program;
        program.compose.LoadTableFiles({SORVELIN_RENDER_DATA});
        ASSERT_TRUE(
            LoadSong(std::filesystem::path(SORVELIN_RENDER_DATA) / (name + std::string(".svl")),
                     program.explorer, program.compose, program.parts,
                     [](const std::string&) { return true; })
                .Loaded);
        RenderedSong song;
        RenderPlaySong(song, program.explorer, program.compose, program.parts);
        ExpectMuseScoreHearsOurNotes(song, dir.path, name, false);
    }
    Program program;
    std::vector<std::string> rhythms = ReadLines(SORVELIN_DATA_DIR "/rhythm.cfg");
    rhythms.insert(rhythms.end(), {"\"Odd\",27,480,1000,33,45,2", "\"Triplets\",40,40,40,80"});
    test::TempDir tables;
    WriteLinesAtomic(tables.path / "rhythm.cfg", rhythms);
    WriteLinesAtomic(tables.path / "scale.cfg",
                     {"header", "\"Chromatic\",48,49,50,51,52,53,54,55,56,57,58,59,60,61,62,63"});
    program.compose.LoadTableFiles({tables.path});
    program.compose.Controls.Velocity = VelocityFromSeries;
    for (int p = 0; p < 4; ++p) {
        program.parts[static_cast<std::size_t>(p)].UsePart = true;
    }
    std::vector<std::int32_t> series(16 * 40);
    for (std::size_t i = 0; i < series.size(); ++i) {
        series[i] = static_cast<std::int32_t>((i * 7919) % 97 % 23);
    }
    program.compose.BuildAssignLists(series);
    for (int r = 0; r < static_cast<int>(program.compose.RhythmLines.Names.size()); ++r) {
        program.compose.Controls.RhytmComboBox2 = r;
        program.compose.RhytmComboBox2Change();
        RenderedSong song;
        song.Render(program.compose, program.parts, series, 100);
        ExpectMuseScoreHearsOurNotes(song, dir.path, "rhythm" + std::to_string(r), false);
    }
}
