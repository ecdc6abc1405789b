// zolttool: the image workbench. Starts the application, makes the buffer
// table with its control panel and runs the event loop.
#include <QStringList>

#include "buffertable.h"
#include "mainwindow.h"
#include "subclassqapp.h"

// Files named on the command line go into buffers 0, 1, 2 ... as if the system
// had asked to open them.
static void openCommandLineFiles(BufferTable *table, const QStringList &files) {
    if (!table->controlPanel)
        return;
    for (int i = 0; i < files.size() && i < BufferTable::Buffers; ++i)
        table->controlPanel->openImageFile(files[i], i);
}

int main(int argc, char **argv) {
    SubClassQApp app(argc, argv);
    QCoreApplication::setOrganizationName("ZOlttool");
    QCoreApplication::setApplicationName("ZOlttool");

    // The table and its panel live until the process ends.
    auto *table = new BufferTable;
    openCommandLineFiles(table, QCoreApplication::arguments().mid(1));
    return app.exec();
}
