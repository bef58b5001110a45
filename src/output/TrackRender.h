#pragma once
// A song rendered to a WAV file as Play would play it: General MIDI System
// On, then the playback track through the playback engine on a hand-driven
// clock, every message taking effect at its exact sample in the built-in
// synthesizer, plus a release tail. Faster than real time; no sound device.
//
// Usage (sorvelin-render --wav OUT.wav): after rendering the song into its
// tracks and merging them into the playback track as Play does,
//     RenderTrackToWav(playTrack, "out.wav");
// It throws UserError when the build has no synthesizer or no SoundFont is
// found, and FileError when the file cannot be written.
#include "base/LongWork.h"
#include "midi/Mididata.h"
#include "sound/WavRender.h"

#include <filesystem>

namespace sorvelin {

// The messages Play would send for `track` (whose `song` supplies the
// tempo, division and General MIDI System On), each with its time from the
// start. Expands the track's note-offs, as playback does.
std::vector<TimedMidiMessage> PlayedMessages(midiTrack& track);

void RenderTrackToWav(midiTrack& track, const std::filesystem::path& path,
                      const WavRenderOptions& options = {});

// Save Audio: the same render as a WAV or FLAC file by the name's extension,
// reporting its progress and stopping at a cancel (WorkCancelled) with no
// file written.
void RenderTrackToSoundFile(midiTrack& track, const std::filesystem::path& path,
                            WorkProgress& progress, const WavRenderOptions& options = {});

} // namespace sorvelin
