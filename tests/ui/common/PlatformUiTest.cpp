// The Qt side of the platform: the error guard and its message box hook,
// window placement onto the screens, and the settings folder rule.
#include "base/Errors.h"
#include "ui/common/ErrorGuard.h"
#include "ui/common/SettingsLocation.h"
#include "ui/common/WindowPlacement.h"

#include <QTemporaryDir>
#include <QtTest>
#include <string>
#include <vector>

using namespace sorvelin;

namespace {

// Throws from its event handler, as a faulty window handler would.
class ThrowingObject : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            throw FileError("cannot write main.prf");
        }
        return QObject::event(event);
    }
};

} // namespace

class PlatformUiTest : public QObject {
    Q_OBJECT

private:
    std::vector<std::pair<MessageKind, std::string>> messages_;
    MessageBoxFunction previous_;

private slots:
    void init() {
        messages_.clear();
        previous_ = SetMessageBoxFunction([this](MessageKind kind, const std::string& text) {
            messages_.emplace_back(kind, text);
        });
    }
    void cleanup() { SetMessageBoxFunction(previous_); }

    void theGuardShowsEachErrorAndStopsTheHandler() {
        int steps = 0;
        QVERIFY(!Guarded([&] {
            ++steps;
            throw ConvertError("'x' is not a valid floating point value");
            ++steps;
        }));
        QCOMPARE(steps, 1);
        QVERIFY(!Guarded([] { throw IndexError(31, 18); }));
        QVERIFY(!Guarded([] { throw 42; }));
        QVERIFY(Guarded([] {}));
        QCOMPARE(messages_.size(), std::size_t{3});
        for (const auto& [kind, text] : messages_) {
            QCOMPARE(kind, MessageKind::Error);
            QVERIFY(!text.empty());
        }
        QCOMPARE(messages_[0].second, std::string("'x' is not a valid floating point value"));
    }

    void anErrorEscapingAnEventHandlerIsShownNotPropagated() {
        ThrowingObject object;
        QEvent event(QEvent::User);
        QVERIFY(!QCoreApplication::sendEvent(&object, &event));
        QCOMPARE(messages_.size(), std::size_t{1});
        QCOMPARE(messages_[0].second, std::string("cannot write main.prf"));
    }

    void theHookIsReplacedAndRestored() {
        ShowMessage("Why did you version-down ?");
        QCOMPARE(messages_.size(), std::size_t{1});
        QCOMPARE(messages_[0].first, MessageKind::Information);
        int other = 0;
        const MessageBoxFunction mine =
            SetMessageBoxFunction([&](MessageKind, const std::string&) { ++other; });
        ShowMessage("again");
        SetMessageBoxFunction(mine);
        ShowMessage("back");
        QCOMPARE(other, 1);
        QCOMPARE(messages_.size(), std::size_t{2});
    }

    void windowsOffEveryScreenComeBack_data() {
        QTest::addColumn<QPoint>("wanted");
        QTest::addColumn<QPoint>("placed");
        // Two screens side by side: 0..1279 and 1280..2559 (the second 1024 high).
        QTest::newRow("on the first screen") << QPoint(100, 100) << QPoint(100, 100);
        QTest::newRow("on the second screen") << QPoint(1500, 400) << QPoint(1500, 400);
        QTest::newRow("far right") << QPoint(9000, 300) << QPoint(2560 - 353, 300);
        QTest::newRow("far left and up") << QPoint(-5000, -400) << QPoint(0, 0);
        QTest::newRow("below the first screen") << QPoint(200, 2000) << QPoint(200, 800 - 542);
        QTest::newRow("half over the edge") << QPoint(1100, 50) << QPoint(1280 - 353, 50);
    }

    void windowsOffEveryScreenComeBack() {
        QFETCH(QPoint, wanted);
        QFETCH(QPoint, placed);
        const std::vector<QRect> screens{QRect(0, 0, 1280, 800), QRect(1280, 0, 1280, 1024)};
        QCOMPARE(PlaceOnScreens(wanted, QSize(353, 542), screens), placed);
    }

    void aFramedWindowComesBackWhereItWasAtEveryStart() {
        // A title bar 20 pixels high and a 1-pixel border: the client corner
        // saved and restored five times stays put, also at a screen's edge.
        const std::vector<QRect> screens{QRect(0, 0, 1280, 1024)};
        const QPoint offset(1, 20);
        const QSize frame(355, 563);
        for (const QPoint saved : {QPoint(300, 200), QPoint(1, 20)}) {
            QPoint client = saved;
            for (int start = 0; start < 5; ++start) {
                client = PlaceClientOnScreens(client, offset, frame, screens);
            }
            QCOMPARE(client, saved);
        }
        // A frame above the screen's top is pulled down whole.
        QCOMPARE(PlaceClientOnScreens(QPoint(300, 5), offset, frame, screens), QPoint(300, 20));
    }

    void settingsLiveBesideTheProgramUnlessItsFolderIsReadOnly() {
        QTemporaryDir dir;
        const std::filesystem::path programDir = dir.path().toStdString();
        QCOMPARE(SettingsDir(programDir), programDir);
        const std::filesystem::path missing = programDir / "not-there";
        QCOMPARE(SettingsDir(missing), UserConfigDir());
        QVERIFY(UserConfigDir().filename() == "sorvelin");
    }
};

// The program's own application object, so its last line of defence is the one tested.
int main(int argc, char** argv) {
    GuardedApplication application(argc, argv);
    PlatformUiTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "PlatformUiTest.moc"
