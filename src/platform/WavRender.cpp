#include "platform/WavRender.h"

#include "platform/Errors.h"
#include "platform/FluidSynthCore.h"
#include "platform/MidiOut.h"
#include "platform/TextFile.h"
#include "platform/WavFile.h"

#include <algorithm>

namespace sorvelin {
namespace {

constexpr int kBlockFrames = 4096;

std::int64_t FrameOf(std::chrono::nanoseconds at, int sampleRate) {
    if (at.count() <= 0) {
        return 0;
    }
    // Rounded to the nearest frame; 64 bits hold hours of nanoseconds x rate.
    return (static_cast<std::int64_t>(at.count()) * sampleRate + 500000000) / 1000000000;
}

void RenderFrames(FluidSynthCore& synth, std::vector<std::int16_t>& out, std::int64_t frames) {
    while (frames > 0) {
        const int block = static_cast<int>(std::min<std::int64_t>(frames, kBlockFrames));
        const std::size_t at = out.size();
        out.resize(at + 2 * static_cast<std::size_t>(block));
        synth.Render(out.data() + at, block);
        frames -= block;
    }
}

} // namespace

std::vector<std::int16_t> RenderMessages(const std::vector<TimedMidiMessage>& messages,
                                         const WavRenderOptions& options) {
    const auto folders = SoundFontFolders();
    const auto soundFont = options.soundFont.empty() ? FindSoundFont(folders) : options.soundFont;
    if (soundFont.empty()) {
        std::string list;
        for (const auto& folder : folders) {
            list += (list.empty() ? "" : ", ") + folder.string();
        }
        throw UserError(StandardMidiErrorText(kMidiErrNoSoundFont, list));
    }
    FluidLogCapture log;
    std::string error;
    FluidSynthCore synth(soundFont, options.sampleRate, error);
    if (!synth.Ok()) {
        throw UserError(error);
    }
    // Messages in time order; equal times keep the order they were sent in.
    std::vector<const TimedMidiMessage*> ordered;
    ordered.reserve(messages.size());
    for (const auto& message : messages) {
        ordered.push_back(&message);
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto* a, const auto* b) { return a->at < b->at; });

    std::vector<std::int16_t> out;
    std::int64_t frame = 0;
    for (const TimedMidiMessage* message : ordered) {
        const std::int64_t due = FrameOf(message->at, options.sampleRate);
        RenderFrames(synth, out, due - frame);
        frame = std::max(frame, due);
        synth.Apply(message->bytes.data(), message->bytes.size());
    }
    RenderFrames(synth, out, FrameOf(options.tail, options.sampleRate));
    return out;
}

void RenderMessagesToWav(const std::vector<TimedMidiMessage>& messages,
                         const std::filesystem::path& path, const WavRenderOptions& options) {
    WriteFileAtomic(path, EncodeWav(RenderMessages(messages, options), options.sampleRate));
}

} // namespace sorvelin
