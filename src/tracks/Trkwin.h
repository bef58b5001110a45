#pragma once
// The track settings window. For now only the window itself: the part table
// and its editors join it later.
#include <QDialog>

namespace sorvelin {

class TTrackSettingWin : public QDialog {
    Q_OBJECT
public:
    explicit TTrackSettingWin(QWidget* parent = nullptr);
};

extern TTrackSettingWin* TrackSettingWin;

} // namespace sorvelin
