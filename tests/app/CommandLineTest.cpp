// The program's command line: what it takes, and a song named on it opening
// in the composition window by Load Song's road.
#include "app/CommandLine.h"
#include "app/OpenSong.h"
#include "support/WindowTestSupport.h"
#include "ui/compose/Cmpwin.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace sorvelin;
using namespace sorvelin::testing;

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void argumentsAreReadAsTheUsageSays_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("help");
        QTest::addColumn<bool>("version");
        QTest::addColumn<QString>("song");
        QTest::addColumn<bool>("error");
        QTest::newRow("nothing") << QStringList{} << false << false << "" << false;
        QTest::newRow("a song") << QStringList{"a.svl"} << false << false << "a.svl" << false;
        QTest::newRow("help") << QStringList{"--help"} << true << false << "" << false;
        QTest::newRow("-h") << QStringList{"-h"} << true << false << "" << false;
        QTest::newRow("version") << QStringList{"--version"} << false << true << "" << false;
        QTest::newRow("a dash alone is a file")
            << QStringList{"-"} << false << false << "-" << false;
        QTest::newRow("unknown") << QStringList{"--loud"} << false << false << "" << true;
        QTest::newRow("two songs")
            << QStringList{"a.svl", "b.svl"} << false << false << "a.svl" << true;
    }

    void argumentsAreReadAsTheUsageSays() {
        QFETCH(QStringList, arguments);
        std::vector<std::string> list;
        for (const QString& argument : arguments) {
            list.push_back(argument.toStdString());
        }
        const CommandLine line = ParseCommandLine(list);
        QFETCH(bool, help);
        QFETCH(bool, version);
        QFETCH(QString, song);
        QFETCH(bool, error);
        QCOMPARE(line.Help, help);
        QCOMPARE(line.Version, version);
        QCOMPARE(QString::fromStdString(line.Song.value_or("")), song);
        QCOMPARE(!line.Error.empty(), error);
    }

    void theTextOnlyOptionsAreFoundBeforeTheApplication() {
        char program[] = "sorvelin";
        char song[] = "a.svl";
        char version[] = "--version";
        char* withVersion[] = {program, song, version};
        char* withoutIt[] = {program, song};
        QVERIFY(AsksForTextOnly(3, withVersion));
        QVERIFY(!AsksForTextOnly(2, withoutIt));
        QVERIFY(QString::fromStdString(VersionText()).startsWith("sorvelin 1."));
    }

    void aSongNamedOnTheCommandLineOpensInTheCompositionWindow() {
        QTemporaryDir dir;
        MessageRecorder recorder;
        StartProgram(dir.path());
        QVERIFY(!ComposeWin->isVisible());
        OpenSong(SORVELIN_TEST_SONG);
        QVERIFY(ComposeWin->isVisible());
        // The song's note count, and Load Song's own message for a scale
        // that is not in this folder's tables.
        QCOMPARE(ComposeWin->GetNoteCount(), 8);
        bool reported = false;
        for (const Message& message : recorder.messages) {
            reported = reported || message.text == "Sorry, Couldn't find Scale:Quarter tones";
        }
        QVERIFY(reported);
        StopProgram();
    }
};

QTEST_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
