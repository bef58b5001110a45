#include "sound/SoundFile.h"

#include "base/Errors.h"
#include "base/OutputFile.h"
#include "sound/WavFile.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <memory>
#include <ostream>
#include <sndfile.h>
#include <string>

namespace sorvelin {
namespace {

std::string LowerExtension(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

// libsndfile writes through these into the temporary file's stream, so the
// file is replaced only once it is complete. No exception may cross the C
// library: the stream's first failure is kept and raised after it returns.
// The library reads back nothing when it only writes.
struct SoundStream {
    std::ostream& out;
    std::exception_ptr error;

    template <class Fn> sf_count_t Guard(Fn fn) {
        if (error) {
            return -1;
        }
        try {
            return fn();
        } catch (...) {
            error = std::current_exception();
            return -1;
        }
    }
    void Rethrow() const {
        if (error) {
            std::rethrow_exception(error);
        }
    }
};

SoundStream& Of(void* data) {
    return *static_cast<SoundStream*>(data);
}

sf_count_t StreamLength(void* data) {
    return Of(data).Guard([&] {
        std::ostream& out = Of(data).out;
        const std::streampos at = out.tellp();
        out.seekp(0, std::ios::end);
        const std::streampos end = out.tellp();
        out.seekp(at);
        return static_cast<sf_count_t>(end);
    });
}

sf_count_t StreamSeek(sf_count_t offset, int whence, void* data) {
    return Of(data).Guard([&] {
        std::ostream& out = Of(data).out;
        const auto dir = whence == SEEK_SET   ? std::ios::beg
                         : whence == SEEK_CUR ? std::ios::cur
                                              : std::ios::end;
        out.seekp(static_cast<std::streamoff>(offset), dir);
        return static_cast<sf_count_t>(out.tellp());
    });
}

sf_count_t StreamRead(void*, sf_count_t, void*) {
    return 0;
}

sf_count_t StreamWrite(const void* bytes, sf_count_t count, void* data) {
    return Of(data).Guard([&] {
        Of(data).out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(count));
        return count;
    });
}

sf_count_t StreamTell(void* data) {
    return Of(data).Guard([&] { return static_cast<sf_count_t>(Of(data).out.tellp()); });
}

struct CloseSoundFile {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

} // namespace

SoundFileFormat SoundFormatFor(const std::filesystem::path& path) {
    const std::string ext = LowerExtension(path);
    if (ext == ".wav") {
        return SoundFileFormat::Wav;
    }
    if (ext == ".flac") {
        return SoundFileFormat::Flac;
    }
    throw UserError(path.filename().string() +
                    ": a sound file's name ends in .wav (WAV) or .flac (FLAC).");
}

void RenderMessagesToSoundFile(const std::vector<TimedMidiMessage>& messages,
                               const std::filesystem::path& path, WorkProgress& progress,
                               const WavRenderOptions& options) {
    const SoundFileFormat format = SoundFormatFor(path);
    const std::int64_t frames = RenderedFrames(messages, options);
    if (format == SoundFileFormat::Wav) {
        CheckWavFrames(frames, options.sampleRate);
    }
    progress.SetTotal(frames);
    PendingFile file(path);
    SF_VIRTUAL_IO io{StreamLength, StreamSeek, StreamRead, StreamWrite, StreamTell};
    SF_INFO info{};
    info.samplerate = options.sampleRate;
    info.channels = WavChannels;
    info.format =
        (format == SoundFileFormat::Flac ? SF_FORMAT_FLAC : SF_FORMAT_WAV) | SF_FORMAT_PCM_16;
    SoundStream stream{file.Stream(), nullptr};
    std::unique_ptr<SNDFILE, CloseSoundFile> sound(sf_open_virtual(&io, SFM_WRITE, &info, &stream));
    if (!sound) {
        stream.Rethrow();
        throw FileError(path.string() + ": the sound file could not be started (" +
                        sf_strerror(nullptr) + ").");
    }
    RenderMessages(messages, options, [&](const std::int16_t* interleaved, int count) {
        progress.ThrowIfCancelled();
        if (sf_writef_short(sound.get(), interleaved, count) != count) {
            stream.Rethrow();
            throw FileError(path.string() + ": " + sf_strerror(sound.get()));
        }
        progress.Advance(count);
    });
    // Closing writes the header's sizes (and FLAC's last frame) first.
    sound.reset();
    stream.Rethrow();
    file.Commit();
}

} // namespace sorvelin
