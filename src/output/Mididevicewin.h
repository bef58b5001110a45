#pragma once
// The MIDI output device window. For now only the window itself: the device
// list, device.prf and the playback engine join it later.
#include <QDialog>

namespace sorvelin {

class TMidiDevice : public QDialog {
    Q_OBJECT
public:
    explicit TMidiDevice(QWidget* parent = nullptr);
};

extern TMidiDevice* MidiDevice;

} // namespace sorvelin
