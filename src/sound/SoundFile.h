#pragma once
// Sound files through libsndfile: the built-in synthesizer's offline render
// written as WAV (16-bit PCM) or FLAC (16-bit, lossless), chosen by the
// file name's extension. The file appears only when the whole render is in
// it: a cancelled or failed export leaves any old file as it was.
#include "base/LongWork.h"
#include "sound/WavRender.h"

#include <filesystem>
#include <vector>

namespace sorvelin {

enum class SoundFileFormat { Wav, Flac };

// ".wav" or ".flac", in any case; UserError naming both for anything else.
SoundFileFormat SoundFormatFor(const std::filesystem::path& path);

// Renders `messages` into `path` in the format its extension names. The
// progress total is the frames of the render and advances block by block; a
// cancel seen between blocks raises WorkCancelled. UserError when no
// SoundFont is found or a WAV file cannot hold the sound, FileError when the
// file cannot be written.
void RenderMessagesToSoundFile(const std::vector<TimedMidiMessage>& messages,
                               const std::filesystem::path& path, WorkProgress& progress,
                               const WavRenderOptions& options = {});

} // namespace sorvelin
