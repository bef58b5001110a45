# The Qt side of the platform: the replaceable message box, the error guard
# around every window handler, window placement and the settings folder.
sorvelin_library(sorvelin_platform_ui QT
    SOURCES MessageBox.cpp ErrorGuard.cpp WindowPlacement.cpp SettingsLocation.cpp AccessibleComboBox.cpp AccessibleRoles.cpp
            ProgressDialog.cpp ProgressDialog.h Mnemonic.cpp Mnemonic.h
            MessageBox.h ErrorGuard.h WindowPlacement.h SettingsLocation.h AccessibleComboBox.h AccessibleRoles.h
    DEPS sorvelin_platform Qt6::Widgets)
