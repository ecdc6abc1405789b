// zolttool: the image workbench. Starts the application, makes the buffer
// table with its control panel and runs the event loop.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>
#include <QStringList>

#include "buffertable.h"
#include "mainwindow.h"
#include "subclassqapp.h"

#ifndef ZOLT_VERSION
#define ZOLT_VERSION "unknown"
#endif

// Files named on the command line go into buffers 0, 1, 2 ... as if the system
// had asked to open them.
static void openCommandLineFiles(BufferTable *table, const QStringList &files) {
    if (!table->controlPanel)
        return;
    for (int i = 0; i < files.size() && i < BufferTable::Buffers; ++i)
        table->controlPanel->openImageFile(files[i], i);
}

static void describeCommandLine(QCommandLineParser &parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Workbench for scientific images: reads ZOLT files, TIFF files, boundary files and pictures\n"
        "into eight buffers, shows and processes them."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("Images to read into buffers 0, 1, 2, ..."),
                                 QStringLiteral("[FILE...]"));
}

static void nameApplication() {
    QCoreApplication::setOrganizationName("ZOlttool");
    QCoreApplication::setApplicationName("ZOlttool");
    QCoreApplication::setApplicationVersion(ZOLT_VERSION);
}

int main(int argc, char **argv) {
    // Help and version are answered before any window system is needed, so
    // they work on a terminal without a display.
    {
        QStringList words;
        for (int i = 0; i < argc; ++i) words << QString::fromLocal8Bit(argv[i]);
        QCommandLineParser early;
        describeCommandLine(early);
        early.parse(words);
        if (early.isSet(QStringLiteral("help")) || early.isSet(QStringLiteral("help-all")) ||
            early.isSet(QStringLiteral("version"))) {
            QCoreApplication text(argc, argv);
            nameApplication();
            QCommandLineParser parser;
            describeCommandLine(parser);
            parser.process(text);  // prints and ends the process
        }
    }

    SubClassQApp app(argc, argv);
    nameApplication();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zolttool.png")));
    QCommandLineParser parser;
    describeCommandLine(parser);
    parser.process(app);  // an unknown option is reported and ends the process

    // The table and its panel live until the process ends.
    auto *table = new BufferTable;
    openCommandLineFiles(table, parser.positionalArguments());
    return app.exec();
}
