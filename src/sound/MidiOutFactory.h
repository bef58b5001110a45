#pragma once
// The program's MIDI output service: the built-in synthesizer as output -1
// and the ALSA sequencer's ports as outputs 0..n-1, followed by Sorvelin's
// own ALSA port and its JACK port when those are there. A build without the
// sound libraries still lists output -1, whose opening then fails with a
// text that says so.
#include "sound/MidiOut.h"
#include "sound/MidiTransport.h"

#include <memory>
#include <string>

namespace sorvelin {

std::unique_ptr<MidiOutService> MakeMidiOutService();
// True when this build has the FluidSynth and ALSA backends.
bool HaveAudioBackends();
// Sorvelin's own ALSA input "Sorvelin:in", for a clock to follow when the
// output has no input of its own; null without a sequencer, `why` says why.
std::unique_ptr<SyncInput> OpenAlsaSyncInput(std::string& why);

} // namespace sorvelin
