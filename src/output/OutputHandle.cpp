#include "output/OutputHandle.h"

namespace sorvelin {

std::array<std::uint32_t, 32> SilenceMessages() {
    std::array<std::uint32_t, 32> messages{};
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        const auto status = static_cast<std::uint8_t>(0xB0 | channel);
        messages[2u * channel] = PackShortMsg(status, 120, 0);     // All Sound Off
        messages[2u * channel + 1] = PackShortMsg(status, 121, 0); // Reset All Controllers
    }
    return messages;
}

OutputHandle::~OutputHandle() {
    std::lock_guard lock(mutex_);
    if (output_) {
        output_->Close();
    }
}

bool OutputHandle::IsOpen() const {
    std::lock_guard lock(mutex_);
    return output_ != nullptr;
}

int OutputHandle::Open(int id) {
    if (IsOpen()) {
        if (const int result = Close(); result != kMidiOk) {
            return result;
        }
    }
    // Opening may take a while (a SoundFont loads); playback meanwhile finds
    // no output and its messages are refused, as with any closed output.
    std::unique_ptr<MidiOutput> opened;
    const int result = service_.Open(id, opened);
    if (result != kMidiOk) {
        return result;
    }
    failure_ = kMidiOk;
    opened->SetFailureHandler([this](int code) { Failed(code); });
    std::lock_guard lock(mutex_);
    output_ = std::move(opened);
    return kMidiOk;
}

void OutputHandle::SetFailureHandler(MidiOutput::FailureFn handler) {
    std::lock_guard lock(failureMutex_);
    failureHandler_ = std::move(handler);
}

void OutputHandle::Failed(int code) {
    failure_ = code;
    std::lock_guard lock(failureMutex_);
    if (failureHandler_) {
        failureHandler_(code);
    }
}

int OutputHandle::Close() {
    std::lock_guard lock(mutex_);
    if (!output_) {
        return kMidiOk;
    }
    for (const std::uint32_t message : SilenceMessages()) {
        output_->ShortMsg(message);
    }
    const int result = output_->Close();
    if (result == kMidiOk) {
        output_.reset();
        failure_ = kMidiOk;
    }
    return result;
}

int OutputHandle::ShortMsg(std::uint32_t packed) {
    std::lock_guard lock(mutex_);
    return output_ ? output_->ShortMsg(packed) : kMidiErrInvalidHandle;
}

std::chrono::nanoseconds OutputHandle::Lead() const {
    std::lock_guard lock(mutex_);
    return output_ ? output_->Lead() : std::chrono::nanoseconds{0};
}

int OutputHandle::ShortMsgAt(std::uint32_t packed, std::chrono::steady_clock::time_point due) {
    std::lock_guard lock(mutex_);
    return output_ ? output_->ShortMsgAt(packed, due) : kMidiErrInvalidHandle;
}

int OutputHandle::LongMsg(const std::vector<std::uint8_t>& message,
                          const std::function<void()>& pause) {
    std::lock_guard lock(mutex_);
    if (!output_) {
        return kMidiErrInvalidHandle;
    }
    if (const int result = output_->LongMsg(message); result != kMidiOk) {
        return result;
    }
    // The lock stays held: the message's buffer belongs to this output until
    // it is done, so the output may not be switched in between.
    for (int poll = 0; poll < kLongMsgPolls && !output_->LongDone(); ++poll) {
        pause();
    }
    return kMidiOk;
}

bool OutputHandle::WithTransport(const std::function<void(MidiTransport&)>& use) {
    std::lock_guard lock(mutex_);
    MidiTransport* transport = output_ ? output_->Transport() : nullptr;
    if (transport == nullptr) {
        return false;
    }
    use(*transport);
    return true;
}

} // namespace sorvelin
