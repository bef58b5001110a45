#include "platform/MidiOutRouter.h"

namespace sorvelin {

MidiOutRouter::MidiOutRouter(std::unique_ptr<MidiOutService> builtin,
                             std::unique_ptr<MidiOutService> ports)
    : builtin_(std::move(builtin)), ports_(std::move(ports)) {}

int MidiOutRouter::NumDevs() {
    return ports_ ? ports_->NumDevs() : 0;
}

int MidiOutRouter::DevCaps(int id, MidiOutCaps& caps) {
    if (id == -1) {
        if (builtin_) {
            return builtin_->DevCaps(-1, caps);
        }
        caps = {"Built-in Synthesizer", kMidiTechSynth};
        return kMidiOk;
    }
    if (!ports_ || id < 0) {
        return kMidiErrBadDeviceId;
    }
    return ports_->DevCaps(id, caps);
}

int MidiOutRouter::Open(int id, std::unique_ptr<MidiOutput>& out) {
    MidiOutService* backend = id == -1 ? builtin_.get() : (id >= 0 ? ports_.get() : nullptr);
    if (backend == nullptr) {
        const int code = id == -1 ? kMidiErrNotSupported : kMidiErrBadDeviceId;
        std::lock_guard lock(mutex_);
        lastTexts_[code] =
            id == -1 ? StandardMidiErrorText(kMidiErrNoAudio, "this build has no synthesizer")
                     : StandardMidiErrorText(code);
        return code;
    }
    const int result = backend->Open(id, out);
    if (result != kMidiOk) {
        const std::string text = backend->ErrorText(result);
        std::lock_guard lock(mutex_);
        lastTexts_[result] = text;
    }
    return result;
}

std::string MidiOutRouter::ErrorText(int code) {
    std::lock_guard lock(mutex_);
    if (auto it = lastTexts_.find(code); it != lastTexts_.end()) {
        return it->second;
    }
    return StandardMidiErrorText(code);
}

} // namespace sorvelin
