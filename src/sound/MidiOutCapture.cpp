#include "sound/MidiOutCapture.h"

namespace sorvelin {

class CaptureMidiOut::Output : public MidiOutput {
public:
    Output(std::shared_ptr<State> state, int device) : state_(std::move(state)), device_(device) {}
    ~Output() override {
        if (open_) {
            std::lock_guard lock(state_->mutex);
            --state_->openOutputs;
        }
    }

    int ShortMsg(std::uint32_t packed) override { return Record(UnpackShortMsg(packed), false); }

    int LongMsg(const std::vector<std::uint8_t>& message) override {
        {
            std::lock_guard lock(state_->mutex);
            if (open_ && state_->longFailure != 0) {
                return state_->longFailure;
            }
            pollsLeft_ = state_->longDonePolls;
        }
        return Record(message, true);
    }

    bool LongDone() override {
        if (pollsLeft_ > 0) {
            --pollsLeft_;
            return false;
        }
        return true;
    }

    int Close() override {
        std::lock_guard lock(state_->mutex);
        if (!open_) {
            return kMidiErrInvalidHandle;
        }
        if (state_->closeFailure != 0) {
            return state_->closeFailure;
        }
        open_ = false;
        --state_->openOutputs;
        return kMidiOk;
    }

private:
    int Record(std::vector<std::uint8_t> bytes, bool isLong) {
        std::lock_guard lock(state_->mutex);
        if (!open_) {
            ++state_->sendsAfterClose;
            return kMidiErrInvalidHandle;
        }
        state_->messages.push_back({device_, state_->clock(), std::move(bytes), isLong});
        return kMidiOk;
    }

    std::shared_ptr<State> state_;
    int device_;
    bool open_ = true;
    int pollsLeft_ = 0;
};

CaptureMidiOut::CaptureMidiOut(std::vector<MidiOutCaps> devices, MidiOutCaps builtin)
    : devices_(std::move(devices)), builtin_(std::move(builtin)),
      state_(std::make_shared<State>()) {}

int CaptureMidiOut::NumDevs() {
    return static_cast<int>(devices_.size());
}

int CaptureMidiOut::DevCaps(int id, MidiOutCaps& caps) {
    if (id == -1) {
        caps = builtin_;
        return kMidiOk;
    }
    if (id < -1 || id >= NumDevs()) {
        return kMidiErrBadDeviceId;
    }
    caps = devices_[static_cast<std::size_t>(id)];
    return kMidiOk;
}

int CaptureMidiOut::Open(int id, std::unique_ptr<MidiOutput>& out) {
    if (id < -1 || id >= NumDevs()) {
        return kMidiErrBadDeviceId;
    }
    std::lock_guard lock(state_->mutex);
    if (auto failure = state_->openFailures.find(id); failure != state_->openFailures.end()) {
        return failure->second;
    }
    ++state_->openOutputs;
    out = std::make_unique<Output>(state_, id);
    return kMidiOk;
}

std::string CaptureMidiOut::ErrorText(int code) {
    return StandardMidiErrorText(code);
}

void CaptureMidiOut::SetClock(std::function<Clock::time_point()> clock) {
    std::lock_guard lock(state_->mutex);
    state_->clock = std::move(clock);
}

void CaptureMidiOut::FailOpen(int id, int code) {
    std::lock_guard lock(state_->mutex);
    if (code == 0) {
        state_->openFailures.erase(id);
    } else {
        state_->openFailures[id] = code;
    }
}

void CaptureMidiOut::FailClose(int code) {
    std::lock_guard lock(state_->mutex);
    state_->closeFailure = code;
}

void CaptureMidiOut::SetLongDonePolls(int polls) {
    std::lock_guard lock(state_->mutex);
    state_->longDonePolls = polls;
}

void CaptureMidiOut::FailLong(int code) {
    std::lock_guard lock(state_->mutex);
    state_->longFailure = code;
}

std::vector<CapturedMessage> CaptureMidiOut::Messages() const {
    std::lock_guard lock(state_->mutex);
    return state_->messages;
}

std::size_t CaptureMidiOut::MessageCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->messages.size();
}

void CaptureMidiOut::ClearMessages() {
    std::lock_guard lock(state_->mutex);
    state_->messages.clear();
}

int CaptureMidiOut::OpenOutputs() const {
    std::lock_guard lock(state_->mutex);
    return state_->openOutputs;
}

int CaptureMidiOut::SendsAfterClose() const {
    std::lock_guard lock(state_->mutex);
    return state_->sendsAfterClose;
}

} // namespace sorvelin
