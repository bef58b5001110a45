#pragma once
// The MIDI output device window: lists the outputs, opens the one the user
// picks and remembers it with the window's placement in device.prf. It owns
// the open output, the timer service and the playback engine through which
// everything the program plays is sent.
#include "base/Timer.h"
#include "output/DeviceModel.h"
#include "output/OutputHandle.h"
#include "output/PlaybackEngine.h"
#include "sound/MidiOut.h"

#include <QDialog>
#include <filesystem>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QListWidget;
class QPushButton;

namespace sorvelin {

class TMidiDevice;

// How the device window is built. The defaults make a silent window: an
// output service that records what it is sent, and no device.prf. The
// program passes the real service and the settings file.
struct MidiDeviceOptions {
    std::unique_ptr<MidiOutService> service;
    std::filesystem::path settingsFile;
    // Shows the window modally; empty: QDialog::exec.
    std::function<void(TMidiDevice&)> showModal;
};

class TMidiDevice : public QDialog {
    Q_OBJECT
public:
    explicit TMidiDevice(MidiDeviceOptions options = {}, QWidget* parent = nullptr);
    ~TMidiDevice() override;

    // Controls, named as their objectName.
    QFrame* Panel1 = nullptr;
    QListWidget* DevSummListBox1 = nullptr;
    QPushButton* OpenButton1 = nullptr;
    QPushButton* ErrorTestButton1 = nullptr;
    QPushButton* CloseButton = nullptr;
    QAction* MIDIOpen = nullptr;
    // Shown while no output is open: the program goes on without sound.
    QLabel* NoOutputLabel = nullptr;
    // Keeping in time with other programs (remembered in device.prf).
    QCheckBox* SendClockBox = nullptr;       // "Send MIDI clock"
    QCheckBox* FollowTransportBox = nullptr; // "Follow JACK transport"
    QCheckBox* TimebaseMasterBox = nullptr;  // "JACK timebase master", with the clock
    QCheckBox* FollowClockBox = nullptr;     // "Follow MIDI clock"

    // Start-up: reads device.prf, opens the remembered output and, when that
    // fails, shows the window modally so another output can be chosen (or
    // none: the program then runs without sound). Returns the open's result.
    int FormCreate();
    void FillDeviceList();
    void MIDIOpenExecute();
    void MIDIOpenUpdate();
    void ErrorTestButton1Click();
    // "Device Setup" and the start-up failure: modal, through the options'
    // replacement when one is set.
    void ShowModal();

    PlaybackEngine& Engine() { return *engine_; }
    OutputHandle& Output() { return *output_; }
    DeviceModel& Model() { return *model_; }
    MidiOutService& Service() { return *service_; }
    int DeviceId() const { return model_->DeviceId(); }
    bool IsPlaying() const { return engine_->IsPlaying(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SaveSettings();
    // The boxes from the model's sync settings, and back.
    void ShowSync();
    void SyncBoxChanged();
    void ShowOutputState();

    MidiDeviceOptions options_;
    std::unique_ptr<MidiOutService> service_;
    std::unique_ptr<ThreadTimer> timer_;
    std::unique_ptr<OutputHandle> output_;
    std::unique_ptr<DeviceModel> model_;
    std::unique_ptr<PlaybackEngine> engine_;
};

extern TMidiDevice* MidiDevice;

// Runs `show` on the window thread: at once when called there, otherwise
// queued to it (the playback timer's thread must never wait for the window).
void ShowOnWindowThread(const std::string& text);

} // namespace sorvelin
