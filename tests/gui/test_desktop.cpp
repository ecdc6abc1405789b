// The program on the desktop: 16-bit pictures read at full depth, files
// dropped on the panel, the command-line answers and what an installation
// puts in place.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QProcess>
#include <QMap>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>
#include <QXmlStreamReader>

#include "bufferfixture.h"
#include "zolt.h"

namespace {

// Runs a program to its end; standard output, or a failure text in *error.
QByteArray run(const QString &program, const QStringList &args, int *status,
               const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) {
        *status = -1;
        return p.readAllStandardError();
    }
    *status = p.exitCode();
    return p.readAllStandardOutput() + p.readAllStandardError();
}

}  // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    // Values that are not multiples of 257 tell a 16-bit reading from one
    // that went through 8 bits (which would give v >> 8).
    void sixteenBitPicturesKeepTheirValues() {
        PanelFixture f;
        const quint16 grey[6] = {0, 1, 255, 256, 40000, 65535};
        QImage png(3, 2, QImage::Format_Grayscale16);
        for (int i = 0; i < 6; ++i)
            reinterpret_cast<quint16 *>(png.scanLine(i / 3))[i % 3] = grey[i];
        const QString pngName = f.path("deep.png");
        QVERIFY(png.save(pngName));
        const QString before = f.console();
        f.win->openImageFile(pngName, 1);
        ZoltHeader *img = f.table->image(1);
        QVERIFY(img);
        const std::vector<float> g = floats(img);
        // a grey picture is one 2-D image
        QCOMPARE(img->oltndim, 2);
        QCOMPARE(g.size(), size_t(6));
        for (int i = 0; i < 6; ++i) QCOMPARE(g[i], float(grey[i]));
        // mean = 106047 / 6
        QVERIFY2(f.since(before).contains("max = 65535 min = 0 Mean = 17674.5"), qPrintable(f.since(before)));
        QCOMPARE(f.table->maxValue, 65535);

        QImage tif(2, 1, QImage::Format_RGBX64);
        auto *line = reinterpret_cast<QRgba64 *>(tif.scanLine(0));
        line[0] = QRgba64::fromRgba64(1, 300, 65535, 65535);
        line[1] = QRgba64::fromRgba64(65534, 2, 40000, 65535);
        const QString tifName = f.path("scope.tif");
        QVERIFY2(tif.save(tifName, "TIFF"), "the TIFF plug-in (qt5-image-formats-plugins) is missing");
        f.win->openImageFile(tifName, 2);
        QVERIFY(f.table->image(2));
        QCOMPARE(floats(f.table->image(2)),
                 (std::vector<float>{1, 65534, 300, 2, 65535, 40000}));
    }

    void droppedFilesFillOutputAndTheBuffersAfterIt() {
        PanelFixture f;
        QImage pic(1, 1, QImage::Format_RGB32);
        pic.setPixel(0, 0, qRgb(200, 10, 20));
        const QString first = f.path("first.png");
        QVERIFY(pic.save(first));
        const QString third = f.path("third.zol");
        ZoltHeader *z = makeImage("u8bit", {2, 1}, {7, 9});
        QCOMPARE(Zoltpot(z, third.toLocal8Bit().constData()), -1);
        Zoltfree(z, 7);
        const QString missing = f.path("missing.png");
        ZoltHeader *held = makeImage("float", {1, 1}, {5});
        f.table->install(7, held);
        f.select("output", 6);

        // no child takes a drop away from the panel, wherever it lands
        for (QWidget *w : f.win->findChildren<QWidget *>())
            QVERIFY2(!w->acceptDrops(), qPrintable(w->metaObject()->className()));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(missing),
                      QUrl::fromLocalFile(third)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(f.win, &enter);
        QVERIFY(enter.isAccepted());
        const QString before = f.console();
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(f.win, &drop);
        QVERIFY(drop.isAccepted());

        QVERIFY(f.table->image(6));
        QCOMPARE(floats(f.table->image(6)), (std::vector<float>{200, 10, 20}));
        QCOMPARE(f.table->image(7), held);  // the unreadable one changed nothing
        QCOMPARE(f.messages().size(), 1);
        QVERIFY(f.messages().first().contains(missing));
        QVERIFY(f.table->image(0));  // wrapped round after 7
        QCOMPARE(floats(f.table->image(0)), (std::vector<float>{7, 9}));
        QCOMPARE(f.table->names[0], QString("third.zol"));
        const QString said = f.since(before);
        QVERIFY(said.startsWith("\nOpening " + first + "\nImage has 3 frames"));
        QVERIFY(said.contains("\nOpening " + third + "\n\nImage has 1 frame"));
        QVERIFY(!QFile::exists(f.path("com_ZOLT_ZOlttool.txt")));

        QMimeData remote;
        remote.setUrls({QUrl("https://example.org/a.png")});
        QDragEnterEvent away(QPoint(5, 5), Qt::CopyAction, &remote, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(f.win, &away);
        QVERIFY(!away.isAccepted());
    }

    // Help and version need no display: the programs run without one.
    void commandLineAnswersHelpAndVersion() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(name);
        int status = 0;
        QByteArray out = run(ZOLTTOOL_PROGRAM, {"--help"}, &status, env);
        QCOMPARE(status, 0);
        QVERIFY2(out.contains("Usage:") && out.contains("[FILE...]") && out.contains("--version"),
                 out.constData());
        QCOMPARE(run(ZOLTTOOL_PROGRAM, {"--version"}, &status, env), QByteArray("ZOlttool 10.2.2\n"));
        QCOMPARE(status, 0);
        QCOMPARE(run(ZOLT_TOOL, {"--version"}, &status), QByteArray("zolt 10.2.2\n"));
        QCOMPARE(status, 0);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        run(ZOLTTOOL_PROGRAM, {"--no-such-option"}, &status, env);
        QVERIFY(status != 0);
    }

    void installPutsProgramsEntryIconAndFileTypeInPlace() {
        QTemporaryDir prefix;
        int status = 0;
        const QByteArray log =
            run(ZOLT_CMAKE, {"--install", ZOLT_BUILD_DIR, "--prefix", prefix.path()}, &status);
        QVERIFY2(status == 0, log.constData());
        const QDir root(prefix.path());
        for (const char *program : {"bin/zolttool", "bin/zolt"})
            QVERIFY2(QFileInfo(root.filePath(program)).isExecutable(), program);
        QCOMPARE(run(root.filePath("bin/zolt"), {"--version"}, &status), QByteArray("zolt 10.2.2\n"));

        const QString entry = root.filePath("share/applications/zolttool.desktop");
        QFile entryFile(entry);
        QVERIFY(entryFile.open(QIODevice::ReadOnly | QIODevice::Text));
        QMap<QString, QString> key;
        for (const QString &line : QString::fromUtf8(entryFile.readAll()).split('\n'))
            if (line.contains('=')) key[line.section('=', 0, 0)] = line.section('=', 1);
        QCOMPARE(key["Exec"], QString("zolttool %F"));
        QCOMPARE(key["Icon"], QString("zolttool"));
        QVERIFY(key["MimeType"].split(';').contains("application/x-zolt"));
        const QStringList categories = key["Categories"].split(';');
        QVERIFY(categories.contains("Graphics") && categories.contains("Science"));
        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (!validator.isEmpty()) {
            const QByteArray said = run(validator, {entry}, &status);
            QVERIFY2(status == 0 && !said.contains("error"), said.constData());
        }

        for (int size : {16, 32, 48, 256}) {
            const QImage icon(root.filePath(QString("share/icons/hicolor/%1x%1/apps/zolttool.png").arg(size)));
            QCOMPARE(icon.size(), QSize(size, size));
        }

        QFile mime(root.filePath("share/mime/packages/zolttool.xml"));
        QVERIFY(mime.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&mime);
        QStringList globs, magic;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement) continue;
            if (xml.name() == QLatin1String("glob"))
                globs << xml.attributes().value("pattern").toString();
            if (xml.name() == QLatin1String("match"))
                magic << xml.attributes().value("offset") + QLatin1Char(':') +
                             xml.attributes().value("value");
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        for (const char *g : {"*.zol", "*.Zol", "*.zolt", "*.Zolt", "*.ZOLT", "*.olt", "*.OLT"})
            QVERIFY2(globs.contains(g), g);
        QVERIFY(magic.contains("0:ZOL"));
        // the MIME cache of the prefix was brought up to date when the tool exists
        if (!QStandardPaths::findExecutable("update-mime-database").isEmpty())
            QVERIFY(QFile::exists(root.filePath("share/mime/application/x-zolt.xml")));
    }
};

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
