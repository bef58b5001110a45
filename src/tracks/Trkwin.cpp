#include "tracks/Trkwin.h"

namespace sorvelin {

TTrackSettingWin* TrackSettingWin = nullptr;

TTrackSettingWin::TTrackSettingWin(QWidget* parent) : QDialog(parent) {
    setObjectName("TrackSettingWin");
    setWindowTitle("Track Settings");
    setFixedSize(370, 362);
}

} // namespace sorvelin
