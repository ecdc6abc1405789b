// Buffers that are never lost: a cancelled, refused or failed operation
// leaves every buffer as it was; undo and redo over a mixed sequence give
// back the exact images, names and viewers; the memory budget drops the
// oldest steps; the exported history, run with the zolt tool, rebuilds the
// buffers bit for bit; quitting over unsaved results asks first.
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProcess>
#include <QtTest>

#include "bufferfixture.h"

namespace {

// A 40 x 40 image of values v(c, r) = 3c + 7r + 0.25, or its u8bit form.
ZoltHeader *pattern(const char *type, int cols = 40, int rows = 40) {
    std::vector<double> v(size_t(cols) * rows);
    for (size_t i = 0; i < v.size(); ++i) v[i] = 3.0 * double(i % cols) + 7.0 * double(i / cols) + 0.25;
    return makeImage(type, {cols, rows}, v);
}

void writeZolt(ZoltHeader *h, const QString &name) {
    QCOMPARE(Zoltpot(h, QFile::encodeName(name).constData()), -1);
    Zoltfree(h, 7);
}

// Copies of every buffer's image (null for an empty buffer).
struct Snapshot {
    std::vector<std::unique_ptr<ZoltHeader, void (*)(ZoltHeader *)>> images;
    QStringList names;
    explicit Snapshot(const BufferTable &t) {
        for (int i = 0; i < BufferTable::Buffers; ++i) {
            ZoltHeader *copy = nullptr;
            if (const ZoltHeader *h = t.image(i)) {
                const int *dims = Zoltsiz(h);
                copy = Zoltcreate(h->oltdt, dims, 11, 0);
                Zoltcfree(const_cast<int *>(dims));
                std::memcpy(copy->oltptr, h->oltptr, Zoltbytes(h));
            }
            images.emplace_back(copy, [](ZoltHeader *p) { if (p) Zoltfree(p, 7); });
            names << t.names[i];
        }
    }
    // Empty when the table holds what was taken, else what differs.
    QString differences(const BufferTable &t) const {
        QString out;
        for (int i = 0; i < BufferTable::Buffers; ++i) {
            const ZoltHeader *had = images[size_t(i)].get(), *has = t.image(i);
            if ((had || has) && !(had && has && sameBytes(had, has))) out += QString(" image %1").arg(i);
            if (names[i] != t.names[i]) out += QString(" name %1").arg(i);
        }
        return out;
    }
};

}  // namespace

class TestUndo : public QObject {
    Q_OBJECT

    std::unique_ptr<PanelFixture> fx;
    BufferTable *table() const { return fx->table.get(); }
    void choose(int a, int b, int o) {
        fx->select("input1", a);
        fx->select("input2", b);
        fx->select("output", o);
    }

private slots:
    void init() { fx = std::make_unique<PanelFixture>(); }
    void cleanup() { fx.reset(); }

    // Each row: the buffers chosen, the answers given, the command. Nothing of
    // it may change a buffer, close the Output buffer's viewer or leave an undo step.
    void nothingLostWhenAnOperationDoesNotComplete() {
        table()->install(0, pattern("float"));
        table()->install(1, pattern("float", 4, 4));
        table()->install(2, makeImage("float", {16, 16, 3}));
        table()->install(3, pattern("float", 40, 32));  // not square: no FFT
        table()->names[1] = "kept.zol";
        using Slot = void (ZOlttoolMainWindow::*)();
        struct Case {
            const char *what;
            int a, b;
            QVariantList answers;  // an invalid entry cancels
            Slot slot;
        };
        const QList<Case> cases{
            {"DX cancelled", 0, 0, {QVariant()}, &ZOlttoolMainWindow::dx},
            {"Blur of sigma 0 refused", 0, 0, {0.0}, &ZOlttoolMainWindow::blur},
            {"pcon on colour refused", 2, 0, {}, &ZOlttoolMainWindow::pcon},
            {"pcon of unequal sizes fails", 0, 3, {QStringList()}, &ZOlttoolMainWindow::pcon},
            {"the N/A button", 0, 0, {}, &ZOlttoolMainWindow::gdir},
            {"FFT of a rectangle refused", 3, 0, {}, &ZOlttoolMainWindow::fft},
            {"Real of a float image refused", 0, 0, {}, &ZOlttoolMainWindow::c2real},
            {"Add cancelled", 0, 0, {QVariant()}, &ZOlttoolMainWindow::add},
            {"Add of grey and colour refused", 0, 2, {}, &ZOlttoolMainWindow::add},
            {"Correlate of grey and colour refused", 0, 2, {}, &ZOlttoolMainWindow::correlate},
        };
        const Snapshot before(*table());
        const size_t depth = table()->undoStack.undoDepth();
        for (const Case &c : cases) {
            choose(c.a, c.b, 1);
            fx->win->view();
            QPointer<QWidget> viewer = table()->viewer(1);
            QVERIFY(viewer);
            for (const QVariant &v : c.answers) v.isValid() ? fx->asked->answer(v) : fx->asked->cancel();
            (fx->win->*c.slot)();
            QVERIFY2(before.differences(*table()).isEmpty(), c.what);
            QVERIFY2(viewer && table()->viewer(1) == viewer, c.what);
            QVERIFY2(table()->undoStack.undoDepth() == depth, c.what);
            QVERIFY2(fx->asked->pendingAnswers() == 0, c.what);
        }
    }

    void undoAndRedoGiveBackExactImagesNamesAndViewers() {
        const QString a = fx->path("a.zol");
        writeZolt(pattern("float"), a);
        QList<std::shared_ptr<Snapshot>> states;
        auto step = [&] { states << std::make_shared<Snapshot>(*table()); };
        step();
        fx->win->openImageFile(a, 0);  // read into an empty buffer
        step();
        choose(0, 0, 1);
        fx->asked->answer(2.0);
        fx->win->blur();  // 0 -> 1
        QCOMPARE(table()->names[1], QString("Blur of a.zol"));
        step();
        fx->win->view();
        choose(1, 1, 1);
        fx->win->inverse();  // in place; closes the viewer
        QVERIFY(!table()->viewer(1));
        step();
        fx->select("output", 0);
        fx->win->copy();
        fx->select("output", 2);
        fx->win->paste();
        step();
        fx->select("output", 0);
        fx->win->delete_();
        step();
        fx->win->openImageFile(a, 1);  // read into a full buffer
        step();

        for (int k = states.size() - 1; k > 0; --k) {
            QVERIFY(fx->win->findChild<QAction *>("undoAct")->isEnabled());
            fx->win->undo();
            QVERIFY2(states[k - 1]->differences(*table()).isEmpty(),
                     qPrintable(QString("undo to state %1:").arg(k - 1) + states[k - 1]->differences(*table())));
            if (k == 3) QVERIFY(table()->viewer(1));  // the inverse undone: its viewer is back
        }
        QVERIFY(!fx->win->findChild<QAction *>("undoAct")->isEnabled());
        for (int k = 1; k < states.size(); ++k) {
            fx->win->redo();
            QVERIFY2(states[k]->differences(*table()).isEmpty(), qPrintable(QString("redo to state %1").arg(k)));
        }
        QVERIFY(!fx->win->findChild<QAction *>("redoAct")->isEnabled());
        // a new change after an undo drops what could have been redone
        fx->win->undo();
        fx->select("output", 3);
        fx->win->paste();
        QVERIFY(!table()->undoStack.canRedo());
    }

    void theBudgetDropsTheOldestSteps() {
        const size_t one = 40 * 40 * sizeof(float) + sizeof(ZoltHeader);
        table()->undoStack.setBudget(one * 5 / 2);  // room for two kept images
        ZoltHeader *images[5];
        for (int k = 0; k < 5; ++k) {
            images[k] = pattern("float");
            static_cast<float *>(images[k]->oltptr)[0] = float(k);
            table()->install(0, images[k]);
        }
        // steps 1..4 each keep the image before them; the first (an empty buffer) kept nothing
        QCOMPARE(table()->undoStack.undoDepth(), size_t(2));
        QVERIFY(table()->undo());
        QCOMPARE(table()->image(0), images[3]);
        QVERIFY(table()->undo());
        QCOMPARE(table()->image(0), images[2]);
        QVERIFY(!table()->undo());
        QVERIFY(table()->undoStack.bytes() <= table()->undoStack.budget());
        const QString budget = QString("Undo keeps up to %1 MB").arg(double(one * 5 / 2) / 1048576.0, 0, 'f', 0);
        QVERIFY(fx->win->menuBar()->actions().value(1)->menu()->toolTip().startsWith(budget));
    }

    void exportedHistoryRebuildsTheBuffers() {
        writeZolt(pattern("float"), fx->path("a.zol"));
        writeZolt(pattern("u8bit"), fx->path("b.zol"));
        fx->win->openImageFile(fx->path("a.zol"), 0);
        fx->win->openImageFile(fx->path("b.zol"), 1);
        choose(0, 0, 2);
        fx->asked->answer(1.5);
        const QString before = fx->console();
        fx->win->blur();
        QVERIFY2(fx->since(before).contains(QRegularExpression("^\nBlur sigma 1.5: buffer 0 -> 2, \\d+ ms$")),
                 qPrintable(fx->since(before)));
        choose(2, 1, 3);
        fx->asked->answer(QStringList{"1", "-2"});
        fx->win->add();
        choose(3, 3, 3);
        fx->win->inverse();
        fx->win->undo();
        choose(3, 3, 4);
        fx->asked->answer(-1.0);
        fx->win->laplacian();
        fx->select("output", 4);
        fx->win->copy();
        fx->select("output", 5);
        fx->win->paste();
        fx->select("output", 1);
        fx->win->delete_();

        QTemporaryDir work;
        const QString script = work.filePath("session.sh");
        fx->asked->answer(script);
        QVERIFY(fx->win->exportHistory());
        QProcess sh;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ZOLT", ZOLT_TOOL);
        sh.setProcessEnvironment(env);
        sh.setWorkingDirectory(work.path());
        sh.start("/bin/sh", {script});
        QVERIFY(sh.waitForFinished(60000));
        QVERIFY2(sh.exitCode() == 0, sh.readAllStandardError().constData());
        for (int i = 0; i < BufferTable::Buffers; ++i) {
            const QString file = work.filePath(QString("buffer%1.zolt").arg(i));
            QCOMPARE(QFile::exists(file), table()->hasImage(i));
            if (!table()->hasImage(i)) continue;
            ZoltHeader *rebuilt = Zoltpin(QFile::encodeName(file).constData());
            QVERIFY2(sameBytes(rebuilt, table()->image(i)), qPrintable(file));
            Zoltfree(rebuilt, 7);
        }
    }

    // A file name with a line end in it stays inside its comment.
    void namesInTheScriptStayComments() {
        History h;
        h.add("Read /tmp/x\ntouch hacked into buffer 0", {"# /tmp/x\ntouch hacked is no ZOLT file"});
        for (const QString &line : QString::fromStdString(h.script()).split('\n'))
            QVERIFY2(!line.startsWith("touch"), qPrintable(line));
    }

    void quittingOverUnsavedResultsAsksOnce() {
        fx->win->show();
        table()->install(0, pattern("float"));
        table()->unsaved[0] = false;  // as if read from a file
        choose(0, 0, 2);
        fx->asked->answer(1.0);
        fx->win->blur();
        const QString tip = fx->radio("output", 2)->toolTip();
        QCOMPARE(tip, QString("Buffer 2: Blur of \n40 x 40, 32flt\nnot saved"));
        fx->asked->answer(false);
        QVERIFY(!fx->win->close());
        QCOMPARE(fx->asked->texts(ScriptedPrompt::Question).size(), 1);
        QVERIFY(fx->asked->texts(ScriptedPrompt::Question)[0].contains("\nbuffer 2: Blur of \n"));
        QVERIFY(!fx->asked->texts(ScriptedPrompt::Question)[0].contains("buffer 0"));
        fx->asked->answer(true);
        QVERIFY(fx->win->close());
    }
};

QTEST_MAIN(TestUndo)
#include "test_undo.moc"
