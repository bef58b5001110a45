#include "sound/MidiOut.h"

namespace sorvelin {

std::vector<std::uint8_t> UnpackShortMsg(std::uint32_t packed) {
    const auto status = static_cast<std::uint8_t>(packed & 0xFF);
    const auto data1 = static_cast<std::uint8_t>((packed >> 8) & 0xFF);
    const auto data2 = static_cast<std::uint8_t>((packed >> 16) & 0xFF);
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
        return {status, data1};
    case 0xF0:
        switch (status) {
        case 0xF1: // time code quarter frame
        case 0xF3: // song select
            return {status, data1};
        case kSongPosition:
            return {status, data1, data2};
        default: // the real-time messages and the rest carry no data
            return {status};
        }
    default:
        return {status, data1, data2};
    }
}

void FailureNotice::SetHandler(MidiOutput::FailureFn failed) {
    std::lock_guard lock(mutex_);
    failed_ = std::move(failed);
    if (code_ != 0 && !told_ && failed_) {
        told_ = true;
        failed_(code_);
    }
}

void FailureNotice::Notify(int code) {
    std::lock_guard lock(mutex_);
    if (code_ != 0) {
        return;
    }
    code_ = code;
    if (failed_) {
        told_ = true;
        failed_(code_);
    }
}

std::string StandardMidiErrorText(int code, const std::string& detail) {
    std::string text;
    switch (code) {
    case kMidiOk:
        text = "The operation completed successfully.";
        break;
    case kMidiErrBadDeviceId:
        text = "The specified MIDI output does not exist.";
        break;
    case kMidiErrInvalidHandle:
        text = "No MIDI output is open.";
        break;
    case kMidiErrNoSoundFont:
        return "no SoundFont found in " +
               (detail.empty() ? std::string("the usual folders") : detail);
    case kMidiErrNoAudio:
        return "no audio output: " +
               (detail.empty() ? std::string("no driver could be opened") : detail);
    case kMidiErrNoSequencer:
        text = "The ALSA sequencer cannot be reached.";
        break;
    case kMidiErrStillPlaying:
        text = "The MIDI output is still sending the previous system-exclusive message.";
        break;
    case kMidiErrNotSupported:
        text = "This output is not available in this build.";
        break;
    case kMidiErrClose:
        text = "The MIDI output could not be closed.";
        break;
    case kMidiErrOutputFull:
        text = "The MIDI output is not taking messages: its buffer is full.";
        break;
    case kMidiErrServerGone:
        text = "The JACK server went away; choose another output in Device Setup.";
        break;
    case kMidiErrAudioStopped:
        text = "The sound server stopped taking the built-in synthesizer's sound (it may have "
               "quit). Once it runs again, open the synthesizer in Device Setup.";
        break;
    case kMidiErrNoServer:
        text = "No JACK server is running.";
        break;
    default:
        text = "Unknown MIDI output error " + std::to_string(code) + ".";
        break;
    }
    if (!detail.empty()) {
        text += " (" + detail + ")";
    }
    return text;
}

} // namespace sorvelin
