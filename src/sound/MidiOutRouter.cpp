#include "sound/MidiOutRouter.h"

#include <algorithm>

namespace sorvelin {
namespace {

std::vector<std::unique_ptr<MidiOutService>> OneList(std::unique_ptr<MidiOutService> ports) {
    std::vector<std::unique_ptr<MidiOutService>> lists;
    lists.push_back(std::move(ports));
    return lists;
}

} // namespace

MidiOutRouter::MidiOutRouter(std::unique_ptr<MidiOutService> builtin,
                             std::unique_ptr<MidiOutService> ports)
    : MidiOutRouter(std::move(builtin), OneList(std::move(ports))) {}

MidiOutRouter::MidiOutRouter(std::unique_ptr<MidiOutService> builtin,
                             std::vector<std::unique_ptr<MidiOutService>> lists)
    : builtin_(std::move(builtin)), lists_(std::move(lists)) {}

int MidiOutRouter::NumDevs() {
    std::vector<int> counts;
    int total = 0;
    for (const auto& list : lists_) {
        counts.push_back(list ? std::max(0, list->NumDevs()) : 0);
        total += counts.back();
    }
    std::lock_guard lock(mutex_);
    counts_ = std::move(counts);
    listed_ = true;
    return total;
}

MidiOutService* MidiOutRouter::Locate(int id, int& localId) {
    bool listed = false;
    {
        std::lock_guard lock(mutex_);
        listed = listed_;
    }
    if (!listed) {
        NumDevs();
    }
    std::lock_guard lock(mutex_);
    localId = id;
    for (std::size_t i = 0; i < counts_.size() && localId >= 0; ++i) {
        if (localId < counts_[i]) {
            return lists_[i].get();
        }
        localId -= counts_[i];
    }
    return nullptr;
}

int MidiOutRouter::DevCaps(int id, MidiOutCaps& caps) {
    if (id == -1) {
        if (builtin_) {
            return builtin_->DevCaps(-1, caps);
        }
        caps = {"Built-in Synthesizer", kMidiTechSynth};
        return kMidiOk;
    }
    int localId = 0;
    MidiOutService* list = id < 0 ? nullptr : Locate(id, localId);
    return list ? list->DevCaps(localId, caps) : kMidiErrBadDeviceId;
}

int MidiOutRouter::Open(int id, std::unique_ptr<MidiOutput>& out) {
    int localId = id;
    MidiOutService* backend = id == -1 ? builtin_.get() : (id >= 0 ? Locate(id, localId) : nullptr);
    if (backend == nullptr) {
        const int code = id == -1 ? kMidiErrNotSupported : kMidiErrBadDeviceId;
        std::lock_guard lock(mutex_);
        lastTexts_[code] =
            id == -1 ? StandardMidiErrorText(kMidiErrNoAudio, "this build has no synthesizer")
                     : StandardMidiErrorText(code);
        return code;
    }
    const int result = backend->Open(localId, out);
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
