#include "output/DeviceModel.h"
#include "base/TextFile.h"
#include "sound/MidiOutCapture.h"
#include "sound/MidiOutRouter.h"

#include "support/TempDir.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <unistd.h>

using namespace sorvelin;
using sorvelin::test::TempDir;
namespace fs = std::filesystem;

namespace {

struct Fixture {
    explicit Fixture(std::vector<MidiOutCaps> devices = {{"Port A", kMidiTechPort},
                                                         {"Synth B", kMidiTechSynth}})
        : capture(std::move(devices)), output(capture), model(output) {
        model.SetMessageCallback([this](const std::string& text) { shown.push_back(text); });
    }
    CaptureMidiOut capture;
    OutputHandle output;
    DeviceModel model;
    std::vector<std::string> shown;
};

bool IsSilencing(const std::vector<CapturedMessage>& messages, int device) {
    if (messages.size() != 32) {
        return false;
    }
    for (std::size_t i = 0; i < 32; ++i) {
        const std::uint8_t status = static_cast<std::uint8_t>(0xB0 | (i / 2));
        const std::uint8_t control = i % 2 == 0 ? 120 : 121;
        if (messages[i].device != device ||
            messages[i].bytes != std::vector<std::uint8_t>{status, control, 0}) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(DeviceModel, ListHasTheSynthesizerFirstThenEveryOutputWithItsTechnologyWord) {
    Fixture f({{"Port A", 1},
               {"Synth B", 2},
               {"SQ C", 3},
               {"FM D", 4},
               {"Map E", 5},
               {"Zero F", 0},
               {"Six G", 6}});
    EXPECT_EQ(f.model.FillDeviceList(),
              (std::vector<std::string>{"Capture Synth Synth", "Port A MIDI Port", "Synth B Synth",
                                        "SQ C SQ Synth", "FM D FM Synth", "Map E MIDI Mapper",
                                        "Zero F ", "Six G "}));
    Fixture none(std::vector<MidiOutCaps>{});
    EXPECT_EQ(none.model.FillDeviceList(), (std::vector<std::string>{"Capture Synth Synth"}));
}

namespace {

// Another program's ports as the sequencer lists them at each call: the
// test starts and stops "programs" between calls.
class ChangingPorts : public MidiOutService {
public:
    std::vector<MidiOutCaps> ports;
    int NumDevs() override {
        listed_ = ports;
        return static_cast<int>(listed_.size());
    }
    int DevCaps(int id, MidiOutCaps& caps) override {
        if (id < 0 || id >= static_cast<int>(listed_.size())) {
            return kMidiErrBadDeviceId;
        }
        caps = listed_[static_cast<std::size_t>(id)];
        return kMidiOk;
    }
    int Open(int, std::unique_ptr<MidiOutput>&) override { return kMidiErrBadDeviceId; }
    std::string ErrorText(int code) override { return StandardMidiErrorText(code); }

private:
    std::vector<MidiOutCaps> listed_;
};

} // namespace

// Each showing of the device window lists afresh: a synthesizer started
// after Sorvelin is there without a restart, one that quit is gone. Sorvelin's
// own rows come after the others' ports and show their whole text.
TEST(DeviceModel, EachListingReadsThePortsAfreshAndOwnRowsFollowThem) {
    auto changing = std::make_unique<ChangingPorts>();
    ChangingPorts& others = *changing;
    std::vector<std::unique_ptr<MidiOutService>> lists;
    lists.push_back(std::move(changing));
    lists.push_back(std::make_unique<CaptureMidiOut>(std::vector<MidiOutCaps>{
        {"Own port", kMidiTechPort, "Own port (a text longer than any product name may be)"}}));
    MidiOutRouter router(std::make_unique<CaptureMidiOut>(), std::move(lists));
    OutputHandle output(router);
    DeviceModel model(output);
    const std::string own = "Own port (a text longer than any product name may be)";
    struct Step {
        std::vector<MidiOutCaps> running;
        std::vector<std::string> rows;
    };
    const Step steps[] = {
        {{}, {"Capture Synth Synth", own}},
        {{{"Soft Synth", kMidiTechSynth}}, {"Capture Synth Synth", "Soft Synth Synth", own}},
        {{{"Soft Synth", kMidiTechSynth}, {"DAW in", kMidiTechPort}},
         {"Capture Synth Synth", "Soft Synth Synth", "DAW in MIDI Port", own}},
        {{{"DAW in", kMidiTechPort}}, {"Capture Synth Synth", "DAW in MIDI Port", own}},
    };
    for (const Step& step : steps) {
        others.ports = step.running;
        EXPECT_EQ(model.FillDeviceList(), step.rows);
    }
    // The own row opens by its place in the last listing.
    EXPECT_EQ(model.OpenDevice(1), 0);
}

TEST(DeviceModel, DeviceIdStartsAtMinusTwoAndChangesOnlyOnASuccessfulOpen) {
    Fixture f;
    EXPECT_EQ(f.model.DeviceId(), -2);
    ASSERT_EQ(f.model.OpenDevice(1), 0);
    EXPECT_EQ(f.model.DeviceId(), 1);
    EXPECT_EQ(f.model.SelectedRow(), 2);

    f.capture.FailOpen(0, kMidiErrNoSequencer);
    EXPECT_EQ(f.model.OpenDevice(0), kMidiErrNoSequencer);
    EXPECT_EQ(f.model.DeviceId(), 1);
    EXPECT_FALSE(f.model.IsOpen()); // the old output was closed first
    EXPECT_EQ(f.capture.OpenOutputs(), 0);
    EXPECT_EQ(f.shown, (std::vector<std::string>{f.capture.ErrorText(kMidiErrNoSequencer)}));

    EXPECT_EQ(f.model.OpenDevice(7), kMidiErrBadDeviceId);
    EXPECT_FALSE(f.model.IsOpen());
}

TEST(DeviceModel, SwitchingOutputsSilencesTheOldOneBeforeClosingIt) {
    Fixture f;
    ASSERT_EQ(f.model.OpenDevice(0), 0);
    ASSERT_EQ(f.model.OpenDevice(1), 0);
    EXPECT_TRUE(IsSilencing(f.capture.Messages(), 0));
    EXPECT_EQ(f.capture.OpenOutputs(), 1);
}

TEST(DeviceModel, AFailedCloseKeepsTheOldOutputAndAbandonsTheOpen) {
    Fixture f;
    ASSERT_EQ(f.model.OpenDevice(0), 0);
    f.capture.FailClose(kMidiErrClose);
    EXPECT_EQ(f.model.OpenDevice(1), -1);
    EXPECT_EQ(f.model.DeviceId(), 0);
    EXPECT_TRUE(f.model.IsOpen());
    EXPECT_EQ(f.shown.size(), 1u);
    EXPECT_EQ(f.model.CloseDevice(), -1);
    f.capture.FailClose(0);
    EXPECT_EQ(f.model.CloseDevice(), 0);
    EXPECT_EQ(f.model.CloseDevice(), 0); // nothing open: still 0
}

TEST(DeviceModel, SettingsFileRules) {
    const std::string illegal = kIllegalDeviceVersion;
    const struct {
        const char* name;
        const char* content; // nullptr: no file
        DevicePlacement placement;
        int deviceId;
        bool error; // a message is shown
        bool opened;
    } cases[] = {
        {"missing", nullptr, {109, 200, 451, 295}, -1, false, true},
        {"complete", "0000\r\n10\r\n20\r\n300\r\n400\r\n1\r\n", {10, 20, 300, 400}, 1, false, true},
        {"negative version",
         "-1\r\n10\r\n20\r\n300\r\n400\r\n0\r\n",
         {10, 20, 300, 400},
         0,
         false,
         true},
        {"newer version",
         "0001\r\n10\r\n20\r\n300\r\n400\r\n0\r\n",
         {109, 200, 451, 295},
         -1,
         true,
         true},
        {"bad value",
         "0000\r\n10\r\nx\r\n300\r\n400\r\n0\r\n",
         {10, 200, 451, 295},
         -1,
         true,
         true},
        {"too few lines", "0000\r\n10\r\n20\r\n", {10, 20, 451, 295}, -1, true, true},
        {"bad version",
         "v2\r\n10\r\n20\r\n300\r\n400\r\n0\r\n",
         {109, 200, 451, 295},
         -1,
         true,
         true},
        {"device gone",
         "0000\r\n10\r\n20\r\n300\r\n400\r\n3\r\n",
         {10, 20, 300, 400},
         3,
         true,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path file = dir.path / kDevicePrfName;
        if (c.content != nullptr) {
            WriteFileAtomic(file, c.content);
        }
        Fixture f;
        DevicePlacement placement;
        const int result = f.model.Startup(file, placement);
        EXPECT_EQ(placement.top, c.placement.top);
        EXPECT_EQ(placement.left, c.placement.left);
        EXPECT_EQ(placement.width, c.placement.width);
        EXPECT_EQ(placement.height, c.placement.height);
        EXPECT_EQ(f.model.DeviceId(), c.deviceId);
        EXPECT_EQ(f.model.SelectedRow(), c.deviceId + 1);
        EXPECT_EQ(!f.shown.empty(), c.error);
        EXPECT_EQ(result == 0, c.opened);
        EXPECT_EQ(f.model.IsOpen(), c.opened);
        if (std::string(c.name) == "newer version") {
            EXPECT_EQ(f.shown, (std::vector<std::string>{illegal}));
        }
    }
}

// What a damaged device.prf says names the file and the line, and quotes
// little of it; an empty file is simply no choice yet.
TEST(DeviceModel, SettingsMessagesNameTheFileAndTheLine) {
    const struct {
        std::string content;
        std::vector<std::string> shown;
        int top;
    } cases[] = {
        {"", {"device.prf is empty; the default output is used"}, 109},
        {"\xEF\xBB\xBF"
         "0000\r\n10\r\n20\r\n300\r\n400\r\n0\r\n",
         {},
         10},
        {"0000\r\n10\r\nx\r\n", {"device.prf, line 3: 'x' is not a valid integer value"}, 10},
        {"0000\r\n" + std::string(5000, '1') + "\r\n",
         {"device.prf, line 2: the line holds 5000 bytes; a line holds at most 4096."},
         109},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content.substr(0, 40));
        TempDir dir;
        const fs::path file = dir.path / kDevicePrfName;
        WriteFileAtomic(file, c.content);
        Fixture f;
        DevicePlacement placement;
        f.model.Startup(file, placement);
        EXPECT_EQ(f.shown, c.shown);
        EXPECT_EQ(placement.top, c.top);
    }
}

TEST(DeviceModel, SavedFileHasSixLinesTopBeforeLeft) {
    TempDir dir;
    const fs::path file = dir.path / kDevicePrfName;
    Fixture f;
    DevicePlacement placement{-5, 20, 451, 295};
    f.model.Startup(file, placement);
    f.model.SaveDeviceSettings(file, placement);
    EXPECT_EQ(ReadFileBytes(file), "0000\r\n-5\r\n20\r\n451\r\n295\r\n-1\r\n");

    Fixture again;
    DevicePlacement read;
    again.model.Startup(file, read);
    EXPECT_EQ(read.top, -5);
    EXPECT_EQ(read.left, 20);
    EXPECT_EQ(again.model.DeviceId(), -1);
}

// The sync boxes come after today's six lines, only when one is on, so a
// device.prf written without them stays as it was; a file without them
// reads as all off.
TEST(DeviceModel, SyncBoxesAreRememberedAfterTheSixLines) {
    const struct {
        const char* name;
        SyncSettings sync;
        const char* saved;
    } cases[] = {
        {"all off", {}, "0000\r\n1\r\n2\r\n451\r\n295\r\n-1\r\n"},
        {"clock",
         {true, false, false, false},
         "0000\r\n1\r\n2\r\n451\r\n295\r\n-1\r\n1\r\n0\r\n0\r\n0\r\n"},
        {"all on",
         {true, true, true, true},
         "0000\r\n1\r\n2\r\n451\r\n295\r\n-1\r\n1\r\n1\r\n1\r\n1\r\n"},
        {"follow clock",
         {false, false, false, true},
         "0000\r\n1\r\n2\r\n451\r\n295\r\n-1\r\n0\r\n0\r\n0\r\n1\r\n"},
        {"follow transport",
         {false, true, false, false},
         "0000\r\n1\r\n2\r\n451\r\n295\r\n-1\r\n0\r\n1\r\n0\r\n0\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path file = dir.path / kDevicePrfName;
        Fixture f;
        DevicePlacement placement{1, 2, 451, 295};
        f.model.Startup(file, placement); // no file yet: the synthesizer, id -1
        f.model.SetSync(c.sync);
        f.model.SaveDeviceSettings(file, placement);
        EXPECT_EQ(ReadFileBytes(file), c.saved);
        Fixture again;
        again.model.SetSync({true, true, true, true});
        DevicePlacement read;
        again.model.Startup(file, read);
        EXPECT_EQ(again.model.Sync(), c.sync);
        EXPECT_EQ(read.top, 1);
    }
}
