#pragma once
// What an output heard, judged the way a listener would: every message well
// formed, and no note left sounding once everything has been sent.
#include "sound/MidiOutCapture.h"
#include "support/SmfCheck.h"

#include <array>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace sorvelin::faults {

// Empty when every message is well formed and every note that sounded on an
// output was ended on that output, by its note-off or by All Sound Off or All
// Notes Off on its channel; otherwise what is wrong.
inline std::string CheckHeard(const std::vector<CapturedMessage>& messages) {
    std::map<int, std::array<int, 16 * 128>> sounding; // per output
    std::ostringstream faults;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const CapturedMessage& message = messages[i];
        if (!check::WellFormedMessage(message.bytes, message.isLong)) {
            faults << "message " << i << " is not well formed; ";
            continue;
        }
        if (message.isLong) {
            continue;
        }
        auto& notes = sounding.try_emplace(message.device).first->second;
        const int status = message.bytes[0] & 0xF0;
        const int channel = message.bytes[0] & 0x0F;
        if (status == 0x90 && message.bytes[2] != 0) {
            ++notes[static_cast<std::size_t>(channel * 128 + message.bytes[1])];
        } else if (status == 0x90 || status == 0x80) {
            int& count = notes[static_cast<std::size_t>(channel * 128 + message.bytes[1])];
            count = count > 0 ? count - 1 : 0;
        } else if (status == 0xB0 && (message.bytes[1] == 120 || message.bytes[1] == 123)) {
            for (int key = 0; key < 128; ++key) {
                notes[static_cast<std::size_t>(channel * 128 + key)] = 0;
            }
        }
    }
    for (const auto& [device, notes] : sounding) {
        for (std::size_t code = 0; code < notes.size(); ++code) {
            if (notes[code] > 0) {
                faults << "output " << device << " channel " << code / 128 + 1 << " key "
                       << code % 128 << " left sounding; ";
            }
        }
    }
    return faults.str();
}

} // namespace sorvelin::faults
