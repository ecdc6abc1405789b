// The viewer window: construction of the picture area, the dock of display
// controls and the "Edit" tool bar; drawing the working copy in colour or one
// frame in grey; the switches between the two; destruction and deregistration.
#include "childwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "buffertable.h"
#include "display.h"
#include "displayimage.h"
#include "mainwindow.h"
#include "zolt.h"

ZOlttoolChildWindow::ZOlttoolChildWindow(ZOlttoolMainWindow *panel_, QImage *display, int buffer)
    : QMainWindow(panel_), panel(panel_) {
    buffers = panel ? panel->table() : BufferTable::instance();
    const ZoltHeader *source = buffers ? buffers->image(buffer) : nullptr;

    // The working copy: same dimensions as the buffer image, values 0..255.
    int *dims = source ? Zoltsiz(source) : nullptr;
    if (dims) {
        workImage = Zoltcreate("float", dims, 11, 0);
        Zoltcfree(dims);
    }
    if (workImage)
        scaleToWorking(source, workImage, 255.0f, 0.0f, &origMax, &origMin);
    initialImage = display ? display : new QImage();

    const QString name = buffers && buffer >= 0 && buffer < BufferTable::Buffers
                             ? buffers->names[buffer] : QString();
    setWindowTitle(QString::number(buffer) + ":" + name);

    imageLabel = new QLabel;
    imageLabel->setObjectName("imageLabel");
    imageLabel->setBackgroundRole(QPalette::Base);
    imageLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    imageLabel->setScaledContents(true);
    scrollArea = new QScrollArea;
    scrollArea->setObjectName("pictureArea");
    scrollArea->setBackgroundRole(QPalette::Dark);
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollArea->setWidget(imageLabel);
    setCentralWidget(scrollArea);

    createDock();
    redOffset = greenOffset = blueOffset = 0;
    profileOn = overlayDrawOn = histogramOn = false;
    curFrame = 0;
    createActions();
    createControls();

    const bool is3d = workImage && workImage->oltndim == 3;
    if (!is3d) {
        for (const Control *c : {&warmCtl, &coolCtl, &redCtl, &greenCtl, &blueCtl}) {
            c->slider->setEnabled(false);
            c->spin->setEnabled(false);
        }
    }
    frameSpin->setRange(0, is3d ? static_cast<int>(Zoltdimen(workImage, 2)) - 1 : 0);

    const int columns = workImage ? workImage->oltdim[0].dimlen : 0;
    const QSize usual(columns > 1024 ? 1280 : columns + 330, 320);
    resize(usual);

    if (colorCheck->isChecked()) {
        showPicture();
        imageLabel->resize(initialImage->size());
    }
    NewImage();
    show();
    resize(roomFor(usual));  // the dock's true width is known once it is shown
}

ZOlttoolChildWindow::~ZOlttoolChildWindow() {
    hide();
    takeCentralWidget();
    delete scrollArea;  // the label goes with it
    imageLabel = nullptr;
    scrollArea = nullptr;
    delete initialImage;
    initialImage = nullptr;
    if (workImage)
        Zoltfree(workImage, 7);
    workImage = nullptr;
    if (buffers)
        buffers->removeViewer(this);
}

QSize ZOlttoolChildWindow::roomFor(QSize usual) const {
    // The dock and the tool bar take more than the usual allowance with
    // today's fonts; grow to show the whole picture beside the dock and every
    // tool-bar button, as far as the screen has room, never below the usual
    // size. The picture itself is not changed.
    const int frame = 2 * scrollArea->frameWidth();
    const int dockWidth = dock->widget()->sizeHint().width() + style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent);
    const int bar = editToolBar->sizeHint().height();
    const int wantWidth = std::max(initialImage->width() + frame + dockWidth, editToolBar->sizeHint().width());
    const int wantHeight = initialImage->height() + frame + bar;
    QSize room(wantWidth, wantHeight);
    const QWidget *near = panel ? static_cast<const QWidget *>(panel) : this;
    if (const QScreen *screen = near->screen()) room = room.boundedTo(screen->availableGeometry().size());
    return usual.expandedTo(room);
}

void ZOlttoolChildWindow::createDock() {
    dock = new QDockWidget(tr("Operations"), this);
    dock->setObjectName("Operations");
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    addDockWidget(Qt::RightDockWidgetArea, dock, Qt::Vertical);

    auto *holder = new QGroupBox;
    auto *stack = new QVBoxLayout(holder);
    const char *titles[3] = {QT_TR_NOOP("Display"), QT_TR_NOOP("RGB"), QT_TR_NOOP("Edit")};
    QGridLayout **grids[3] = {&displayGrid, &rgbGrid, &editGrid};
    for (int i = 0; i < 3; ++i) {
        auto *group = new QGroupBox(tr(titles[i]));
        group->setObjectName(titles[i]);
        *grids[i] = new QGridLayout(group);
        stack->addWidget(group);
    }
    dock->setWidget(holder);
}

void ZOlttoolChildWindow::createActions() {
    struct Item {
        const char *text;
        const char *name;
        void (ZOlttoolChildWindow::*slot)();
        QAction **act;
    };
    const Item items[] = {
        {QT_TR_NOOP("Profiler OFF"), "profileAct", &ZOlttoolChildWindow::profile, &profileAct},
        {QT_TR_NOOP("Histogram Off"), "histogramAct", &ZOlttoolChildWindow::histogram, &histogramAct},
        {QT_TR_NOOP("DrawOverlay Off"), "drawOverlayAct", &ZOlttoolChildWindow::drawOverlay, &drawOverlayAct},
        {QT_TR_NOOP("Reset"), "resetAct", &ZOlttoolChildWindow::reset, &resetAct},
        {QT_TR_NOOP("Save"), "saveAct", &ZOlttoolChildWindow::save, &saveAct},
        {QT_TR_NOOP("SaveWorkingImage"), "saveBufferAct", &ZOlttoolChildWindow::saveBuffer, &saveBufferAct},
    };
    editToolBar = addToolBar(tr("Edit"));
    editToolBar->setObjectName("Edit");
    for (const Item &item : items) {
        QAction *act = new QAction(tr(item.text), this);
        act->setObjectName(item.name);
        connect(act, &QAction::triggered, this, item.slot);
        *item.act = act;
        editToolBar->addAction(act);
    }
}

ZOlttoolChildWindow::Control ZOlttoolChildWindow::addControl(QGridLayout *grid, int row,
                                                             const QString &text,
                                                             const QString &name) {
    Control c;
    c.label = new QLabel(text);
    c.slider = new QSlider(Qt::Horizontal);
    c.slider->setObjectName(name + "Slider");
    c.slider->setRange(-255, 255);
    c.slider->setValue(0);
    c.spin = new QSpinBox;
    c.spin->setObjectName(name + "Spin");
    c.spin->setRange(-255, 255);
    c.spin->setSingleStep(10);
    c.spin->setValue(0);
    grid->addWidget(c.label, row, 0);
    grid->addWidget(c.slider, row, 2, 1, 7);
    grid->addWidget(c.spin, row, 9);
    return c;
}

void ZOlttoolChildWindow::link(const Control &c) {
    connect(c.spin, QOverload<int>::of(&QSpinBox::valueChanged), c.slider, &QSlider::setValue);
    connect(c.slider, &QSlider::valueChanged, c.spin, &QSpinBox::setValue);
}

void ZOlttoolChildWindow::createControls() {
    // Group "Display": frame chooser, the two switches, Bright, Warm, Cool.
    frameLabel = new QLabel(tr("Frame No"));
    frameSpin = new QSpinBox;
    frameSpin->setObjectName("frameSpin");
    frameSpin->setRange(0, 200);
    frameSpin->setSingleStep(1);
    frameSpin->setValue(0);
    frameSpin->setToolTip(tr("Select frame to be displayed (if not displaying color)"));
    frameSpin->setEnabled(false);
    auto makeSwitch = [](const QString &text, const char *name, bool on, const QString &tip) {
        auto *box = new QCheckBox(text);
        box->setObjectName(name);
        box->setCheckable(true);
        box->setAutoExclusive(false);
        box->setChecked(on);
        box->setToolTip(tip);
        return box;
    };
    colorCheck = makeSwitch(tr("Color"), "colorCheck", true,
                            tr("If checked, 3 frame images will be displayed as color\n else as a set of frames."));
    overlayCheck = makeSwitch(tr("Overlay"), "overlayCheck", false,
                              tr("If checked, the 4th frame will be overlayed."));
    displayGrid->addWidget(frameLabel, 0, 0);
    displayGrid->addWidget(frameSpin, 0, 2);
    displayGrid->addWidget(colorCheck, 0, 5);
    displayGrid->addWidget(overlayCheck, 0, 7);

    brightCtl = addControl(displayGrid, 1, tr("Bright"), "bright");
    warmCtl = addControl(displayGrid, 2, tr("Warm"), "warm");
    coolCtl = addControl(displayGrid, 3, tr("Cool"), "cool");
    redCtl = addControl(rgbGrid, 0, tr("Red"), "red");
    greenCtl = addControl(rgbGrid, 1, tr("Green"), "green");
    blueCtl = addControl(rgbGrid, 2, tr("Blue"), "blue");
    zoomCtl = addControl(editGrid, 0, tr("Zoom"), "zoom");
    levelCtl = addControl(editGrid, 1, tr("contrLevel"), "level");
    windowCtl = addControl(editGrid, 2, tr("contrWindow"), "window");

    // Green and Blue sliders keep the toolkit's own step; the others step by 10.
    for (const Control *c : {&brightCtl, &warmCtl, &coolCtl, &redCtl, &zoomCtl, &levelCtl, &windowCtl})
        c->slider->setSingleStep(10);
    levelCtl.slider->setRange(0, 1024);
    levelCtl.spin->setRange(0, 255);
    // The window starts at its full width, as the first picture is drawn.
    windowCtl.slider->setRange(0, 255);
    windowCtl.slider->setValue(255);
    windowCtl.spin->setRange(0, 255);
    windowCtl.spin->setValue(255);

    QFont small = brightCtl.label->font();
    small.setPointSize(10);
    frameLabel->setFont(small);
    for (const Control *c : {&brightCtl, &warmCtl, &coolCtl, &redCtl, &greenCtl, &blueCtl,
                             &zoomCtl, &levelCtl, &windowCtl}) {
        c->label->setFont(small);
        c->spin->setFont(small);
        c->spin->setMinimumWidth(c->spin->sizeHint().width());  // room for "-255" in this font
    }

    // Links first, so a spin box follows its slider before the slider's slot runs.
    for (const Control *c : {&brightCtl, &warmCtl, &coolCtl, &redCtl, &greenCtl, &blueCtl,
                             &zoomCtl, &levelCtl, &windowCtl})
        link(*c);
    rangeLevel();

    connect(brightCtl.slider, &QSlider::valueChanged, this, &ZOlttoolChildWindow::bright);
    connect(coolCtl.slider, &QSlider::valueChanged, this, &ZOlttoolChildWindow::cool);
    connect(warmCtl.slider, &QSlider::valueChanged, this, &ZOlttoolChildWindow::warm);
    connect(colorCheck, &QCheckBox::stateChanged, this, &ZOlttoolChildWindow::checkIt);
    connect(overlayCheck, &QCheckBox::stateChanged, this, &ZOlttoolChildWindow::overlayIt);
    connect(redCtl.slider, &QSlider::valueChanged, this, &ZOlttoolChildWindow::changeR);
    connect(greenCtl.spin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ZOlttoolChildWindow::changeG);
    connect(blueCtl.spin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ZOlttoolChildWindow::changeB);
    connect(frameSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ZOlttoolChildWindow::NewFrame);
    connect(zoomCtl.slider, &QSlider::valueChanged, this, &ZOlttoolChildWindow::zoom);
    connect(levelCtl.slider, &QSlider::valueChanged, this, &ZOlttoolChildWindow::level);
    connect(windowCtl.slider, &QSlider::valueChanged, this, &ZOlttoolChildWindow::window);
}

void ZOlttoolChildWindow::showPicture() { imageLabel->setPixmap(QPixmap::fromImage(*initialImage)); }

void ZOlttoolChildWindow::NewImage() {
    if (workImage && workImage->oltndim == 3) {
        const double factor = zoomFactor(zoomCtl.slider->value());
        std::printf("scale = %f\n", factor);
        ZoltPictureRows rows = pictureRows(*initialImage);
        if (Zoltdimen(workImage, 2) == 4 && overlayCheck->isChecked()) {
            ZoltDrawOverlayMarks(workImage, factor, rows);
        } else {
            // Drawn with the settings in force; neutral ones draw the working values.
            lastAdjusted = Adjusted();
            applyAdjustments(redCtl.slider->value(), greenCtl.slider->value(), blueCtl.slider->value());
        }
    }
    showPicture();
    curFrame = frameSpin->value();
}

// The frame of the frame spin box, drawn with the settings in force.
void ZOlttoolChildWindow::NewFrame(int) {
    lastAdjusted = Adjusted();
    applyAdjustments(redCtl.slider->value(), greenCtl.slider->value(), blueCtl.slider->value());
    curFrame = frameSpin->value();
}

void ZOlttoolChildWindow::checkIt() {
    if (colorCheck->isChecked()) {
        frameSpin->setEnabled(false);
        neutralAdjustments();  // the colour picture returns with the redraws this triggers
    } else {
        frameSpin->setEnabled(true);
        NewFrame(frameSpin->value());
    }
}

void ZOlttoolChildWindow::overlayIt() { NewImage(); }
