#include "app/OpenSong.h"

#include "ui/common/ErrorGuard.h"
#include "ui/compose/Cmpwin.h"

namespace sorvelin {

void OpenSong(const std::string& path) {
    if (ComposeWin == nullptr) {
        return;
    }
    ComposeWin->show();
    ComposeWin->raise();
    Guarded([&] { ComposeWin->LoadSongFile(QString::fromStdString(path)); });
}

} // namespace sorvelin
