// sorvelin-render: the composition pipeline without windows. It starts from
// the program's start-up state, loads a song file as "Load Song" does,
// renders it as "Play" does and writes the file "Save MIDI" writes, through
// the very same model operations the windows call.
#include "base/Convert.h"
#include "base/Errors.h"
#include "base/LongWork.h"
#include "base/OutputFile.h"
#include "base/TextFile.h"
#include "compose/PartSettings.h"
#include "compose/ScalaFile.h"
#include "compose/SongActions.h"
#include "compose/SongRender.h"
#include "explorer/ExplorerModel.h"

#ifdef SORVELIN_HAVE_WAV
#include "midi/Mididata.h"
#include "output/TrackRender.h"
#include "sound/WavFile.h"
#include "sound/WavRender.h"
#endif

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <unistd.h>

namespace sorvelin {
namespace {

constexpr const char* Usage =
    "Usage: sorvelin-render SONG.svl -o OUT.mid [--series OUT.csv] [--wav OUT.wav]\n"
    "                       [--musicxml OUT.musicxml] [--tempo BPM] [--force]\n"
    "\n"
    "Composes a Sorvelin song file into a Standard MIDI File without windows:\n"
    "loads SONG.svl as \"Load Song\" does (recomputing the view, the line and the\n"
    "sixteen series), renders it as \"Play\" does and writes it as \"Save MIDI\" does.\n"
    "The MIDI file is byte for byte the one the program writes for the same song.\n"
    "\n"
    "  -o OUT.mid         the MIDI file to write\n"
    "  --series OUT.csv   also write the sixteen series, one row per part\n"
    "  --wav OUT.wav      also render the song through the built-in synthesizer\n"
    "  --musicxml OUT     also write the score as \"Save Score\" does: MusicXML,\n"
    "                     compressed when OUT ends in .mxl\n"
    "  --tempo BPM        play at BPM beats per minute (20 to 300) instead of the\n"
    "                     song file's tempo (120 when the file names none)\n"
    "  --force            replace an output file that is write-protected\n"
    "  --allow-long-compose\n"
    "                     load a song even when its iteration limit and note count\n"
    "                     may take minutes to compose (refused otherwise)\n"
    "  --help             show this text\n"
    "\n"
    "scale.cfg and rhythm.cfg are read from the current directory, then from the\n"
    "installed data folder, else the built-in entries are used. Messages the program\n"
    "would show in a box are printed here on standard error. Exit status 0 on\n"
    "success; otherwise nothing is written. Every output is made in full before\n"
    "any old file is replaced; a symbolic link's target is replaced, the link kept;\n"
    "a device or FIFO (such as /dev/stdout) is written straight into. No output may\n"
    "be the song, a table or another output.\n";

struct Arguments {
    std::filesystem::path song;
    std::filesystem::path midi;
    std::filesystem::path series;
    std::filesystem::path wav;
    std::filesystem::path musicxml;
    std::optional<int> tempo; // beats per minute, over the song file's
    bool allowLongCompose = false;
    bool force = false;
    bool help = false;
};

int ParseTempo(const char* text) {
    int bpm = 0;
    if (text == nullptr || !TryStrToInt(text, bpm) || bpm < MinTempoBpm || bpm > MaxTempoBpm) {
        throw UserError("--tempo needs a whole number of beats per minute from " +
                        IntToStr(MinTempoBpm) + " to " + IntToStr(MaxTempoBpm) + ".");
    }
    return bpm;
}

Arguments Parse(int argc, char** argv) {
    Arguments args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* option) -> std::filesystem::path {
            if (i + 1 >= argc) {
                throw UserError(std::string(option) + " needs a file name.");
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            args.help = true;
        } else if (arg == "-o") {
            args.midi = value("-o");
        } else if (arg == "--series") {
            args.series = value("--series");
        } else if (arg == "--wav") {
            args.wav = value("--wav");
        } else if (arg == "--musicxml") {
            args.musicxml = value("--musicxml");
        } else if (arg == "--tempo") {
            args.tempo = ParseTempo(i + 1 < argc ? argv[++i] : nullptr);
        } else if (arg == "--force") {
            args.force = true;
        } else if (arg == "--allow-long-compose") {
            args.allowLongCompose = true;
        } else if (!arg.empty() && arg[0] == '-') {
            throw UserError("unknown option " + arg + ".");
        } else if (args.song.empty()) {
            args.song = arg;
        } else {
            throw UserError("only one song file, please (" + arg + ").");
        }
    }
    if (!args.help && (args.song.empty() || args.midi.empty())) {
        throw UserError("a song file and -o OUT.mid are needed.");
    }
    return args;
}

// The series as text: one row per part, values separated by commas, each
// row written as it is made.
void WriteSeries(const SeriesTable& series, std::ostream& out) {
    const int n = series.NoteCount();
    std::string row;
    for (int part = 0; part < PartCount; ++part) {
        row.clear();
        for (int i = 0; i < n; ++i) {
            if (i > 0) {
                row += ',';
            }
            row += IntToStr(series.At(part, i));
        }
        row += "\r\n";
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
}

void Say(const std::string& message) {
    std::cerr << "sorvelin-render: " << message << '\n';
}

std::vector<NamedFile> Outputs(const Arguments& args) {
    std::vector<NamedFile> outputs{{"-o", args.midi}};
    if (!args.series.empty()) {
        outputs.push_back({"--series", args.series});
    }
    if (!args.wav.empty()) {
        outputs.push_back({"--wav", args.wav});
    }
    if (!args.musicxml.empty()) {
        outputs.push_back({"--musicxml", args.musicxml});
    }
    return outputs;
}

// What can be known wrong about the files before any work: no output may
// name an input or another output, the song must be a file that reads, and
// every output must be writable.
void CheckFiles(const Arguments& args, const std::vector<NamedFile>& outputs) {
    std::vector<NamedFile> files{{"the song", args.song}};
    for (const std::filesystem::path& dir : TableSearchDirs()) {
        for (const char* table : {"scale.cfg", "rhythm.cfg"}) {
            if (FileExists(dir / table)) {
                files.push_back({"the table", dir / table});
            }
        }
    }
    files.insert(files.end(), outputs.begin(), outputs.end());
    RefuseSameFiles(files);
    CheckInputFile(args.song);
    for (const NamedFile& output : outputs) {
        CheckOutput(output.path);
        if (!args.force && IsWriteProtected(output.path)) {
            throw UserError("\"" + output.path.string() +
                            "\" is write-protected; --force replaces it.");
        }
    }
}

// On a terminal, the composing shows as a line of percentages on standard
// error; into a file or a pipe nothing is added.
void ComposeWithProgressLine(const LongWork& work) {
    if (isatty(STDERR_FILENO) == 0) {
        RunHere(work);
        return;
    }
    using std::chrono::milliseconds;
    RunReporting(work, milliseconds(500), milliseconds(200), [](double fraction, bool last) {
        std::cerr << "\rsorvelin-render: composing " << static_cast<int>(fraction * 100.0) << " %"
                  << (last ? "\n" : "") << std::flush;
    });
}

int Run(const Arguments& args) {
    const std::vector<NamedFile> outputs = Outputs(args);
    CheckFiles(args, outputs);
#ifndef SORVELIN_HAVE_WAV
    if (!args.wav.empty()) {
        throw UserError("this build has no synthesizer for --wav.");
    }
#endif

    // The program's start-up state: the tables, the design view of a
    // 240 x 240 picture, the default options and part settings.
    std::vector<std::string> tableMessages;
    SongState state = StartUpState(TableSearchDirs(), ScalaSearchDirs(), tableMessages);
    for (const std::string& message : tableMessages) {
        Say(message);
    }
    ExplorerModel& explorer = state.Explorer;
    ComposeModel& compose = state.Compose;
    PartSettingsTable& parts = state.Parts;

    // No one is there to answer the program's question: the option answers it.
    bool asked = false;
    const LoadSongResult loaded = LoadSong(
        args.song, explorer, compose, parts,
        [&](const std::string&) {
            asked = true;
            return args.allowLongCompose;
        },
        ComposeWithProgressLine);
    for (const std::string& message : loaded.Messages) {
        Say(message);
    }
    if (!loaded.Loaded) {
        if (asked && !args.allowLongCompose) {
            Say("--allow-long-compose loads it anyway.");
        }
        Say(args.song.string() + ": the song could not be loaded; nothing was written.");
        return 1;
    }

    if (args.tempo) {
        compose.Controls.Tempo = IntToStr(*args.tempo);
        compose.TempoChange();
    }

    RenderedSong song;
    RenderPlaySong(song, explorer, compose, parts);
#ifdef SORVELIN_HAVE_WAV
    const WavRenderOptions options;
    std::vector<TimedMidiMessage> played;
    if (!args.wav.empty()) {
        played = PlayedMessages(*song.PlayTrack());
        CheckWavFrames(RenderedFrames(played, options), options.sampleRate);
    }
#endif
    // Every output is made in full, each into its own temporary file, before
    // any of them replaces an old file, so a failure leaves every old file.
    PendingFile midi(args.midi);
    song.WriteMidi(midi.Stream());
    std::vector<PendingFile*> files{&midi};
    std::optional<PendingFile> series;
    if (!args.series.empty()) {
        WriteSeries(explorer.Series(), series.emplace(args.series).Stream());
        files.push_back(&*series);
    }
    std::optional<PendingFile> score;
    if (!args.musicxml.empty()) {
        song.WriteScore(score.emplace(args.musicxml).Stream(),
                        IsMxlName(args.musicxml.filename().string()), compose.SongFile);
        files.push_back(&*score);
    }
#ifdef SORVELIN_HAVE_WAV
    std::optional<PendingFile> wav;
    if (!args.wav.empty()) {
        WriteWav(played, wav.emplace(args.wav).Stream(), options);
        files.push_back(&*wav);
    }
#endif
    CommitFiles(files);
    return 0;
}

} // namespace
} // namespace sorvelin

int main(int argc, char** argv) {
    using namespace sorvelin;
    Arguments args;
    try {
        args = Parse(argc, argv);
    } catch (const UserError& error) {
        Say(error.what());
        std::cerr << Usage;
        return 2;
    }
    if (args.help) {
        std::cout << Usage;
        return 0;
    }
    try {
        return Run(args);
    } catch (const std::exception& error) {
        Say(error.what());
        Say("nothing was written.");
        return 1;
    }
}
