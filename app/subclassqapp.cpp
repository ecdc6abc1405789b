#include "subclassqapp.h"

#include <QFileOpenEvent>

#include "buffertable.h"
#include "mainwindow.h"

SubClassQApp::SubClassQApp(int &argc, char **argv) : QApplication(argc, argv) {}

bool SubClassQApp::event(QEvent *e) {
    if (e->type() != QEvent::FileOpen)
        return QApplication::event(e);
    const QString name = static_cast<QFileOpenEvent *>(e)->file();
    BufferTable *table = BufferTable::instance();
    if (table && table->controlPanel)
        table->controlPanel->openImageFile(name, 0);
    return true;
}
