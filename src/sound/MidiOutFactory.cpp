#include "sound/MidiOutFactory.h"

#include "sound/MidiOutRouter.h"

#ifdef SORVELIN_HAVE_AUDIO
#include "sound/AlsaSyncIn.h"
#include "sound/MidiOutAlsa.h"
#include "sound/MidiOutFluid.h"
#endif
#ifdef SORVELIN_HAVE_JACK
#include "sound/MidiOutJack.h"
#endif

#include <vector>

namespace sorvelin {

std::unique_ptr<MidiOutService> MakeMidiOutService() {
#ifdef SORVELIN_HAVE_AUDIO
    // The sequencer's ports and Sorvelin's own ALSA port, then the JACK port.
    std::vector<std::unique_ptr<MidiOutService>> lists;
    lists.push_back(std::make_unique<AlsaMidiOut>());
#ifdef SORVELIN_HAVE_JACK
    lists.push_back(std::make_unique<JackMidiOut>());
#endif
    return std::make_unique<MidiOutRouter>(std::make_unique<FluidMidiOut>(), std::move(lists));
#else
    return std::make_unique<MidiOutRouter>(nullptr, nullptr);
#endif
}

bool HaveAudioBackends() {
#ifdef SORVELIN_HAVE_AUDIO
    return true;
#else
    return false;
#endif
}

std::unique_ptr<SyncInput> OpenAlsaSyncInput(std::string& why) {
#ifdef SORVELIN_HAVE_AUDIO
    return AlsaSyncIn::Open(why);
#else
    why = "this build has no ALSA sequencer";
    return nullptr;
#endif
}

} // namespace sorvelin
