// Sorvelin: the explorer window and its three companions, until the explorer
// window is closed.
#include "ui/explorer/Main.h"
#include "app/CommandLine.h"
#include "app/OpenSong.h"
#include "app/StartUp.h"
#include "output/DeviceModel.h"
#include "sound/MidiOutFactory.h"
#include "ui/common/ErrorGuard.h"

#include <QIcon>
#include <QTimer>

#include <iostream>

namespace {

std::vector<std::string> Arguments(const QStringList& arguments) {
    std::vector<std::string> result;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        result.push_back(arguments[i].toStdString());
    }
    return result;
}

} // namespace

int main(int argc, char** argv) {
    // --help and --version answer on the terminal, with or without a display.
    if (sorvelin::AsksForTextOnly(argc, argv)) {
        const sorvelin::CommandLine line =
            sorvelin::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        std::cout << (line.Help ? sorvelin::UsageText() : sorvelin::VersionText());
        return 0;
    }
    sorvelin::GuardedApplication application(argc, argv);
    // Parsed after the application took out the window system's own options.
    const sorvelin::CommandLine line =
        sorvelin::ParseCommandLine(Arguments(QApplication::arguments()));
    if (!line.Error.empty()) {
        std::cerr << "sorvelin: " << line.Error << "\n" << sorvelin::UsageText();
        return 2;
    }
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
        options.device.openSyncInput = sorvelin::OpenAlsaSyncInput;
        options.device.settingsFile = sorvelin::kDevicePrfName; // the current directory
        sorvelin::CreateWindows(std::move(options));
        QObject::connect(sorvelin::MainForm1, &sorvelin::TMainForm1::Closed, &application,
                         &QApplication::quit);
        sorvelin::MainForm1->show();
        if (line.Song) {
            // Once the event loop runs, so its questions and messages are
            // ordinary windows over the shown explorer.
            QTimer::singleShot(0, &application, [song = *line.Song] { sorvelin::OpenSong(song); });
        }
        result = QApplication::exec();
    });
    sorvelin::DestroyWindows();
    return ran ? result : 1;
}
