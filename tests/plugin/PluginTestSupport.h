#pragma once
// What the plugin's tests share: the messages of a Standard MIDI File with
// their ticks, the check that the plugin's MIDI out plays them (per channel
// the same messages in the same order, each within one frame of where its
// tick falls), and a song with the file sorvelin-render writes for it.
#include "base/TextFile.h"
#include "compose/SongFile.h"
#include "plugin/PluginHost.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sorvelin::testing {

inline constexpr double Rate = 48000;
inline constexpr double BarTicks = 480;

inline double FramesPerTick(double bpm) {
    return Rate * 60.0 / (bpm * 120.0);
}

struct SmfEvent {
    std::int64_t tick = 0;
    std::vector<std::uint8_t> bytes;
    bool operator==(const SmfEvent&) const = default;
};

struct Smf {
    std::vector<SmfEvent> events; // track after track
    std::int64_t lastTick = 0;
    int tempo = 500000; // microseconds per quarter note
};

inline Smf ReadSmf(const std::filesystem::path& path) {
    const std::string file = ReadFileBytes(path);
    const auto* b = reinterpret_cast<const std::uint8_t*>(file.data());
    auto be = [&](std::size_t at, int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            v = (v << 8) | b[at + static_cast<std::size_t>(i)];
        }
        return v;
    };
    Smf smf;
    std::size_t at = 14;
    while (at + 8 <= file.size()) {
        const std::size_t end = at + 8 + be(at + 4, 4);
        std::int64_t tick = 0;
        std::uint8_t status = 0;
        auto varLen = [&] {
            std::uint32_t v = 0;
            while (b[at] & 0x80) {
                v = (v << 7) | (b[at++] & 0x7F);
            }
            return (v << 7) | b[at++];
        };
        for (at += 8; at < end;) {
            tick += varLen();
            if (b[at] & 0x80) {
                status = b[at++];
            }
            if (status == 0xFF) {
                const std::uint8_t type = b[at++];
                const std::uint32_t length = varLen();
                if (type == 0x51) {
                    smf.tempo = static_cast<int>(be(at, 3));
                }
                at += length;
            } else if (status == 0xF0) {
                const std::uint32_t length = varLen();
                SmfEvent event{tick, {status}};
                event.bytes.insert(event.bytes.end(), b + at, b + at + length);
                at += length;
                smf.events.push_back(event);
            } else {
                const std::size_t size = (status & 0xE0) == 0xC0 ? 1 : 2;
                SmfEvent event{tick, {status}};
                event.bytes.insert(event.bytes.end(), b + at, b + at + size);
                at += size;
                smf.events.push_back(event);
                smf.lastTick = std::max(smf.lastTick, tick);
            }
        }
        at = end;
    }
    return smf;
}

// 0 to 15, and 16 for system exclusive messages.
inline int Channel(const std::vector<std::uint8_t>& message) {
    return message[0] >= 0xF0 ? 16 : message[0] & 0x0F;
}

// The played messages with frames in [from, to) against the file's whose
// ticks fall there when tick 0 is at frame `start`.
inline void ExpectSameEvents(const std::vector<Played>& played, const Smf& smf,
                             double framesPerTick, std::uint64_t start, std::uint64_t from,
                             std::uint64_t to) {
    std::map<int, std::vector<std::pair<double, std::vector<std::uint8_t>>>> want, got;
    for (const SmfEvent& e : smf.events) {
        const double frame =
            static_cast<double>(start) + static_cast<double>(e.tick) * framesPerTick;
        if (frame >= static_cast<double>(from) && frame < static_cast<double>(to)) {
            want[Channel(e.bytes)].push_back({frame, e.bytes});
        }
    }
    for (const Played& p : played) {
        if (p.frame >= from && p.frame < to) {
            got[Channel(p.bytes)].push_back({static_cast<double>(p.frame), p.bytes});
        }
    }
    ASSERT_FALSE(want.empty());
    for (const auto& [channel, events] : want) {
        const auto& out = got[channel];
        ASSERT_EQ(out.size(), events.size()) << "channel " << channel + 1;
        for (std::size_t i = 0; i < events.size(); ++i) {
            EXPECT_EQ(out[i].second, events[i].second)
                << "channel " << channel + 1 << " event " << i;
            EXPECT_LE(std::fabs(out[i].first - events[i].first), 1.0)
                << "channel " << channel + 1 << " event " << i << " at frame " << out[i].first;
        }
    }
    EXPECT_EQ(got.size(), want.size()) << "messages on channels the file does not use";
}

// A song of the suite's in a scratch folder with its tables, and the file
// sorvelin-render writes for it.
class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* file : {"scale.cfg", "rhythm.cfg"}) {
            std::filesystem::copy_file(std::filesystem::path(SORVELIN_TEST_DATA) / file,
                                       dir.path / file);
        }
        // Six bars of three parts in quarter tones: every event kind the
        // program writes, pitch wheel included.
        song = WriteSong("song.svl", [this](SongFileData& s) { s.NotesPerPart = notesPerPart; });
        expected = Render(song);
        ASSERT_GT(expected.events.size(), 50u);
    }

    std::filesystem::path WriteSong(const std::string& name,
                                    const std::function<void(SongFileData&)>& edit) {
        std::vector<std::string> messages;
        SongFileData data = ParseSongFile(
            ReadLines(std::filesystem::path(SORVELIN_TEST_DATA) / "song.svl"), messages);
        data.NotesPerPart = notesPerPart;
        edit(data);
        WriteLinesAtomic(dir.path / name, FormatSongFile(data));
        return dir.path / name;
    }
    Smf Render(const std::filesystem::path& file) {
        const std::string command = "cd '" + dir.path.string() + "' && '" SORVELIN_RENDER "' '" +
                                    file.filename().string() + "' -o out.mid --force";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return ReadSmf(dir.path / "out.mid");
    }
    // The host's transport rolling from the song's start at `bpm`, the song
    // loaded while it stood still.
    std::unique_ptr<PluginHost> Rolling(double bpm) {
        auto host = std::make_unique<PluginHost>(SORVELIN_LV2_DIR);
        host->SetSong(song.string());
        host->SetTime(bpm, 0, 0);
        host->Run(256);
        host->now = 0;
        host->played.clear();
        return host;
    }
    std::uint64_t SongFrames(double bpm) const {
        return static_cast<std::uint64_t>((expected.lastTick + BarTicks) * FramesPerTick(bpm));
    }

    int notesPerPart = 96;
    sorvelin::test::TempDir dir{"sorvelin-plugin"};
    std::filesystem::path song;
    Smf expected;
};

} // namespace sorvelin::testing
