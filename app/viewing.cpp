// The View command: a viewer window for the Output buffer, replacing the one
// the buffer had.
#include <QImage>

#include "buffertable.h"
#include "childwindow.h"
#include "displayimage.h"
#include "mainwindow.h"
#include "prompt.h"
#include "zolt.h"

void ZOlttoolMainWindow::view() { viewBuffer(outputSlot()); }

void ZOlttoolMainWindow::viewBuffer(int o) {
    BufferTable *table = buffers;
    if (!table || o < 0 || o >= BufferTable::Buffers)
        return;
    if (QWidget *old = table->viewer(o))
        delete old;  // its destructor takes it out of the registry
    const ZoltHeader *img = table->image(o);
    if (!img)
        return;
    // Both complex precisions go through the Complex menu instead.
    if (img->dtype == ZOLT_C32 || img->dtype == ZOLT_C64) {
        prompt().message(this, tr("Complex images cannot be viewed. Use complex pull down"));
        return;
    }
    QImage *display = makeDisplayImage(img, 0, 0);
    if (!display) {
        prompt().message(this, tr("The image of buffer %1 cannot be displayed.").arg(o));
        return;
    }
    auto *viewer = new ZOlttoolChildWindow(this, display, o);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    table->enterViewer(o, viewer);
}
