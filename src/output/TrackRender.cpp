#include "output/TrackRender.h"

#include "base/Errors.h"
#include "output/OutputHandle.h"
#include "output/PlaybackEngine.h"
#include "sound/MidiOutCapture.h"
#ifdef SORVELIN_HAVE_AUDIO
#include "sound/SoundFile.h"
#endif
#include "base/Timer.h"

namespace sorvelin {

std::vector<TimedMidiMessage> PlayedMessages(midiTrack& track) {
    ManualTimer timer;
    CaptureMidiOut capture;
    capture.SetClock([&timer] { return timer.Now(); });
    const auto start = timer.Now();
    std::vector<TimedMidiMessage> messages;
    {
        OutputHandle output(capture);
        output.Open(-1);
        PlaybackEngine engine(output, timer);
        if (track.song != nullptr && track.song->gmSystemOn) {
            engine.SendSysEx(*track.song->gmSystemOn);
        }
        // The engine ends within this call, before the caller's track can:
        // lent without ownership.
        engine.StartPlayback(std::shared_ptr<midiTrack>(std::shared_ptr<void>(), &track));
        timer.RunAll();
        for (const CapturedMessage& message : capture.Messages()) {
            messages.push_back({message.time - start, message.bytes});
        }
    }
    return messages;
}

#ifdef SORVELIN_HAVE_AUDIO

void RenderTrackToWav(midiTrack& track, const std::filesystem::path& path,
                      const WavRenderOptions& options) {
    RenderMessagesToWav(PlayedMessages(track), path, options);
}

void RenderTrackToSoundFile(midiTrack& track, const std::filesystem::path& path,
                            WorkProgress& progress, const WavRenderOptions& options) {
    RenderMessagesToSoundFile(PlayedMessages(track), path, progress, options);
}

#else

constexpr const char* NoSynthesizer =
    "WAV rendering needs the built-in synthesizer, which this build leaves out";

void RenderTrackToWav(midiTrack&, const std::filesystem::path&, const WavRenderOptions&) {
    throw UserError(NoSynthesizer);
}

void RenderTrackToSoundFile(midiTrack&, const std::filesystem::path&, WorkProgress&,
                            const WavRenderOptions&) {
    throw UserError(NoSynthesizer);
}

#endif

} // namespace sorvelin
