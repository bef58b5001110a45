#include "sound/WavRender.h"

#include "base/Errors.h"
#include "base/OutputFile.h"
#include "sound/FluidSynthCore.h"
#include "sound/MidiOut.h"
#include "sound/WavFile.h"

#include <algorithm>
#include <stdexcept>

namespace sorvelin {
namespace {

constexpr int kSinkBlockFrames = 4096;

std::int64_t FrameOf(std::chrono::nanoseconds at, int sampleRate) {
    if (at.count() <= 0) {
        return 0;
    }
    // Rounded to the nearest frame; 64 bits hold hours of nanoseconds x rate.
    return (static_cast<std::int64_t>(at.count()) * sampleRate + 500000000) / 1000000000;
}

// The synthesizer starts a message's sound at one of its own block
// boundaries only; rendering up to the boundary nearest the due frame before
// applying the message puts the sound there, within half a block of its time.
std::int64_t SynthBlockStart(std::int64_t dueFrame) {
    constexpr std::int64_t block = FluidSynthCore::kBlockFrames;
    return (dueFrame + block / 2) / block * block;
}

void RenderFrames(FluidSynthCore& synth, std::vector<std::int16_t>& block, std::int64_t frames,
                  const SampleSink& sink) {
    while (frames > 0) {
        const int count = static_cast<int>(std::min<std::int64_t>(frames, kSinkBlockFrames));
        synth.Render(block.data(), count);
        sink(block.data(), count);
        frames -= count;
    }
}

// Messages in time order; equal times keep the order they were sent in.
std::vector<const TimedMidiMessage*> InTimeOrder(const std::vector<TimedMidiMessage>& messages) {
    std::vector<const TimedMidiMessage*> ordered;
    ordered.reserve(messages.size());
    for (const auto& message : messages) {
        ordered.push_back(&message);
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto* a, const auto* b) { return a->at < b->at; });
    return ordered;
}

} // namespace

std::int64_t RenderedFrames(const std::vector<TimedMidiMessage>& messages,
                            const WavRenderOptions& options) {
    std::chrono::nanoseconds last{0};
    for (const auto& message : messages) {
        last = std::max(last, message.at);
    }
    return FrameOf(last, options.sampleRate) + FrameOf(options.tail, options.sampleRate);
}

void RenderMessages(const std::vector<TimedMidiMessage>& messages, const WavRenderOptions& options,
                    const SampleSink& sink) {
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
    std::vector<std::int16_t> block(2 * static_cast<std::size_t>(kSinkBlockFrames));
    std::int64_t frame = 0;
    for (const TimedMidiMessage* message : InTimeOrder(messages)) {
        const std::int64_t start = SynthBlockStart(FrameOf(message->at, options.sampleRate));
        RenderFrames(synth, block, start - frame, sink);
        frame = std::max(frame, start);
        synth.Apply(message->bytes.data(), message->bytes.size());
    }
    RenderFrames(synth, block, RenderedFrames(messages, options) - frame, sink);
}

std::vector<std::int16_t> RenderMessages(const std::vector<TimedMidiMessage>& messages,
                                         const WavRenderOptions& options) {
    std::vector<std::int16_t> out;
    RenderMessages(messages, options, [&out](const std::int16_t* samples, int frames) {
        out.insert(out.end(), samples, samples + 2 * static_cast<std::ptrdiff_t>(frames));
    });
    return out;
}

void WriteWav(const std::vector<TimedMidiMessage>& messages, std::ostream& out,
              const WavRenderOptions& options) {
    const std::int64_t frames = RenderedFrames(messages, options);
    const std::string header = WavHeader(frames, options.sampleRate);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    std::string bytes;
    std::int64_t written = 0;
    RenderMessages(messages, options, [&](const std::int16_t* samples, int count) {
        bytes.clear();
        AppendWavSamples(bytes, samples, 2 * static_cast<std::size_t>(count));
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        written += count;
    });
    if (written != frames) {
        // The header promised another length: the file would be corrupt.
        throw std::logic_error("the WAV render made a length other than its header's");
    }
}

void RenderMessagesToWav(const std::vector<TimedMidiMessage>& messages,
                         const std::filesystem::path& path, const WavRenderOptions& options) {
    PendingFile file(path);
    WriteWav(messages, file.Stream(), options);
    file.Commit();
}

} // namespace sorvelin
