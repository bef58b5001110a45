#pragma once
// Choosing and opening the MIDI output, and remembering the choice with the
// device window's placement in device.prf. Runs on the window thread; the
// window shows the list lines and the messages this model reports.
#include "output/OutputHandle.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sorvelin {

inline constexpr const char* kDevicePrfName = "device.prf";
inline constexpr const char* kIllegalDeviceVersion =
    "Illegal data version.  Get latest version of MIDI Cantorel.";

// The output id device.prf keeps when the user chose to go on without sound:
// the next start opens nothing and does not ask again.
inline constexpr int kNoOutputChosen = -2;

// The device window's outer placement; the defaults are its designed ones.
struct DevicePlacement {
    int top = 109;
    int left = 200;
    int width = 451;
    int height = 295;
};

// Keeping in time with other programs. Remembered in device.prf after the
// placement and the output, one line each ("1" on); a file without them
// reads as all off, and with all off they are not written.
struct SyncSettings {
    bool sendClock = false;       // MIDI clock with the song, to the output
    bool followTransport = false; // Play, Stop, position and tempo from JACK's transport
    bool timebaseMaster = false;  // with clock on JACK: lead the transport's tempo
    bool followClock = false;     // Start, Stop, position and tempo from MIDI clock in
    bool operator==(const SyncSettings&) const = default;
};

// "MIDI Port", "Synth", "SQ Synth", "FM Synth", "MIDI Mapper"; "" for 0 and above 5.
std::string TechnologyWord(int technology);

class DeviceModel {
public:
    using MessageFn = std::function<void(const std::string&)>;

    explicit DeviceModel(OutputHandle& output) : output_(output) {}

    // Where failures are shown (a message box in the program).
    void SetMessageCallback(MessageFn show) { show_ = std::move(show); }
    // Where the start-up failure is shown: one sentence and the drivers'
    // details below it. Without one, both go to the message callback.
    using DetailedMessageFn = std::function<void(const std::string&, const std::string&)>;
    void SetDetailedMessageCallback(DetailedMessageFn show) { showDetailed_ = std::move(show); }

    // "Close" with no output open: the choice is kept in device.prf, so the
    // next start goes on silently; opening an output undoes it.
    void GoOnWithoutSound() { withoutSound_ = true; }
    bool WithoutSoundByChoice() const { return withoutSound_ && !IsOpen(); }

    int DeviceId() const { return deviceId_; }
    const SyncSettings& Sync() const { return sync_; }
    void SetSync(const SyncSettings& sync) { sync_ = sync; }
    bool IsOpen() const { return output_.IsOpen(); }

    // 0 on success; -1 when the open output could not be closed first
    // (it stays open and DeviceId keeps its value); otherwise the service's
    // error code, with its text shown, no output open and DeviceId unchanged.
    int OpenDevice(int id);
    // 0 (also when nothing is open) or -1 when the output refused to close.
    int CloseDevice();

    // One line per output, row r for output r - 1: product name, one blank,
    // technology word (or the output's own list text when it has one). The
    // service lists its outputs afresh on every call, so an output started
    // since the last call is there.
    std::vector<std::string> FillDeviceList();
    // The row to select: DeviceId + 1 (may lie beyond the list).
    int SelectedRow() const { return deviceId_ + 1; }

    // The start-up failure in one sentence a user understands.
    static std::string NoSoundSentence(int code);

    // Reads device.prf when it exists. A version above 0 shows the version
    // message and applies nothing, as does an empty file (which says so). A
    // value that does not convert, a line too long to be one, or a missing
    // line is shown as an error naming the file and the line; what was read
    // before it stays and the rest keeps its defaults. Never throws.
    void LoadDeviceSettings(const std::filesystem::path& file, DevicePlacement& placement);
    // Six lines, CR LF: "0000", top, left, width, height, DeviceId, then the
    // four sync lines when any of them is on. Throws FileError when the file
    // cannot be written.
    void SaveDeviceSettings(const std::filesystem::path& file,
                            const DevicePlacement& placement) const;

    // The model's part of the device window's creation: DeviceId := -1, read
    // device.prf, open the remembered output. Returns OpenDevice's result
    // (the window shows itself modally when it is not 0).
    int Startup(const std::filesystem::path& file, DevicePlacement& placement);

private:
    void Show(const std::string& text) const;

    OutputHandle& output_;
    MessageFn show_;
    DetailedMessageFn showDetailed_;
    bool withoutSound_ = false;
    int deviceId_ = -2;
    SyncSettings sync_;
};

} // namespace sorvelin
