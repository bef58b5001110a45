#include "compose/PartSettings.h"

namespace sorvelin {

PartSettingsTable DefaultPartSettings() {
    PartSettingsTable parts{};
    for (int i = 0; i < PartSettingsCount; ++i) {
        PartSettings& part = parts[static_cast<std::size_t>(i)];
        part.UsePart = false;
        part.Channel = static_cast<std::int16_t>(i);
        part.Program = 5 * i;
        part.Pan = (33 * i + 64) % 128;
        part.Reserved1 = 100;
        part.Reserved2 = 127;
        part.Octave = 0;
    }
    parts[0].UsePart = true;
    parts[1].UsePart = true;
    parts[9].Program = 0;
    parts[9].Pan = 64;
    return parts;
}

std::string PartName(int part) {
    return "Part " + std::to_string(part + 1);
}

bool FitsMidiBytes(const PartSettings& part) {
    return part.Channel >= MinChannel && part.Channel <= MaxChannel &&
           part.Program >= MinDataByte && part.Program <= MaxDataByte && part.Pan >= MinDataByte &&
           part.Pan <= MaxDataByte;
}

} // namespace sorvelin
