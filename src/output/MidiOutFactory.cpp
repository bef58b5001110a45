#include "output/MidiOutFactory.h"

#include "platform/MidiOutRouter.h"

#ifdef SORVELIN_HAVE_AUDIO
#include "platform/MidiOutAlsa.h"
#include "platform/MidiOutFluid.h"
#endif

namespace sorvelin {

std::unique_ptr<MidiOutService> MakeMidiOutService() {
#ifdef SORVELIN_HAVE_AUDIO
    return std::make_unique<MidiOutRouter>(std::make_unique<FluidMidiOut>(),
                                           std::make_unique<AlsaMidiOut>());
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

} // namespace sorvelin
