// Sorvelin: the explorer window and its three companions, until the explorer
// window is closed.
#include "explorer/Main.h"
#include "app/StartUp.h"
#include "output/DeviceModel.h"
#include "output/MidiOutFactory.h"
#include "platform/ErrorGuard.h"

#include <QIcon>

int main(int argc, char** argv) {
    sorvelin::GuardedApplication application(argc, argv);
    QApplication::setApplicationName("Sorvelin");
    // The desktop entry and icon installed with the program.
    QGuiApplication::setDesktopFileName("org.sorvelin.Sorvelin");
    QApplication::setWindowIcon(QIcon::fromTheme("org.sorvelin.Sorvelin"));
    // Only the explorer window's closing ends the program, whatever else is open.
    QApplication::setQuitOnLastWindowClosed(false);

    int result = 1;
    const bool ran = sorvelin::Guarded([&] {
        sorvelin::StartOptions options;
        options.device.service = sorvelin::MakeMidiOutService();
        options.device.settingsFile = sorvelin::kDevicePrfName; // the current directory
        sorvelin::CreateWindows(std::move(options));
        QObject::connect(sorvelin::MainForm1, &sorvelin::TMainForm1::Closed, &application,
                         &QApplication::quit);
        sorvelin::MainForm1->show();
        result = QApplication::exec();
    });
    sorvelin::DestroyWindows();
    return ran ? result : 1;
}
