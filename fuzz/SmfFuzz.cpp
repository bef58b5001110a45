// Random songs built through the song's and tracks' own operations, written
// as a Standard MIDI File: the file must parse back with matching chunk
// lengths, running status that a reader can follow, an end of track closing
// every chunk, no data byte of 128 or more and every note ended. Writing the
// same song twice gives the same bytes.
#include "base/Errors.h"
#include "midi/Mididata.h"
#include "support/SmfCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

namespace {

using namespace sorvelin;

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool More() const { return at_ < size_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    int Below(int n) { return static_cast<int>((Byte() << 8 | Byte()) % n); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

std::uint8_t Data7(Input& in) {
    return static_cast<std::uint8_t>(in.Byte() & 0x7F);
}

std::unique_ptr<anyEvent> MakeEvent(Input& in, std::int32_t time) {
    const std::uint8_t channel = static_cast<std::uint8_t>(in.Byte() & 0x0F);
    switch (in.Below(7)) {
    case 0: {
        // The program's note-offs are note-ons of velocity 0 that the track
        // makes itself; every note placed has a velocity.
        const std::uint8_t key = Data7(in);
        const std::uint8_t velocity = static_cast<std::uint8_t>(1 + in.Below(127));
        return std::make_unique<NoteOnEvent>(time, static_cast<std::uint8_t>(0x90 | channel), key,
                                             velocity, in.Below(2000));
    }
    case 1:
        return std::make_unique<ControlChangeEvent>(time, static_cast<std::uint8_t>(0xB0 | channel),
                                                    Data7(in), Data7(in));
    case 2:
        return std::make_unique<ProgramChangeEvent>(time, static_cast<std::uint8_t>(0xC0 | channel),
                                                    Data7(in));
    case 3:
        return std::make_unique<PitchBendEvent>(time, static_cast<std::uint8_t>(0xE0 | channel),
                                                static_cast<std::int16_t>(in.Below(16384)));
    case 4: {
        auto tempo = std::make_unique<TempoEvent>(time);
        tempo->SetTempo(1 + in.Below(0xFFFFFF));
        return tempo;
    }
    case 5: {
        auto name = std::make_unique<trackNameEvent>(time);
        std::string text;
        for (int n = in.Below(40); n > 0; --n) {
            text.push_back(static_cast<char>(in.Byte()));
        }
        name->SetText(text);
        return name;
    }
    default: {
        auto sysex = std::make_unique<sysexEvent>(time);
        for (int n = in.Below(16); n > 0; --n) {
            sysex->bytes.push_back(Data7(in));
        }
        sysex->bytes.push_back(0xF7);
        return sysex;
    }
    }
}

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "%s\n", why.c_str());
    std::abort();
}

std::string Write(midiSong& song) {
    std::ostringstream out;
    song.WriteSmf(out);
    return out.str();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    midiSong song;
    song.RebuildBarTable();
    const int trackCount = 1 + in.Below(17);
    for (int t = 0; t < trackCount; ++t) {
        song.tracks.Add(std::make_unique<midiTrack>(&song, t, ""));
    }
    std::int32_t time = 0;
    while (in.More()) {
        midiTrack* track = song.tracks.Get(in.Below(trackCount));
        // Mostly forward in time, sometimes back to an earlier time.
        const int step = in.Below(4);
        time = step == 0 ? in.Below(time + 1) : time + in.Below(step == 1 ? 1 : 500);
        const bool keepOrder = in.Below(4) != 0;
        track->AddEvent(MakeEvent(in, time), keepOrder, in.Below(2) == 0);
    }
    song.RebuildBarTable();
    // Times stay far inside the file's range, so the write must succeed.
    const std::string first = Write(song);
    check::SmfSummary summary;
    const std::string fault = check::CheckSmf(first, summary);
    if (!fault.empty()) {
        Fail("MIDI file: " + fault);
    }
    if (summary.TrackCount != trackCount || summary.Format != 1 || summary.Division != 120) {
        Fail("MIDI file header does not match the song");
    }
    if (summary.HangingNotes != 0) {
        Fail("MIDI file leaves notes sounding");
    }
    check::SmfSummary again;
    const std::string second = Write(song);
    if (!check::CheckSmf(second, again).empty() || again.Events != summary.Events ||
        again.HangingNotes != 0) {
        Fail("a second write of the same song is not as well formed");
    }
    return 0;
}
