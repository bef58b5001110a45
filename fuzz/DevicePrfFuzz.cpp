// device.prf as a user may have edited it, read by the device window's start:
// the reader never throws, opening whatever output id it found either opens
// one or leaves none open, and what it read is written back and read again
// unchanged.
#include "base/TextFile.h"
#include "output/DeviceModel.h"
#include "output/OutputHandle.h"
#include "sound/MidiOutCapture.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::filesystem::path WorkDir() {
    static const std::filesystem::path dir = [] {
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("sorvelin-fuzz-deviceprf-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return dir;
}

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sorvelin;
    const std::filesystem::path file = WorkDir() / "device.prf";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    CaptureMidiOut service({{"Port A", kMidiTechPort}, {"Port B", kMidiTechSynth}});
    int messages = 0;
    DevicePlacement placement;
    int id = 0;
    {
        OutputHandle output(service);
        DeviceModel model(output);
        model.SetMessageCallback([&](const std::string&) { ++messages; });
        const int result = model.Startup(file, placement);
        Require((result == 0) == model.IsOpen());
        Require(!model.IsOpen() || (model.DeviceId() >= -1 && model.DeviceId() < 2));
        id = model.DeviceId();
        model.SaveDeviceSettings(file, placement);
        Require(model.CloseDevice() == 0);
    }
    Require(service.OpenOutputs() == 0);
    if (messages == 0) {
        OutputHandle output(service);
        DeviceModel again(output);
        DevicePlacement read;
        again.LoadDeviceSettings(file, read);
        Require(read.top == placement.top && read.left == placement.left &&
                read.width == placement.width && read.height == placement.height);
        Require(again.SelectedRow() == id + 1);
    }
    return 0;
}
