#include "ui/common/SettingsLocation.h"

#include "base/TextFile.h"

#include <QStandardPaths>
#include <unistd.h>

namespace sorvelin {

bool IsWritableDir(const std::filesystem::path& dir) {
    std::error_code ec;
    return std::filesystem::is_directory(dir, ec) && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

std::filesystem::path UserConfigDir() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return std::filesystem::path(base.toStdString()) / "sorvelin";
}

std::filesystem::path SettingsDir(const std::filesystem::path& programDir) {
    if (IsWritableDir(programDir)) {
        return programDir;
    }
    return UserConfigDir();
}

std::filesystem::path SettingsDir() {
    return SettingsDir(ProgramDir());
}

} // namespace sorvelin
