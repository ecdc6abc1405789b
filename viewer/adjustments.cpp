// Display adjustments of the viewer: brightness, warmth, coolness, the colour
// offsets, level and window, zoom and reset. Every change redraws the picture
// from the working copy; nothing here changes an image.
#include "childwindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QPixmap>
#include <QSlider>
#include <QSpinBox>
#include <algorithm>
#include <cmath>
#include <climits>

#include "adjust.h"
#include "display.h"
#include "displayimage.h"

namespace {

// A value truncated toward zero and held inside the int range.
int truncated(double v) {
    if (!(v == v)) return 0;
    if (v >= double(INT_MAX)) return INT_MAX;
    if (v <= double(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}

}  // namespace

ZoltLevelWindow ZOlttoolChildWindow::levelWindow() const {
    return ZoltLevelWindowOf(levelCtl.slider->value(), windowCtl.slider->value());
}

QImage &ZOlttoolChildWindow::pictureToDraw() {
    imageLabel->setPixmap(QPixmap());
    return *initialImage;
}

double ZOlttoolChildWindow::currentZoom() const { return zoomFactor(zoomCtl.slider->value()); }

void ZOlttoolChildWindow::applyAdjustments(int red, int green, int blue) {
    // Bright, Warm and Cool set the colour controls after drawing, and each of
    // those asks for the same picture again: draw it once.
    Adjusted now;
    now.key = initialImage->cacheKey();
    now.offsets[0] = red;
    now.offsets[1] = green;
    now.offsets[2] = blue;
    now.level = levelCtl.slider->value();
    now.window = windowCtl.slider->value();
    // With Color off a 3-D image shows the chosen frame in grey, with the red
    // offset as a 2-D image has it.
    now.frame = workImage && workImage->oltndim == 3 && !colorCheck->isChecked() ? frameSpin->value() : -1;
    if (!(workImage && now == lastAdjusted)) {
        QImage &picture = pictureToDraw();
        if (workImage && now.frame >= 0)
            ZoltApplyAdjustmentsFrame(workImage, now.frame, red, levelWindow(), pictureRows(picture));
        else if (workImage)
            ZoltApplyAdjustments(workImage, now.offsets, levelWindow(), pictureRows(picture));
        showPicture();
        now.key = initialImage->cacheKey();  // any later drawing changes it
        lastAdjusted = now;
    }
    redOffset = red;
    greenOffset = green;
    blueOffset = blue;
}

// Bright, Warm and Cool share one behaviour: Bright raises every channel, Warm
// red and green, Cool blue; the colour controls then show the sums.
void ZOlttoolChildWindow::bright(int) {
    const int b = brightCtl.slider->value();
    const int w = warmCtl.slider->value();
    const int k = coolCtl.slider->value();
    applyAdjustments(b + w, b + w, b + k);
    syncing = true;
    redCtl.slider->setValue(redOffset);
    greenCtl.slider->setValue(greenOffset);
    blueCtl.slider->setValue(blueOffset);
    syncing = false;
}

void ZOlttoolChildWindow::warm(int value) { bright(value); }
void ZOlttoolChildWindow::cool(int value) { bright(value); }

// A colour control replaces its own channel's offset; the other two channels
// keep the offsets their controls show, so every colour control is the offset
// in force and a control moved back gives back the picture it started from.
void ZOlttoolChildWindow::changeR(int value) {
    if (!syncing) applyAdjustments(value, greenCtl.slider->value(), blueCtl.slider->value());
}

void ZOlttoolChildWindow::changeG(int value) {
    if (!syncing) applyAdjustments(redCtl.slider->value(), value, blueCtl.slider->value());
}

void ZOlttoolChildWindow::changeB(int value) {
    if (!syncing) applyAdjustments(redCtl.slider->value(), greenCtl.slider->value(), value);
}

void ZOlttoolChildWindow::level() {
    applyAdjustments(redCtl.slider->value(), greenCtl.slider->value(), blueCtl.slider->value());
}

// The Level control follows the buffer image's own value range, less the
// window. It always keeps 0 within reach: Reset and the Color switch return
// Level to 0, and an image whose values all lie above 0 (or below the window)
// would otherwise be drawn black or shifted ever after.
void ZOlttoolChildWindow::rangeLevel() {
    levelCtl.slider->setMaximum(truncated(origMax));
    levelCtl.slider->setMinimum(truncated(origMin));
    const float top = origMax - static_cast<float>(windowCtl.slider->value());
    const int low = std::min(0, truncated(origMin)), high = std::max(0, truncated(top));
    levelCtl.slider->setRange(low, high);
    levelCtl.spin->setRange(low, high);
    levelCtl.spin->setMinimumWidth(levelCtl.spin->sizeHint().width());
}

void ZOlttoolChildWindow::window() {
    rangeLevel();
    applyAdjustments(redCtl.slider->value(), greenCtl.slider->value(), blueCtl.slider->value());
}

// The label is stretched; the picture keeps the image's resolution. Above
// factor 1 the scroll area around it pans.
void ZOlttoolChildWindow::zoom(int value) {
    const double f = zoomFactor(value);
    const QSize size = initialImage->size();
    const auto scaled = [f](int n) { return std::max(0, truncated(std::round(n * f))); };
    imageLabel->resize(scaled(size.width()), scaled(size.height()));
}

void ZOlttoolChildWindow::neutralAdjustments() {
    for (const Control *c : {&brightCtl, &warmCtl, &coolCtl, &redCtl, &greenCtl, &blueCtl})
        c->slider->setValue(0);
    // 254 first, so the window redraw runs even when it already stood at 255.
    windowCtl.slider->setValue(254);
    windowCtl.slider->setValue(255);
    levelCtl.slider->setValue(0);
}

void ZOlttoolChildWindow::reset() {
    neutralAdjustments();
    zoomCtl.slider->setValue(0);
}
