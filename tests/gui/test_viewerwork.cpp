// A viewer at work: the adjustment controls and the picture they draw, the
// level range and zoom, pixel readout under pointer events at a zoom factor,
// profile and histogram windows, overlay marks and their removal, and the
// viewer's two saves.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QToolBar>
#include <QtTest>
#include <memory>
#include <qcustomplot.h>
#include <sys/stat.h>
#include <vector>

#include "bufferfixture.h"
#include "childwindow.h"
#include "plotwindow.h"

namespace {

QRgb rgb(int r, int g, int b) { return qRgb(r, g, b); }

// A 3-frame image whose values run exactly 0..255, so working values equal
// the image's own: frame f at (r, c) = c + 2r + 50f, and one pixel at 255.
ZoltHeader *ramp(int cols, int rows) {
    std::vector<double> v(size_t(cols) * rows * 3);
    for (int f = 0; f < 3; ++f)
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) v[(size_t(f) * rows + r) * cols + c] = c + 2 * r + 50 * f;
    v.back() = 255;
    return makeImage("float", {cols, rows, 3}, v);
}

}  // namespace

class TestViewerWork : public QObject {
    Q_OBJECT

    std::unique_ptr<PanelFixture> fx;

    ZOlttoolChildWindow *show(ZoltHeader *img, int slot = 0) {
        fx->table->install(slot, img);
        fx->table->names[slot] = "x.zol";
        fx->select("output", slot);
        fx->win->view();
        return qobject_cast<ZOlttoolChildWindow *>(fx->table->viewer(slot));
    }
    template <typename T>
    static T *child(QObject *w, const QString &name) {
        return w->findChild<T *>(name);
    }
    static void set(QObject *w, const char *control, int value) {
        child<QSlider>(w, QString(control) + "Slider")->setValue(value);
    }
    static int value(QObject *w, const char *control) {
        return child<QSlider>(w, QString(control) + "Slider")->value();
    }
    static QAction *act(QObject *w, const char *name) { return child<QAction>(w, name); }
    static QLabel *label(QObject *w) { return child<QLabel>(w, "imageLabel"); }

    // Pointer events at label positions, as the toolkit delivers them to the picture.
    static void press(QObject *w, QPoint at, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::mousePress(label(w), Qt::LeftButton, mods, at);
    }
    static void moveTo(QObject *w, QPoint at) {
        QMouseEvent e(QEvent::MouseMove, at, label(w)->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(label(w), &e);
    }
    static void release(QObject *w, QPoint at) { QTest::mouseRelease(label(w), Qt::LeftButton, {}, at); }
    static void drag(QObject *w, const std::vector<QPoint> &path) {
        press(w, path.front());
        for (const QPoint &p : path) moveTo(w, p);
        release(w, path.back());
    }
    static QList<MainWindow *> plots(QObject *w) { return w->findChildren<MainWindow *>(); }
    static std::vector<double> series(MainWindow *m, int graph) {
        std::vector<double> out;
        auto data = m->plot()->graph(graph)->data();
        for (auto it = data->constBegin(); it != data->constEnd(); ++it) out.push_back(it->value);
        return out;
    }

private slots:
    void init() {
        fx = std::make_unique<PanelFixture>();
        fx->win->show();
    }
    void cleanup() { fx.reset(); }

    // Bright 30, Warm 20, Cool -10 draw offsets 50, 50, 20 and show them on the
    // colour controls; a colour control replaces only its own channel.
    void adjustmentControlsDrawThePicture() {
        ZOlttoolChildWindow *w = show(ramp(4, 2));
        w->reset();  // Level 0, Window 255: working values drawn as they are
        QCOMPARE(w->currentPicture().pixel(3, 0), rgb(3, 53, 103));
        set(w, "bright", 30);
        set(w, "warm", 20);
        set(w, "cool", -10);
        QCOMPARE((QList<int>{value(w, "red"), value(w, "green"), value(w, "blue")}), (QList<int>{50, 50, 20}));
        QCOMPARE(child<QSpinBox>(w, "blueSpin")->value(), 20);
        QCOMPARE(w->currentPicture().pixel(3, 0), rgb(53, 103, 123));
        QCOMPARE(w->currentPicture().pixel(3, 1), rgb(55, 105, 255));  // 255 + 20, clamped

        child<QSpinBox>(w, "greenSpin")->setValue(0);  // red and blue as their controls show
        QCOMPARE(w->currentPicture().pixel(3, 0), rgb(53, 53, 123));
        set(w, "red", -3);
        QCOMPARE(w->currentPicture().pixel(3, 0), rgb(0, 53, 123));

        // Window 0 at Level 100 is a threshold at 100 (after the offsets).
        w->reset();
        set(w, "window", 0);
        QCOMPARE(child<QSlider>(w, "levelSlider")->maximum(), 255);
        set(w, "level", 100);
        QCOMPARE(w->currentPicture().pixel(0, 1), rgb(0, 0, 255));  // 2, 52, 102

        // Reset puts everything back, whatever happened before.
        w->reset();
        QCOMPARE(w->currentPicture().pixel(3, 0), rgb(3, 53, 103));
    }

    // Untouched controls are the settings the first picture was drawn with, and
    // a control moved away and back gives that picture again. Values 0..7 are
    // where a scale worked in double precision and the picture's single-
    // precision one part: 7 x (255 / 7) falls just short of 255 in floats.
    void controlsMovedBackGiveTheFirstPicture() {
        std::vector<double> v(16);
        for (int i = 0; i < 16; ++i) v[size_t(i)] = i % 8;
        ZOlttoolChildWindow *g = show(makeImage("float", {8, 2}, v));
        const QImage first = g->currentPicture();
        QCOMPARE(first.pixel(7, 0), rgb(254, 254, 254));
        set(g, "bright", 60);
        QVERIFY(g->currentPicture() != first);
        set(g, "bright", 0);
        QCOMPARE(g->currentPicture(), first);
        set(g, "window", 100);
        set(g, "window", 255);
        QCOMPARE(g->currentPicture(), first);
        set(g, "zoom", 20);
        g->reset();  // Zoom too
        QCOMPARE(value(g, "zoom"), 0);
        QCOMPARE(label(g)->size(), first.size());
        QCOMPARE(g->currentPicture(), first);

        // Colour: a colour control moved back leaves the others' offsets alone.
        std::vector<double> c(8 * 3);
        for (size_t i = 0; i < c.size(); ++i) c[i] = double(i % 7) / 3;
        ZOlttoolChildWindow *w = show(makeImage("float", {8, 1, 3}, c), 1);
        const QImage colour = w->currentPicture();
        set(w, "red", 30);
        const QImage red = w->currentPicture();
        child<QSpinBox>(w, "greenSpin")->setValue(40);
        child<QSpinBox>(w, "greenSpin")->setValue(0);
        QCOMPARE(w->currentPicture(), red);
        set(w, "red", 0);
        QCOMPARE(w->currentPicture(), colour);
        // With Color off the chosen frame stays grey under Bright, and comes back.
        child<QCheckBox>(w, "colorCheck")->setChecked(false);
        const QImage frame0 = w->currentPicture();
        set(w, "bright", 60);
        QCOMPARE(w->currentPicture().pixel(0, 0), rgb(60, 60, 60));  // working 0, plus 60
        set(w, "bright", 0);
        QCOMPARE(w->currentPicture(), frame0);

        // A click on an untouched viewer reads the value it shows: 187 of 0..252.
        ZOlttoolChildWindow *r = show(makeImage("float", {3, 1}, {0, 187, 252}), 2);
        const QString before = fx->console();
        release(r, QPoint(1, 0));
        QCOMPARE(fx->since(before), QString("\nModified: [0 , 1] \t  [Bright = 187]"
                                            "\nOriginal: [0 , 1] \t  [Bright = 187]"));
    }

    // Above factor 1 the picture scrolls; a click reads the pixel under it
    // wherever the picture was scrolled to, and the middle button pans.
    void zoomedPictureScrollsAndPans() {
        ZOlttoolChildWindow *w = show(makeImage("float", {400, 300}, std::vector<double>(400 * 300, 1.0)));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        set(w, "zoom", 20);
        QCoreApplication::processEvents();
        auto *area = child<QScrollArea>(w, "pictureArea");
        QScrollBar *h = area->horizontalScrollBar(), *vbar = area->verticalScrollBar();
        QVERIFY(h->isVisible() && vbar->isVisible());
        QVERIFY(h->maximum() >= 200 && vbar->maximum() >= 100);
        h->setValue(100);
        vbar->setValue(50);
        QTest::mouseRelease(area->viewport(), Qt::LeftButton, {}, QPoint(10, 12));
        QCOMPARE(fx->table->lastClick, QPoint(55, 31));  // (10 + 100) / 2, (12 + 50) / 2

        const QString before = fx->console();
        QTest::mousePress(area->viewport(), Qt::MiddleButton, {}, QPoint(100, 100));
        const QPoint to(60, 80);
        QMouseEvent move(QEvent::MouseMove, to, area->viewport()->mapToGlobal(to), Qt::NoButton,
                         Qt::MiddleButton, Qt::NoModifier);
        QApplication::sendEvent(area->viewport(), &move);
        QTest::mouseRelease(area->viewport(), Qt::MiddleButton, {}, to);
        QCOMPARE(h->value(), 140);
        QCOMPARE(vbar->value(), 70);
        QCOMPARE(fx->console(), before);  // panning reads nothing
        QCOMPARE(fx->table->lastClick, QPoint(55, 31));
    }

    // A new viewer shows the whole picture beside the dock, and every tool-bar
    // button, where the screen has room.
    void windowShowsPictureAndDock() {
        ZOlttoolChildWindow *w = show(makeImage("float", {256, 200}, std::vector<double>(256 * 200, 1.0)));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCoreApplication::processEvents();
        auto *area = child<QScrollArea>(w, "pictureArea");
        QVERIFY2(area->viewport()->width() >= 256, qPrintable(QString::number(area->viewport()->width())));
        for (const char *name : {"profileAct", "histogramAct", "drawOverlayAct", "resetAct", "saveAct", "saveBufferAct"}) {
            QWidget *button = child<QToolBar>(w, "Edit")->widgetForAction(act(w, name));
            QVERIFY2(button && button->isVisible(), name);
        }
    }

    // The Level control follows the image's own range less the window, and
    // keeps 0 within reach so Reset draws the working values again.
    void levelRangeAndZoom() {
        ZOlttoolChildWindow *w = show(makeImage("float", {2, 2}, {0, 4000, 1000, 2000}));
        set(w, "window", 100);
        QCOMPARE(child<QSlider>(w, "levelSlider")->minimum(), 0);
        QCOMPARE(child<QSlider>(w, "levelSlider")->maximum(), 3900);
        QCOMPARE(child<QSpinBox>(w, "levelSpin")->maximum(), 3900);

        ZOlttoolChildWindow *high = show(makeImage("float", {5, 2}, {1000, 2020, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000}), 1);
        high->reset();
        QCOMPARE(value(high, "level"), 0);
        QCOMPARE(high->currentPicture().pixel(1, 0), rgb(255, 255, 255));
        QCOMPARE(high->currentPicture().pixel(0, 0), rgb(0, 0, 0));

        // Zoom stretches the label only.
        QCOMPARE(label(high)->size(), QSize(8, 2));
        set(high, "zoom", 20);
        QCOMPARE(label(high)->size(), QSize(16, 4));
        set(high, "zoom", -50);
        QCOMPARE(label(high)->size(), QSize(4, 1));
        set(high, "zoom", -100);
        QCOMPARE(label(high)->size(), QSize(0, 0));
        QCOMPARE(high->currentPicture().size(), QSize(8, 2));
    }

    // Zoom factor 2: label (30, 41) is column 15, row 20, printed row first;
    // the click pairs move along; "o=" shows an overlay mark.
    void readoutAtZoomTwo() {
        ZOlttoolChildWindow *w = show(ramp(40, 30));
        w->reset();
        set(w, "zoom", 20);
        QString before = fx->console();
        release(w, QPoint(30, 41));
        QCOMPARE(fx->since(before),
                 QString("\nModified: [20 , 15] \t  [Bright = 112.657]\t  [R =  55.00 , G = 105.00 , B = 155.00]"
                         "\nOriginal: [20 , 15] \t  [Bright = 112.657]\t  [R =  55.00 , G = 105.00 , B = 155.00 "
                         "o=  0.00]"));
        QCOMPARE(fx->table->lastClick, QPoint(15, 20));
        release(w, QPoint(3, 2));
        QCOMPARE(fx->table->previousClick, QPoint(15, 20));
        QCOMPARE(fx->table->lastClick, QPoint(1, 1));

        // Outside the image, or at a zoom factor that is not positive: nothing.
        before = fx->console();
        release(w, QPoint(81, 2));
        set(w, "zoom", -100);
        release(w, QPoint(0, 0));
        QCOMPARE(fx->console(), before);
        QCOMPARE(fx->table->lastClick, QPoint(1, 1));

        // A mark drawn at factor 1 shows in the original line; Green moves the
        // modified values only.
        set(w, "zoom", 0);
        w->drawOverlay();
        drag(w, {QPoint(6, 6), QPoint(7, 6)});
        set(w, "green", 30);
        before = fx->console();
        release(w, QPoint(7, 6));
        QCOMPARE(fx->since(before),
                 QString("\nModified: [6 , 7] \t  [Bright = 90.043]\t  [R =  19.00 , G =  99.00 , B = 119.00]"
                         "\nOriginal: [6 , 7] \t  [Bright = 80.173]\t  [R =  19.00 , G =  69.00 , B = 119.00 "
                         "o=255.00]"));

        // Grey form for a 2-D image: six significant digits, only Bright counts.
        ZOlttoolChildWindow *g = show(makeImage("float", {3, 1}, {0, 123.456, 255}), 1);
        g->reset();
        before = fx->console();
        release(g, QPoint(1, 0));
        set(g, "bright", 30);
        release(g, QPoint(1, 0));
        QCOMPARE(fx->since(before), QString("\nModified: [0 , 1] \t  [Bright = 123.456]"
                                            "\nOriginal: [0 , 1] \t  [Bright = 123.456]"
                                            "\nModified: [0 , 1] \t  [Bright = 153.456]"
                                            "\nOriginal: [0 , 1] \t  [Bright = 123.456]"));
    }

    // One release opens the profile and then the histogram window; values
    // 4.99 and 5.0 fall in bins 0 and 1.
    void profileAndHistogramWindows() {
        ZOlttoolChildWindow *w = show(makeImage("float", {3, 1, 3}, {4.99, 5.0, 255, 0, 10, 20, 30, 40, 50}));
        w->reset();
        QAction *profile = act(w, "profileAct"), *histogram = act(w, "histogramAct");
        profile->trigger();
        QCOMPARE(profile->text(), QString("Profiler ON"));
        histogram->trigger();
        QCOMPARE(histogram->text(), QString("Histogram ON"));

        const QString before = fx->console();
        drag(w, {QPoint(0, 0), QPoint(1, 0), QPoint(2, 0)});
        QCOMPARE(fx->console(), before);  // plotted, not printed
        const QList<MainWindow *> made = plots(w);
        QCOMPARE(made.size(), 2);
        for (MainWindow *m : made) {
            QCOMPARE(m->windowTitle(), QString("QCustomPlot plot examples"));
            QVERIFY(m->isVisible());
            QCOMPARE(m->plot()->graphCount(), 3);
        }
        MainWindow *prof = made[0], *hist = made[1];
        QVERIFY(hist->pos() != prof->pos());  // the histogram does not hide the profile
        QCOMPARE(prof->plot()->xAxis->label(), QString("Data points"));
        QCOMPARE(prof->plot()->yAxis->label(), QString("RGB"));
        const std::vector<double> red = series(prof, 0);
        QCOMPARE(red.size(), size_t(3));
        QVERIFY(std::fabs(red[0] - 4.99) < 1e-4);
        QCOMPARE(red[2], 255.0);
        QCOMPARE(series(prof, 2), (std::vector<double>{30, 40, 50}));
        QCOMPARE(hist->plot()->xAxis->label(), QString("Histogram Bins"));
        QCOMPARE(hist->plot()->yAxis->label(), QString("Repititions"));
        std::vector<double> bins(52, 0.0);
        bins[0] = bins[1] = bins[51] = 1;
        QCOMPARE(series(hist, 0), bins);
        QCOMPARE(hist->plot()->yAxis->range().upper, 1.0);  // rescaled to the data

        // The next press with the profiler on starts a new path.
        drag(w, {QPoint(2, 0)});
        QCOMPARE(plots(w).size(), 4);
        QCOMPARE(series(plots(w)[2], 0).size(), size_t(1));
        profile->trigger();
        histogram->trigger();
        QCOMPARE(profile->text(), QString("Profiler OFF"));
        QCOMPARE(histogram->text(), QString("Histogram OFF"));

        // A 2-D image: green and blue come from its one frame.
        ZOlttoolChildWindow *g = show(makeImage("float", {2, 1}, {0, 255}), 1);
        g->reset();
        act(g, "profileAct")->trigger();
        drag(g, {QPoint(0, 0), QPoint(1, 0)});
        QCOMPARE(plots(g).size(), 1);
        QCOMPARE(series(plots(g)[0], 1), (std::vector<double>{0, 255}));
        QCOMPARE(series(plots(g)[0], 2), (std::vector<double>{0, 255}));
    }

    void overlayDrawAndRemove() {
        ZOlttoolChildWindow *w = show(ramp(80, 30));
        auto *frames = child<QSpinBox>(w, "frameSpin");
        auto *overlay = child<QCheckBox>(w, "overlayCheck");
        w->drawOverlay();
        QVERIFY(overlay->isChecked());
        QCOMPARE(act(w, "drawOverlayAct")->text(), QString("DrawOverlay ON"));
        QCOMPARE(frames->maximum(), 3);
        QCOMPARE(Zoltdimen(w->working(), 2), 4u);
        drag(w, {QPoint(1, 0), QPoint(79, 29)});  // frame 0: 1 and 137
        // Zoom factor 2: the mark would sit at label (70, 50), beyond the image, and is dropped.
        set(w, "zoom", 20);
        moveTo(w, QPoint(70, 50));
        set(w, "zoom", 0);

        w->drawOverlay();  // drawing off; the marks stay
        QCOMPARE(act(w, "drawOverlayAct")->text(), QString("DrawOverlay OFF"));
        overlay->setChecked(false);
        overlay->setChecked(true);
        QCOMPARE(w->currentPicture().pixel(1, 0), rgb(255, 0, 0));
        QCOMPARE(w->currentPicture().pixel(79, 29), rgb(118, 0, 0));  // 255 - 137 on bright pixels
        QCOMPARE(w->currentPicture().pixel(2, 0), rgb(2, 52, 102));
        const float *marks = static_cast<const float *>(w->working()->oltptr) + 3 * 80 * 30;
        QCOMPARE(std::count(marks, marks + 80 * 30, 255.0f), 2L);

        // Shift-press removes the overlay only while drawing.
        press(w, QPoint(0, 0), Qt::ShiftModifier);
        QCOMPARE(Zoltdimen(w->working(), 2), 4u);
        w->drawOverlay();
        press(w, QPoint(0, 0), Qt::ShiftModifier);
        QCOMPARE(Zoltdimen(w->working(), 2), 3u);
        QCOMPARE(frames->maximum(), 2);
        QCOMPARE(act(w, "drawOverlayAct")->text(), QString("DrawOverlay OFF"));
        QCOMPARE(w->currentPicture().pixel(1, 0), rgb(1, 51, 101));

        // A 2-D image is refused with a message.
        ZOlttoolChildWindow *flat = show(makeImage("float", {2, 2}, {0, 1, 2, 3}), 1);
        flat->drawOverlay();
        QCOMPARE(fx->messages(), QStringList{"Cannot overlay a 2D image, must be 3D or more"});
        QVERIFY(!fx->asked->log.last().hasParent);
        QCOMPARE(act(flat, "drawOverlayAct")->text(), QString("DrawOverlay OFF"));
        QVERIFY(child<QCheckBox>(flat, "overlayCheck")->isChecked());
    }

    void savesWriteBackAndToFiles() {
        const std::vector<double> v = {-40, -3.5, 0, 12.25, 60, 99, 100, 7, 8, 9, 10, 11, 12, 13, 14};
        ZOlttoolChildWindow *w = show(makeImage("float", {5, 1, 3}, v));
        w->reset();
        w->save();
        const std::vector<float> back = floats(fx->table->image(0));
        for (size_t i = 0; i < v.size(); ++i) QVERIFY2(std::fabs(back[i] - v[i]) < 1e-4, qPrintable(QString::number(i)));

        // The picture as shown, padding columns included.
        const QString png = fx->path("shown.png");
        QVERIFY(writeText(png, "old"));
        fx->asked->answer(png);
        w->saveBuffer();
        QCOMPARE(QImage(png).convertToFormat(QImage::Format_RGB32), w->currentPicture());
        QCOMPARE(fx->asked->log.last().title, QString("SaveAs File"));

        // ZOLT: the type named, 4 frames with the marks once an overlay exists.
        w->drawOverlay();
        moveTo(w, QPoint(2, 0));
        const QString zol = fx->path("shown.zol");
        fx->asked->answer(zol);
        fx->asked->answer("16bit");
        const mode_t mask = ::umask(022);
        w->saveBuffer();
        ::umask(mask);
        // A new file is readable by all, as any file the user makes.
        const QFile::Permissions seen = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                        QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
        QCOMPARE(QFile::permissions(zol) & seen, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        ZoltHeader *read = Zoltpin(QFile::encodeName(zol).constData());
        QVERIFY(read);
        QCOMPARE(read->dtype, uint32_t(ZOLT_S16));
        QCOMPARE((QList<unsigned>{Zoltdimen(read, 0), Zoltdimen(read, 1), Zoltdimen(read, 2)}),
                 (QList<unsigned>{8, 1, 4}));
        const QRgb p = w->currentPicture().pixel(6, 0);
        QCOMPARE(Zoltfgp3d(read, 0, 0, 6), double(qRed(p)));
        QCOMPARE(Zoltfgp3d(read, 2, 0, 6), double(qBlue(p)));
        QCOMPARE(Zoltfgp3d(read, 3, 0, 2), 255.0);
        QCOMPARE(Zoltfgp3d(read, 3, 0, 6), 0.0);  // padding: no mark
        Zoltfree(read, 7);
        QCOMPARE(fx->asked->texts(ScriptedPrompt::Text), QStringList{"ZOLT data type:"});

        // A 2-D picture goes out as 3 frames; a write that fails says so.
        ZOlttoolChildWindow *g = show(makeImage("float", {2, 2}, {0, 1, 2, 3}), 1);
        for (const char *file : {"grey.Zol", "grey.zolt"}) {  // both read back as ZOLT files
            fx->asked->answer(fx->path(file));
            g->saveBuffer();
            read = Zoltpin(QFile::encodeName(fx->path(file)).constData());
            QVERIFY2(read, file);
            QCOMPARE(Zoltdimen(read, 2), 3u);
            Zoltfree(read, 7);
        }
        fx->asked->answer(fx->path("no/such/dir.zol"));
        g->saveBuffer();
        QCOMPARE(fx->messages(), QStringList{"output of file to disk failed"});
        QCOMPARE(QDir(fx->home.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"grey.Zol", "grey.zolt", "shown.png", "shown.zol"}));
    }
};

QTEST_MAIN(TestViewerWork)
#include "test_viewerwork.moc"
