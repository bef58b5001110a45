#include "output/Mididevicewin.h"

namespace sorvelin {

TMidiDevice* MidiDevice = nullptr;

TMidiDevice::TMidiDevice(QWidget* parent) : QDialog(parent) {
    setObjectName("MidiDevice");
    setWindowTitle("MidiDevice");
    setGeometry(200, 109, 451, 295);
}

} // namespace sorvelin
