// The unary operation slots on a panel with a scripted prompt: dialogs drawn
// from the operation table, "Input empty", results written in place, the
// mode-1 buttons without an operation, the complex check, the labelling's
// form and notes, Crop from the recorded clicks, Resize and ShowHoG refusals.
#include <QFile>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include "bufferfixture.h"
#include "gauss.h"

class TestOperations : public QObject {
    Q_OBJECT

    std::unique_ptr<PanelFixture> fx;
    BufferTable *table() const { return fx->table.get(); }

    // A 24 x 20 "float" ramp, 3 x column + row, in buffer `slot`.
    ZoltHeader *ramp(int slot) {
        std::vector<double> v(24 * 20);
        for (size_t i = 0; i < v.size(); ++i) v[i] = double(i % 24) * 3 + double(i / 24);
        ZoltHeader *img = makeImage("float", {24, 20}, v);
        table()->install(slot, img);
        return img;
    }
    const ScriptedPrompt::Entry &lastAsked() const { return fx->asked->log.last(); }

private slots:
    void init() { fx = std::make_unique<PanelFixture>(); }
    void cleanup() { fx.reset(); }

    void dialogsComeFromTheTable() {
        ramp(0);
        fx->select("output", 1);
        fx->win->dx();
        QCOMPARE(lastAsked().title, QString("Dx"));
        QCOMPARE(lastAsked().text, QString("Sigma of blur"));
        QCOMPARE(lastAsked().preset.toDouble(), 1.0);
        fx->win->blur();
        QCOMPARE(lastAsked().title, QString("Blur"));
        QCOMPARE(lastAsked().preset.toDouble(), 1.0);
        fx->win->curvature();
        QCOMPARE(lastAsked().title, QString("gDir"));
        // The Dx dialog holds an answer below its minimum of 1.0 at 1.0.
        fx->asked->answer(0.25);
        fx->win->dx();
        ZoltHeader *want = makeImage("float", {24, 20});
        QCOMPARE(flDoG(table()->image(0), want, 1.0f, 1, 0), 0);
        QVERIFY(sameBytes(table()->image(1), want));
        Zoltfree(want, 7);
        QVERIFY(fx->win->statusBar()->currentMessage().contains(QRegularExpression("^DX: \\d+ ms$")));
    }

    void emptyInputChangesNothing() {
        ZoltHeader *kept = ramp(1);
        fx->select("output", 1);
        fx->win->dx();
        QCOMPARE(fx->messages(), QStringList{"Input empty"});
        QCOMPARE(table()->image(1), kept);
    }

    void sameBufferInAndOut() {
        ZoltHeader *original = ramp(2);
        fx->select("input1", 2);
        fx->select("output", 2);
        // The result replaces the input's image; the work slot is emptied.
        fx->win->inverse();  // inversion asks nothing
        QVERIFY(table()->image(2) != original);
        QVERIFY(!table()->hasImage(BufferTable::WorkSlot));
        const std::vector<float> inverted = floats(table()->image(2));
        QCOMPARE(inverted[0], 23.0f * 3 + 19);  // largest value minus the first, 0
        ZoltHeader *now = table()->image(2);
        // A cancelled dialog keeps the image the buffer holds.
        fx->win->exponent();
        QCOMPARE(table()->image(2), now);
        QCOMPARE(Zoltdimen(now, 0), 24u);
        QCOMPARE(Zoltdimen(now, 1), 20u);
    }

    void unreportedStatusReachesTheStatusBar() {
        table()->install(0, makeImage("float", {8, 8}));  // constant: nothing to equalise
        fx->select("output", 1);
        fx->win->histeq();
        const ScriptedPrompt::Entry &note = fx->asked->log.first();
        QCOMPARE(note.title, QString("message"));
        QCOMPARE(note.text, QString("This function takes a while on large images.\n"));
        QCOMPARE(note.msec, 2000);
        QVERIFY(fx->win->statusBar()->currentMessage().contains(
            QRegularExpression("^Histeq: failed with status -2 \\(\\d+ ms\\)$")));
    }

    void modeOneButtonsWithoutOperation() {
        ZoltHeader *kept = ramp(0);
        fx->win->mode();
        fx->win->natlog();
        fx->win->blur();
        QCOMPARE(fx->messages(), QStringList({"No function has been defined for that button yet.",
                                              "No function has been defined for that button yet."}));
        QCOMPARE(table()->image(0), kept);
    }

    void complexCheckKeepsTheOutputBuffer() {
        ramp(0);
        fx->select("output", 3);
        fx->win->c2real();
        fx->win->c2mag();
        QCOMPARE(fx->messages(), QStringList({"Image is not complex", "Input Image is not complex"}));
        QVERIFY(!table()->hasImage(3));
    }

    void labellingFormNotesAndRandomColours() {
        // Two squares on a background below minval.
        std::vector<double> v(16 * 12, 0.0);
        for (int r = 2; r < 6; ++r)
            for (int c = 2; c < 6; ++c) v[r * 16 + c] = v[r * 16 + c + 8] = 100;
        table()->install(0, makeImage("float", {16, 12}, v));
        fx->select("output", 1);
        fx->asked->answer(QStringList());  // the form as it comes
        fx->win->ccl();
        const ScriptedPrompt::Entry &form = fx->asked->log.first();
        QCOMPARE(form.kind, ScriptedPrompt::Form);
        QCOMPARE(form.text, QString("Parameters for CCL."));
        QCOMPARE(form.preset.toStringList(), QStringList({"2.0", "10.0", "255.0", "1", "0", ""}));
        QCOMPARE(fx->notes(), QStringList{QString("found %1 labels").arg(table()->maxValue)});
        QCOMPARE(fx->asked->log.last().msec, 3000);

        // Map 6: labels 0 and 1 black, others coloured.
        fx->select("input1", 1);
        fx->select("output", 2);
        fx->asked->answer(6);
        fx->win->pseudo();
        const std::vector<float> labels = floats(table()->image(1));
        ZoltHeader *rgb = table()->image(2);
        QCOMPARE(rgb->oltndim, 3);
        const std::vector<float> p = floats(rgb);
        int coloured = 0;
        for (int i : {1 * 16 + 1, 3 * 16 + 3, 3 * 16 + 11}) {
            const bool black = p[i] == 0 && p[i + 192] == 0 && p[i + 384] == 0;
            QVERIFY(labels[i] < 2 ? black : !black);
            coloured += !black;
        }
        QCOMPARE(coloured, 1);  // the squares carry labels 1 and 2
    }

    void areasFileNeverOverwritesAnImageFileOfTheSession() {
        // Two files read, the first one since replaced in its buffer: an areas
        // file naming either is refused and the file keeps its bytes.
        QTemporaryDir dir;
        const QString first = dir.filePath("first.zol"), second = dir.filePath("second.zol");
        for (const QString &name : {first, second}) {
            ZoltHeader *img = makeImage("float", {16, 12}, std::vector<double>(16 * 12, 100.0));
            QCOMPARE(Zoltpotlit(img, name.toLocal8Bit().constData()), -1);
            Zoltfree(img, 7);
        }
        QFile before(first);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();
        fx->win->openImageFile(first, 0);
        fx->win->openImageFile(second, 1);
        ramp(0);
        fx->select("input1", 1);
        fx->select("output", 2);
        fx->asked->answer(QStringList({"2.0", "10.0", "255.0", "1", "0", dir.filePath("./first.zol")}));
        fx->win->ccl();
        QVERIFY(fx->messages().join(' ').contains("areas file is an image file"));
        QVERIFY(!table()->hasImage(2));
        QFile after(first);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), bytes);
    }

    void cropFromTwoClicksAndItsRefusal() {
        ramp(0);
        fx->select("output", 1);
        fx->win->mode();
        fx->win->exponent();  // no clicks yet: both corners (0, 0)
        table()->lastClick = QPoint(2, 4);
        table()->clickCount = 1;
        fx->win->exponent();  // one click is not a rectangle, even from (0, 0)
        QCOMPARE(fx->messages().size(), 2);
        QVERIFY(!table()->hasImage(1));
        table()->previousClick = QPoint(5, 1);
        table()->clickCount = 2;
        fx->win->exponent();
        ZoltHeader *crop = table()->image(1);
        QVERIFY(crop);
        QCOMPARE(Zoltdimen(crop, 0), 3u);
        QCOMPARE(Zoltdimen(crop, 1), 3u);
        QCOMPARE(floats(crop)[0], float(2 * 3 + 1));  // column 2, row 1
    }

    void resizeModeAndShowHogRefusals() {
        ZoltHeader *kept = ramp(0);
        fx->win->mode();
        fx->asked->answer(QStringList({"10", "10", "3"}));
        fx->win->inverse();
        fx->win->dy();
        QCOMPARE(fx->messages(),
                 QStringList({"Interpolation mode must be 0, 1, or 2", "To view a HoG, input must have 9 frames"}));
        QCOMPARE(table()->image(0), kept);
    }
};

QTEST_MAIN(TestOperations)
#include "test_operations.moc"
