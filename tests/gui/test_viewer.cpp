// The View command and the viewer window: refusals, replacement, registry,
// the first picture of each kind of image (padding, one-row images, frame
// counts), the working copy, the window's size and title, the dock and the
// tool bar, and the switch between colour and single frames.
#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSlider>
#include <QSpinBox>
#include <QToolBar>
#include <QtTest>
#include <memory>
#include <vector>

#include "bufferfixture.h"
#include "childwindow.h"
#include "displayimage.h"

namespace {

// Level of v on a linear scale from lo (0) to hi (255), truncated: the working
// copy's scale.
int level(double v, double lo, double hi) { return static_cast<int>((v - lo) * 255.0 / (hi - lo)); }

// The same for the first picture, whose 8-bit scale is worked in single
// precision (255 / (hi - lo) first, then the product), so it may fall one short.
int pictureLevel(float v, float lo, float hi) {
    const float scale = 255.0f / (hi - lo);
    return static_cast<int>((v - lo) * scale);
}

QRgb grey(int v) { return qRgb(v, v, v); }

}  // namespace

class TestViewer : public QObject {
    Q_OBJECT

    std::unique_ptr<PanelFixture> fx;

    ZOlttoolChildWindow *viewerOf(int slot) const {
        return qobject_cast<ZOlttoolChildWindow *>(fx->table->viewer(slot));
    }
    // Puts an image into buffer `slot` and views it through the View command.
    ZOlttoolChildWindow *show(ZoltHeader *img, int slot = 0, const QString &name = "x.zol") {
        fx->table->install(slot, img);
        fx->table->names[slot] = name;
        fx->select("output", slot);
        fx->win->view();
        return viewerOf(slot);
    }
    template <typename T>
    static T *child(QObject *viewer, const char *name) {
        T *w = viewer->findChild<T *>(name);
        if (!w)
            qWarning("no child %s", name);
        return w;
    }

private slots:
    void init() {
        fx = std::make_unique<PanelFixture>();
        fx->win->show();
    }

    void cleanup() { fx.reset(); }

    // ------------------------------------------------------- the View command

    void emptyBufferMakesNoViewer() {
        fx->win->view();
        QVERIFY(viewerOf(0) == nullptr);
        QVERIFY(fx->asked->log.isEmpty());
        QVERIFY(fx->win->findChildren<ZOlttoolChildWindow *>().isEmpty());
    }

    // A complex buffer is refused with the message, and the viewer it had goes.
    void complexRefused() {
        for (const char *type : {"complex", "64cmp"}) {
            QPointer<ZOlttoolChildWindow> old = show(makeImage("float", {2, 2}, {0, 1, 2, 3}));
            QVERIFY(old);
            // Change the buffer's image behind the viewer's back, as an operation does.
            Zoltfree(fx->table->images[0], 7);
            fx->table->images[0] = makeImage(type, {2, 2});
            fx->asked->log.clear();
            fx->win->view();
            QVERIFY(old.isNull());
            QVERIFY(viewerOf(0) == nullptr);
            QCOMPARE(fx->asked->texts(ScriptedPrompt::Message),
                     QStringList{"Complex images cannot be viewed. Use complex pull down"});
            QVERIFY(fx->asked->log.first().hasParent);
        }
    }

    void oldViewerReplaced() {
        QPointer<ZOlttoolChildWindow> first = show(makeImage("float", {3, 2}, {1, 2, 3, 4, 5, 6}));
        QVERIFY(first);
        fx->win->view();
        QVERIFY(first.isNull());
        ZOlttoolChildWindow *second = viewerOf(0);
        QVERIFY(second);
        QCOMPARE(fx->win->findChildren<ZOlttoolChildWindow *>().size(), 1);
        QVERIFY(second->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(second->isVisible());
        QCOMPARE(fx->table->viewerSlot(second), 0);
    }

    void closingDeregisters() {
        QPointer<ZOlttoolChildWindow> v = show(makeImage("float", {3, 2}, {1, 2, 3, 4, 5, 6}), 3);
        QVERIFY(v);
        QCOMPARE(fx->table->viewerSlot(v), 3);
        v->close();
        QTRY_VERIFY(v.isNull());
        QVERIFY(fx->table->viewer(3) == nullptr);
        QVERIFY(fx->table->hasImage(3));  // the buffer keeps its image

        // Refilling a buffer closes its viewer too.
        v = show(makeImage("float", {2, 1}, {1, 2}), 4);
        fx->table->install(4, makeImage("float", {2, 1}, {3, 4}));
        QVERIFY(v.isNull());
        QVERIFY(fx->table->viewer(4) == nullptr);
    }

    // ------------------------------------------------------- the first picture

    // Width 5 is shown 8 wide; the added columns repeat column 4.
    void widthFivePaddedToEight() {
        std::vector<double> v;
        for (int i = 0; i < 15; ++i)
            v.push_back(i);  // row r, column c holds c + 5r
        ZOlttoolChildWindow *w = show(makeImage("float", {5, 3}, v));
        const QImage &pic = w->currentPicture();
        QCOMPARE(pic.size(), QSize(8, 3));
        QCOMPARE(pic.format(), QImage::Format_RGB32);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 5; ++c)
                QCOMPARE(pic.pixel(c, r), grey(pictureLevel(c + 5 * r, 0, 14)));
            for (int c = 5; c < 8; ++c)
                QCOMPARE(pic.pixel(c, r), pic.pixel(4, r));
        }
        QCOMPARE(child<QLabel>(w, "imageLabel")->size(), QSize(8, 3));

        // The same picture comes from makeDisplayImage directly.
        std::unique_ptr<QImage> direct(makeDisplayImage(fx->table->image(0), 0, 0));
        QVERIFY(direct);
        QCOMPARE(*direct, pic);
        QVERIFY(makeColourImage(fx->table->image(0)) == nullptr);  // not 3 frames
    }

    void oneDimensionalIsOneRowHigh() {
        ZOlttoolChildWindow *w = show(makeImage("float", {6}, {4, -2, 0, 10, 1, 3}));
        QVERIFY(w);
        const QImage &pic = w->currentPicture();
        QCOMPARE(pic.size(), QSize(8, 1));
        const float v[6] = {4, -2, 0, 10, 1, 3};
        for (int c = 0; c < 6; ++c)
            QCOMPARE(pic.pixel(c, 0), grey(pictureLevel(v[c], -2, 10)));
        QCOMPARE(pic.pixel(7, 0), pic.pixel(5, 0));
        auto *frames = child<QSpinBox>(w, "frameSpin");
        QCOMPARE(frames->maximum(), 0);

        // Single-frame mode draws the working copy of the one row.
        child<QCheckBox>(w, "colorCheck")->setChecked(false);
        QVERIFY(frames->isEnabled());
        QCOMPARE(w->currentPicture().pixel(3, 0), grey(255));
        QCOMPARE(w->currentPicture().pixel(1, 0), grey(0));
        QCOMPARE(w->currentPicture().pixel(0, 0), grey(level(4, -2, 10)));
    }

    // Two frames show red and green from the working copy (one scale over both).
    void twoFramesShowWhatTheyHave() {
        const std::vector<double> v = {0, 10, 20, 30, /* frame 1 */ 40, 50, 60, 80};
        ZOlttoolChildWindow *w = show(makeImage("float", {2, 2, 2}, v));
        const QImage &pic = w->currentPicture();
        QCOMPARE(pic.size(), QSize(4, 2));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(pic.pixel(i % 2, i / 2), qRgb(level(v[i], 0, 80), level(v[4 + i], 0, 80), 0));
        auto *frames = child<QSpinBox>(w, "frameSpin");
        QCOMPARE(frames->minimum(), 0);
        QCOMPARE(frames->maximum(), 1);
        QVERIFY(!frames->isEnabled());

        child<QCheckBox>(w, "colorCheck")->setChecked(false);
        QVERIFY(frames->isEnabled());
        QCOMPARE(w->currentPicture().pixel(1, 1), grey(level(30, 0, 80)));
        frames->setValue(1);
        QCOMPARE(w->curFrame, 1);
        QCOMPARE(w->currentPicture().pixel(1, 1), grey(255));
        QCOMPARE(w->currentPicture().pixel(0, 0), grey(level(40, 0, 80)));
        frames->setValue(5);  // beyond the range: stays at 1
        QCOMPARE(w->curFrame, 1);
    }

    // The first picture of a 3-D image is the working copy, one linear scale
    // over all frames; frames past the third are not drawn; padding columns
    // repeat the last column.
    void fiveFramesShowFramesZeroToTwo() {
        std::vector<double> v(3 * 1 * 5);
        for (int f = 0; f < 5; ++f)
            for (int c = 0; c < 3; ++c)
                v[f * 3 + c] = 10 * f + c;  // 0 .. 42
        ZOlttoolChildWindow *w = show(makeImage("float", {3, 1, 5}, v));
        const QImage &pic = w->currentPicture();
        QCOMPARE(pic.size(), QSize(4, 1));
        for (int c = 0; c < 3; ++c)
            QCOMPARE(pic.pixel(c, 0), qRgb(level(c, 0, 42), level(10 + c, 0, 42), level(20 + c, 0, 42)));
        QCOMPARE(pic.pixel(3, 0), pic.pixel(2, 0));
        QCOMPARE(child<QSpinBox>(w, "frameSpin")->maximum(), 4);
        QCOMPARE(w->originalMax(), 42.0f);
        QCOMPARE(w->originalMin(), 0.0f);

        child<QCheckBox>(w, "colorCheck")->setChecked(false);
        child<QSpinBox>(w, "frameSpin")->setValue(4);
        QCOMPARE(w->currentPicture().pixel(2, 0), grey(255));
        QCOMPARE(w->curFrame, 4);
    }

    void threeFramesInColourAndByFrame() {
        const std::vector<double> v = {-10, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
        ZOlttoolChildWindow *w = show(makeImage("float", {2, 2, 3}, v));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(w->currentPicture().pixel(i % 2, i / 2),
                     qRgb(level(v[i], -10, 100), level(v[4 + i], -10, 100), level(v[8 + i], -10, 100)));
        std::unique_ptr<QImage> colour(makeColourImage(fx->table->image(0)));
        QVERIFY(colour);
        QCOMPARE(colour->pixel(1, 1), qRgb(pictureLevel(20, -10, 100), pictureLevel(60, -10, 100), 255));

        auto *frames = child<QSpinBox>(w, "frameSpin");
        QCOMPARE(frames->maximum(), 2);
        child<QCheckBox>(w, "colorCheck")->setChecked(false);
        QCOMPARE(w->currentPicture().pixel(0, 0), grey(0));
        frames->setValue(2);
        QCOMPARE(w->currentPicture().pixel(0, 1), grey(level(90, -10, 100)));

        // Colour back on: the frame chooser is locked and the controls are back
        // at their start (the picture itself returns with the adjustments' redraw).
        child<QCheckBox>(w, "colorCheck")->setChecked(true);
        QVERIFY(!frames->isEnabled());
        QCOMPARE(child<QSlider>(w, "windowSlider")->value(), 255);
        QCOMPARE(child<QSpinBox>(w, "windowSpin")->value(), 255);
        QCOMPARE(child<QSlider>(w, "levelSlider")->value(), 0);
    }

    // A flat image shows black and a "u8bit" buffer gets a true working copy.
    void flatAndByteImages() {
        ZOlttoolChildWindow *w = show(makeImage("float", {3, 2, 3}, std::vector<double>(18, 7.0)));
        QCOMPARE(w->originalMax(), 7.0f);
        QCOMPARE(w->originalMin(), 7.0f);
        for (int c = 0; c < 4; ++c)
            QCOMPARE(w->currentPicture().pixel(c, 1), grey(0));

        w = show(makeImage("u8bit", {1, 1, 3}, {10, 20, 15}), 1);
        QCOMPARE(w->currentPicture().pixel(0, 0), qRgb(0, 255, 127));
        QCOMPARE(w->originalMax(), 20.0f);
    }

    // --------------------------------------------------------- the window

    void windowSizeFollowsTheWidth() {
        ZOlttoolChildWindow *wide = show(makeImage("float", {1300, 2}), 0);
        QCOMPARE(wide->width(), 1280);
        QCOMPARE(wide->height(), 320);
        ZOlttoolChildWindow *narrow = show(makeImage("float", {1024, 2}), 1);
        QCOMPARE(narrow->width(), 1354);
        QCOMPARE(narrow->height(), 320);
    }

    void titleDockAndToolBar() {
        ZOlttoolChildWindow *w = show(makeImage("float", {4, 4}), 2, "a.zol");
        QCOMPARE(w->windowTitle(), QString("2:a.zol"));
        QCOMPARE(fx->table->viewerSlot(w), 2);

        auto *dock = child<QDockWidget>(w, "Operations");
        QCOMPARE(dock->windowTitle(), QString("Operations"));
        QCOMPARE(dock->features(), QDockWidget::NoDockWidgetFeatures);
        QCOMPARE(w->dockWidgetArea(dock), Qt::RightDockWidgetArea);
        QStringList groups;
        for (QGroupBox *g : dock->widget()->findChildren<QGroupBox *>(QString(), Qt::FindDirectChildrenOnly))
            groups << g->title();
        QCOMPARE(groups, (QStringList{"Display", "RGB", "Edit"}));

        auto *bar = child<QToolBar>(w, "Edit");
        QCOMPARE(bar->windowTitle(), QString("Edit"));
        QStringList texts;
        for (QAction *a : bar->actions())
            texts << a->text();
        QCOMPARE(texts, (QStringList{"Profiler OFF", "Histogram Off", "DrawOverlay Off", "Reset", "Save",
                                     "SaveWorkingImage"}));
    }

    void controlsStartValuesAndLinks() {
        ZOlttoolChildWindow *w = show(makeImage("float", {4, 4}));
        auto *colour = child<QCheckBox>(w, "colorCheck");
        auto *overlay = child<QCheckBox>(w, "overlayCheck");
        QVERIFY(colour->isChecked());
        QVERIFY(!overlay->isChecked());
        QVERIFY(!colour->autoExclusive());
        auto *frames = child<QSpinBox>(w, "frameSpin");
        QVERIFY(!frames->isEnabled());
        QCOMPARE(frames->maximum(), 0);

        // Window and its spin box both at 255, the width the first picture is
        // drawn with; Level gets the room the image's range leaves (none here).
        QCOMPARE(child<QSlider>(w, "windowSlider")->value(), 255);
        QCOMPARE(child<QSpinBox>(w, "windowSpin")->value(), 255);
        QCOMPARE(child<QSlider>(w, "levelSlider")->maximum(), 0);
        QCOMPARE(child<QSpinBox>(w, "levelSpin")->maximum(), 0);
        QCOMPARE(child<QSlider>(w, "levelSlider")->minimum(), 0);
        QCoreApplication::processEvents();

        for (const char *name : {"bright", "warm", "cool", "red", "green", "blue", "zoom"}) {
            auto *slider = child<QSlider>(w, (QString(name) + "Slider").toLatin1());
            auto *spin = child<QSpinBox>(w, (QString(name) + "Spin").toLatin1());
            QCOMPARE(slider->minimum(), -255);
            QCOMPARE(slider->maximum(), 255);
            QCOMPARE(slider->orientation(), Qt::Horizontal);
            // Wide enough for the longest value of the range: "-255".
            const QLineEdit *edit = spin->findChild<QLineEdit *>();
            QVERIFY2(edit->width() >= spin->fontMetrics().horizontalAdvance("-255"), name);
            QCOMPARE(spin->singleStep(), 10);
            QCOMPARE(spin->font().pointSize(), 10);
        }
        QCOMPARE(child<QSlider>(w, "greenSlider")->singleStep(), QSlider().singleStep());
        QCOMPARE(child<QSlider>(w, "brightSlider")->singleStep(), 10);

        // Each slider and its spin box follow one another.
        child<QSpinBox>(w, "brightSpin")->setValue(30);
        QCOMPARE(child<QSlider>(w, "brightSlider")->value(), 30);
        child<QSlider>(w, "zoomSlider")->setValue(-40);
        QCOMPARE(child<QSpinBox>(w, "zoomSpin")->value(), -40);

        // A 2-D image leaves only Bright of the colour controls on.
        QVERIFY(child<QSlider>(w, "brightSlider")->isEnabled());
        for (const char *name : {"warm", "cool", "red", "green", "blue"}) {
            QVERIFY(!child<QSlider>(w, (QString(name) + "Slider").toLatin1())->isEnabled());
            QVERIFY(!child<QSpinBox>(w, (QString(name) + "Spin").toLatin1())->isEnabled());
        }
        ZOlttoolChildWindow *colourViewer = show(makeImage("float", {2, 2, 3}), 1);
        QVERIFY(child<QSlider>(colourViewer, "blueSlider")->isEnabled());
    }
};

QTEST_MAIN(TestViewer)
#include "test_viewer.moc"
