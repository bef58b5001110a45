#pragma once
// The notes of a Standard MIDI File as a player hears them: per track, each
// note's channel, key, cent offset (the track's last pitch-wheel value on its
// channel, 4096 units to 100 cents, to the nearest cent), onset, length and
// velocity, in ticks of the file's division. Tests compare written files
// with it: ours, and those other programs export.
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace sorvelin::check {

struct HeardNote {
    int channel = 0;
    int key = 0;
    int cents = 0;
    std::int64_t start = 0;
    std::int64_t length = 0;
    int velocity = 0;
    bool operator==(const HeardNote&) const = default;
};

struct HeardSong {
    int division = 0;
    std::vector<std::vector<HeardNote>> tracks; // notes in order of onset
};

inline HeardSong HearSmf(const std::string& bytes) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t size = bytes.size();
    auto be = [&](std::size_t at, int n) {
        if (at + static_cast<std::size_t>(n) > size) {
            throw std::runtime_error("SMF: runs past the end");
        }
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            v = (v << 8) | b[at + static_cast<std::size_t>(i)];
        }
        return v;
    };
    if (bytes.compare(0, 4, "MThd") != 0) {
        throw std::runtime_error("SMF: no MThd");
    }
    HeardSong song;
    song.division = static_cast<int>(be(12, 2));
    std::size_t at = 8 + be(4, 4);
    while (at + 8 <= size) {
        const std::size_t end = at + 8 + be(at + 4, 4);
        const bool track = bytes.compare(at, 4, "MTrk") == 0;
        std::size_t p = at + 8;
        at = end;
        if (!track) {
            continue;
        }
        std::vector<HeardNote> notes;
        std::map<int, std::size_t> sounding; // channel * 128 + key -> note index
        int bend[16];
        for (int& c : bend) {
            c = 8192;
        }
        std::int64_t time = 0;
        std::uint8_t running = 0;
        auto varLen = [&] {
            std::uint32_t v = 0;
            for (;;) {
                const std::uint8_t c = static_cast<std::uint8_t>(be(p++, 1));
                v = (v << 7) | (c & 0x7Fu);
                if ((c & 0x80) == 0) {
                    return v;
                }
            }
        };
        while (p < end) {
            time += varLen();
            std::uint8_t status = static_cast<std::uint8_t>(be(p, 1));
            if (status & 0x80) {
                ++p;
            } else {
                status = running;
            }
            if (status == 0xFF) {
                ++p;
                p += varLen();
                continue;
            }
            if (status == 0xF0 || status == 0xF7) {
                p += varLen();
                continue;
            }
            running = status;
            const int channel = status & 0x0F;
            const int kind = status & 0xF0;
            const int d1 = static_cast<int>(be(p, 1));
            const int d2 = kind == 0xC0 || kind == 0xD0 ? 0 : static_cast<int>(be(p + 1, 1));
            p += kind == 0xC0 || kind == 0xD0 ? 1 : 2;
            const int slot = channel * 128 + d1;
            if (kind == 0x90 && d2 > 0) {
                const int units = (bend[channel] - 8192) * 100;
                const int cents = units >= 0 ? (units + 2048) / 4096 : -((-units + 2048) / 4096);
                sounding[slot] = notes.size();
                notes.push_back({channel, d1, cents, time, 0, d2});
            } else if (kind == 0x80 || kind == 0x90) {
                auto found = sounding.find(slot);
                if (found != sounding.end()) {
                    notes[found->second].length = time - notes[found->second].start;
                    sounding.erase(found);
                }
            } else if (kind == 0xE0) {
                bend[channel] = d1 | (d2 << 7);
            }
        }
        song.tracks.push_back(std::move(notes));
    }
    return song;
}

} // namespace sorvelin::check
