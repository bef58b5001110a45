#include "output/DeviceModel.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "base/TextFile.h"

namespace sorvelin {
namespace {

constexpr std::size_t kPrfLines = 6;

} // namespace

std::string TechnologyWord(int technology) {
    switch (technology) {
    case kMidiTechPort:
        return "MIDI Port";
    case kMidiTechSynth:
        return "Synth";
    case kMidiTechSqSynth:
        return "SQ Synth";
    case kMidiTechFmSynth:
        return "FM Synth";
    case kMidiTechMapper:
        return "MIDI Mapper";
    default:
        return "";
    }
}

void DeviceModel::Show(const std::string& text) const {
    if (show_) {
        show_(text);
    }
}

int DeviceModel::OpenDevice(int id) {
    if (output_.IsOpen() && CloseDevice() != 0) {
        return -1;
    }
    const int result = output_.Open(id);
    if (result != kMidiOk) {
        Show(output_.ErrorText(result));
        return result;
    }
    deviceId_ = id;
    withoutSound_ = false;
    return 0;
}

int DeviceModel::CloseDevice() {
    const int result = output_.Close();
    if (result != kMidiOk) {
        Show(output_.ErrorText(result));
        return -1;
    }
    return 0;
}

std::vector<std::string> DeviceModel::FillDeviceList() {
    MidiOutService& service = output_.Service();
    const int count = service.NumDevs();
    std::vector<std::string> lines;
    for (int id = -1; id < count; ++id) {
        MidiOutCaps caps;
        if (service.DevCaps(id, caps) != kMidiOk) {
            caps = {};
        }
        lines.push_back(caps.listText.empty()
                            ? caps.productName + " " + TechnologyWord(caps.technology)
                            : caps.listText);
    }
    return lines;
}

void DeviceModel::LoadDeviceSettings(const std::filesystem::path& file,
                                     DevicePlacement& placement) {
    if (!FileExists(file)) {
        return;
    }
    const std::string name = file.filename().string();
    std::vector<std::string> lines;
    try {
        lines = ReadLines(file);
    } catch (const std::exception& error) {
        Show(name + ": " + error.what());
        return;
    }
    if (lines.empty()) {
        Show(name + " is empty; the default output is used");
        return;
    }
    std::size_t at = 0; // the line being read, for the message
    try {
        auto line = [&](std::size_t index) -> const std::string& {
            at = index;
            if (index >= lines.size()) {
                throw IndexError(static_cast<long long>(index),
                                 static_cast<long long>(lines.size()));
            }
            if (const std::string fault = LineLengthFault(lines[index]); !fault.empty()) {
                throw UserError(fault);
            }
            return lines[index];
        };
        if (StrToInt(line(0)) > 0) {
            Show(kIllegalDeviceVersion);
            return;
        }
        int* const targets[kPrfLines - 1] = {&placement.top, &placement.left, &placement.width,
                                             &placement.height, &deviceId_};
        for (std::size_t i = 0; i + 1 < kPrfLines; ++i) {
            *targets[i] = StrToInt(line(i + 1));
        }
        // The sync lines came later: a file without them reads as all off.
        bool* const syncTargets[] = {&sync_.sendClock, &sync_.followTransport,
                                     &sync_.timebaseMaster, &sync_.followClock};
        sync_ = {};
        for (std::size_t i = 0; i < std::size(syncTargets) && kPrfLines + i < lines.size(); ++i) {
            *syncTargets[i] = StrToInt(line(kPrfLines + i)) != 0;
        }
    } catch (const std::exception& error) {
        // Lines as an editor numbers them, from 1.
        Show(name + ", line " + IntToStr(static_cast<long long>(at + 1)) + ": " + error.what());
    }
}

void DeviceModel::SaveDeviceSettings(const std::filesystem::path& file,
                                     const DevicePlacement& placement) const {
    std::vector<std::string> lines = {
        "0000",
        IntToStr(placement.top),
        IntToStr(placement.left),
        IntToStr(placement.width),
        IntToStr(placement.height),
        IntToStr(WithoutSoundByChoice() ? kNoOutputChosen : deviceId_)};
    if (sync_ != SyncSettings{}) {
        for (const bool on :
             {sync_.sendClock, sync_.followTransport, sync_.timebaseMaster, sync_.followClock}) {
            lines.push_back(on ? "1" : "0");
        }
    }
    WriteLinesAtomic(file, lines);
}

std::string DeviceModel::NoSoundSentence(int code) {
    const char* why = code == kMidiErrNoAudio       ? "no sound server or sound card answered"
                      : code == kMidiErrNoSoundFont ? "no General MIDI SoundFont is installed"
                                                    : "the remembered output refused to open";
    return std::string("No sound output could be opened: ") + why +
           ". Sorvelin goes on without sound; choose an output in Device Setup.";
}

int DeviceModel::Startup(const std::filesystem::path& file, DevicePlacement& placement) {
    deviceId_ = -1;
    LoadDeviceSettings(file, placement);
    if (deviceId_ == kNoOutputChosen) {
        deviceId_ = -1;
        withoutSound_ = true;
        return 0;
    }
    if (output_.IsOpen() && CloseDevice() != 0) {
        return -1;
    }
    const int result = output_.Open(deviceId_);
    if (result == kMidiOk) {
        return 0;
    }
    const std::string sentence = NoSoundSentence(result);
    const std::string details = output_.ErrorText(result);
    if (showDetailed_) {
        showDetailed_(sentence, details);
    } else {
        Show(sentence + "\n\n" + details);
    }
    return result;
}

} // namespace sorvelin
