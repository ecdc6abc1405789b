// The script runner end to end with real shell scripts: the exchange files,
// folders whose names need quoting, scripts that fail to deliver, ReRun, and
// a run beside a live window that Cancel ends.
#include <QFileDevice>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

#include "bufferfixture.h"
#include "scriptcommand.h"
#include "zolt.h"

class TestScript : public QObject {
    Q_OBJECT

private slots:
    void quotingKeepsEveryCharacterLiteral();
    void copyScriptReturnsAnExactCopyInAnAwkwardFolder();
    void scriptsThatDeliverNothingUsableChangeNothing();
    void runAlwaysAsksAndReRunRepeats();
    void inputThatCannotBeHandedOverStopsTheRun();
    void runLeavesTheWindowAliveAndCancelEndsIt();
};

namespace {

// Writes an executable shell script.
QString makeScript(const QString &dir, const QString &name, const QByteArray &body) {
    QDir().mkpath(dir);
    const QString path = dir + "/" + name;
    if (!writeText(path, "#!/bin/sh\n" + body)) return QString();
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ExeOwner);
    return path;
}

// Runs a script command of the panel and waits until the run it starts ends.
bool runAndWait(PanelFixture &f, void (ZOlttoolMainWindow::*command)()) {
    QSignalSpy done(f.win, &ZOlttoolMainWindow::scriptFinished);
    (f.win->*command)();
    return done.count() > 0 || done.wait(20000);
}

// A process that has not ended (a zombie has).
bool alive(qint64 pid) {
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return false;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    return close > 0 && line.mid(close + 2, 1) != "Z";
}

}  // namespace

void TestScript::quotingKeepsEveryCharacterLiteral() {
    QCOMPARE(shellQuote("plain"), QString("'plain'"));
    QCOMPARE(shellQuote("it's"), QString("'it'\\''s'"));
    QCOMPARE(shellQuote(""), QString("''"));

    const ScriptFiles files = scriptFiles("/data/my scripts/run.sh");
    QCOMPARE(files.dir, QString("/data/my scripts"));
    QCOMPARE(files.input, QString("/data/my scripts/ImgViewTempInput.Zolt"));
    QCOMPARE(files.output, QString("/data/my scripts/ImgViewTempOutput.Zolt"));
}

void TestScript::copyScriptReturnsAnExactCopyInAnAwkwardFolder() {
    PanelFixture f;
    const QString dir = f.path("my dir; touch PWNED 'q' $(touch PWNED2)");
    const QString script =
        makeScript(dir, "copy it.sh", "cp ImgViewTempInput.Zolt ImgViewTempOutput.Zolt\n");
    QVERIFY(!script.isEmpty());

    ZoltHeader *src = makeImage("u8bit", {5, 3}, {1, 2, 3, 4, 5, 250, 7, 8, 9, 10, 11, 12, 13, 14, 15});
    f.table->install(1, src);
    f.table->names[1] = "source";
    ZoltHeader *old = makeImage("float", {2, 2}, {0, 0, 0, 0});
    f.table->install(3, old);
    f.select("output", 1);
    f.select("input2", 3);

    f.asked->answer(script);
    const QString before = f.console();
    QVERIFY(runAndWait(f, &ZOlttoolMainWindow::runScript));

    QCOMPARE(f.messages(), QStringList());
    QCOMPARE(f.since(before), QString("\nScript started...Script completed\n"));
    ZoltHeader *got = f.table->image(3);
    QVERIFY(got);
    QCOMPARE(QString(got->oltdt), QString("u8bit"));  // the file's own type
    QVERIFY(sameBytes(got, src));
    QCOMPARE(f.table->image(1), src);
    QCOMPARE(f.table->names[1], QString("source"));
    QCOMPARE(f.table->names[3], QString("ReturnedFromScript"));
    QVERIFY(QFile::exists(dir + "/ImgViewTempInput.Zolt"));
    QVERIFY(!QFile::exists(dir + "/ImgViewTempOutput.Zolt"));
    QVERIFY(f.action("&ReRun")->isEnabled());
    // nothing but the script ran
    QVERIFY(!QFile::exists(f.path("PWNED")) && !QFile::exists(dir + "/PWNED"));
    QVERIFY(!QFile::exists(f.path("PWNED2")) && !QFile::exists(dir + "/PWNED2"));
    QCOMPARE(QDir(f.home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 1);
}

void TestScript::scriptsThatDeliverNothingUsableChangeNothing() {
    PanelFixture f;
    const QString dir = f.path("scripts");
    const QString silent = makeScript(dir, "silent.sh", "exit 3\n");
    const QString garbage = makeScript(dir, "garbage.sh", "echo nonsense > ImgViewTempOutput.Zolt\n");
    ZoltHeader *in = makeImage("float", {2, 1}, {1, 2});
    f.table->install(0, in);
    ZoltHeader *kept = makeImage("float", {3, 1}, {4, 5, 6});
    f.table->install(2, kept);
    f.select("input2", 2);

    f.asked->answer(silent);
    QVERIFY(runAndWait(f, &ZOlttoolMainWindow::runScript));
    QCOMPARE(f.messages(),
             QStringList{"Your script did not produce an output file that I know how to process"});
    QCOMPARE(f.table->image(2), kept);
    QVERIFY(!f.action("&ReRun")->isEnabled());

    // an output left over from an earlier run does not count as this run's
    QVERIFY(writeText(dir + "/ImgViewTempOutput.Zolt", "stale"));
    f.asked->log.clear();
    f.asked->answer(silent);
    QVERIFY(runAndWait(f, &ZOlttoolMainWindow::runScript));
    QCOMPARE(f.messages(),
             QStringList{"Your script did not produce an output file that I know how to process"});
    QCOMPARE(f.table->image(2), kept);

    f.asked->log.clear();
    f.asked->answer(garbage);
    QVERIFY(runAndWait(f, &ZOlttoolMainWindow::runScript));
    QCOMPARE(f.messages().size(), 1);
    QVERIFY2(f.messages().first().contains(dir + "/ImgViewTempOutput.Zolt"),
             qPrintable(f.messages().first()));
    QCOMPARE(f.table->image(2), kept);
    QCOMPARE(f.table->names[2], QString());
    QVERIFY(!QFile::exists(dir + "/ImgViewTempOutput.Zolt"));
}

void TestScript::runAlwaysAsksAndReRunRepeats() {
    PanelFixture f;
    f.win->rerunScript();
    QCOMPARE(f.messages(), QStringList{"You must run a script before you can rerun it."});

    const QString dir = f.path("s");
    // each run appends a line, so the runs can be counted
    const QString script = makeScript(
        dir, "count.sh", "echo run >> runs.txt\ncp ImgViewTempInput.Zolt ImgViewTempOutput.Zolt\n");
    f.table->install(0, makeImage("float", {2, 1}, {1, 2}));
    f.select("input2", 1);
    f.asked->answer(script);
    QVERIFY(runAndWait(f, &ZOlttoolMainWindow::runScript));
    QVERIFY(f.table->image(1));
    QCOMPARE(floats(f.table->image(1))[1], 2.0f);

    // ReRun takes the image now in Output, without asking
    f.table->install(0, makeImage("float", {2, 1}, {7, 8}));
    const int asked = f.asked->log.size();
    QVERIFY(runAndWait(f, &ZOlttoolMainWindow::rerunScript));
    QCOMPARE(f.asked->log.size(), asked);
    QCOMPARE(floats(f.table->image(1))[0], 7.0f);

    // Run Script asks again even after a ReRun
    f.asked->cancel();
    f.win->runScript();
    QCOMPARE(f.asked->log.size(), asked + 2);
    QCOMPARE(f.asked->log[asked].kind, ScriptedPrompt::OpenFile);
    QCOMPARE(f.asked->log[asked].title, QString("Select Script"));
    QCOMPARE(f.asked->log[asked].preset.toString(), f.home.path());
    QCOMPARE(f.messages().last(), QString("ScriptName is empty"));

    QFile runs(dir + "/runs.txt");
    QVERIFY(runs.open(QIODevice::ReadOnly));
    QCOMPARE(runs.readAll(), QByteArray("run\nrun\n"));
}

void TestScript::inputThatCannotBeHandedOverStopsTheRun() {
    PanelFixture f;
    const QString dir = f.path("s");
    const QString script = makeScript(dir, "mark.sh", "touch ran\n");
    QVERIFY(QDir().mkpath(dir + "/ImgViewTempInput.Zolt"));  // a folder where the file should go
    f.table->install(0, makeImage("float", {2, 1}, {1, 2}));
    f.asked->answer(script);
    f.win->runScript();
    QCOMPARE(f.messages().size(), 1);
    QVERIFY2(f.messages().first().contains(dir + "/ImgViewTempInput.Zolt"),
             qPrintable(f.messages().first()));
    QVERIFY(!QFile::exists(dir + "/ran"));

    // an empty Output buffer hands nothing over, but the script still runs
    f.table->install(0, nullptr);
    f.asked->answer(script);
    QVERIFY(runAndWait(f, &ZOlttoolMainWindow::runScript));
    QVERIFY(QFile::exists(dir + "/ran"));
    QCOMPARE(f.messages().last(),
             QString("Your script did not produce an output file that I know how to process"));
}

void TestScript::runLeavesTheWindowAliveAndCancelEndsIt() {
    PanelFixture f;
    const QString dir = f.path("s");
    // delivers a result at once, then waits on a child of its own
    const QString script = makeScript(dir, "slow.sh",
                                      "cp ImgViewTempInput.Zolt ImgViewTempOutput.Zolt\n"
                                      "sleep 60 &\necho $! > child.pid\nwait\n");
    f.table->install(0, makeImage("float", {2, 1}, {1, 2}));
    ZoltHeader *kept = makeImage("float", {1, 1}, {9});
    f.table->install(1, kept);
    f.select("input2", 1);
    f.win->updateAccessability();
    const QString before = f.console();
    QSignalSpy done(f.win, &ZOlttoolMainWindow::scriptFinished);
    f.asked->answer(script);
    f.win->runScript();

    // The window goes on: the clock ticks while the buffers' controls are held.
    QTRY_VERIFY(QFile(dir + "/child.pid").size() > 0);
    auto *elapsed = f.win->findChild<QLabel *>("scriptElapsed");
    QVERIFY(elapsed);
    const QString first = elapsed->text();
    QVERIFY2(first.startsWith("Script slow.sh running: "), qPrintable(first));
    QTRY_VERIFY(elapsed->text() != first);
    QVERIFY(!f.action("Run Script")->isEnabled());
    QVERIFY(!f.action("&Read")->isEnabled());
    QVERIFY(!f.radio("input2", 3)->isEnabled());
    QVERIFY(!f.button("dx")->isEnabled());
    QVERIFY(f.action("E&xit")->isEnabled());
    QCOMPARE(done.count(), 0);

    QFile pidFile(dir + "/child.pid");
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const qint64 child = pidFile.readAll().trimmed().toLongLong();
    QVERIFY(alive(child));
    f.win->findChild<QPushButton *>("scriptCancel")->click();
    QVERIFY(done.count() > 0 || done.wait(10000));
    QTRY_VERIFY(!alive(child));  // the script's own child ended with it

    // A cancelled run delivers nothing and gives the controls back.
    QCOMPARE(f.since(before), QString("\nScript started...Script cancelled\n"));
    QCOMPARE(f.table->image(1), kept);
    QVERIFY(!QFile::exists(dir + "/ImgViewTempOutput.Zolt"));
    QCOMPARE(f.messages(), QStringList());
    QVERIFY(!f.win->findChild<QLabel *>("scriptElapsed"));
    QVERIFY(f.action("Run Script")->isEnabled());
    QVERIFY(f.radio("input2", 3)->isEnabled());
    QVERIFY(f.button("dx")->isEnabled());
    QVERIFY(!f.action("&ReRun")->isEnabled());
}

QTEST_MAIN(TestScript)
#include "test_script.moc"
