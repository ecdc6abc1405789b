// Save As into ZOLT files of a named type and into pictures, and the buffer
// commands Copy, Paste and Delete. Written files are checked by reading them
// back; nothing may turn into zeros without a word.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPointer>
#include <QTest>
#include <QWidget>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "bufferfixture.h"
#include "zolt.h"
#include "zolt_tiff.h"

class TestSaving : public QObject {
    Q_OBJECT

private slots:
    void saveAsZoltInANamedType();
    void saveAsRefusesWhatItCannotWrite();
    void saveAsPicture();
    void saveAsTiffInANamedType();
    void saveCutShortKeepsTheOldFile();
    void copyPasteTwiceAndDelete();
    void complexBufferCopiedPastedAndSavedExactly();
};

namespace {

ZoltHeader *readBack(const QString &name) {
    const int mode = ZoltErrorMode;
    ZoltErrorMode = 1;  // a missing file is an expected answer here
    ZoltHeader *h = Zoltpin(name.toLocal8Bit().constData());
    ZoltErrorMode = mode;
    return h;
}

}  // namespace

void TestSaving::saveAsZoltInANamedType() {
    PanelFixture f;
    ZoltHeader *img = makeImage("float", {2, 2}, {300.7, -1.5, 12.9, 255});
    f.table->install(0, img);

    const QString u8 = f.path("out.zol");
    f.asked->answer(u8);
    f.asked->answer(QString("u8bit"));
    QVERIFY(f.win->saveAs());
    QCOMPARE(f.asked->log[0].kind, ScriptedPrompt::SaveFile);
    QCOMPARE(f.asked->log[0].title, QString("SaveAs File"));
    QCOMPARE(f.asked->log[0].preset.toString(), f.home.path());
    QCOMPARE(f.asked->log[1].kind, ScriptedPrompt::Text);
    QCOMPARE(f.asked->log[1].title, QString("QInputDialog::getText()"));
    QCOMPARE(f.asked->log[1].text, QString("ZOLT data type:"));
    QCOMPARE(f.asked->log[1].preset.toString(), QString("float"));
    ZoltHeader *back = readBack(u8);
    QVERIFY(back);
    QCOMPARE(QString(back->oltdt), QString("u8bit"));
    QCOMPARE(back->oltndim, 2);
    // truncated toward zero, low 8 bits kept
    const auto *b = static_cast<const unsigned char *>(back->oltptr);
    QCOMPARE(QList<int>({b[0], b[1], b[2], b[3]}), QList<int>({44, 255, 12, 255}));
    Zoltfree(back, 7);

    // an empty type text writes float
    const QString fl = f.path("plain.Zolt");
    f.asked->answer(fl);
    f.asked->answer(QString(""));
    QVERIFY(f.win->saveAs());
    back = readBack(fl);
    QVERIFY(back);
    QCOMPARE(QString(back->oltdt), QString("32flt"));
    QVERIFY(sameBytes(back, img));
    Zoltfree(back, 7);

    // the buffer itself is left as it was
    QCOMPARE(f.table->image(0), img);
    QCOMPARE(floats(img)[0], 300.7f);
    QCOMPARE(f.messages(), QStringList());
}

void TestSaving::saveAsRefusesWhatItCannotWrite() {
    PanelFixture f;
    QVERIFY(!f.win->saveAs());
    QCOMPARE(f.messages(), QStringList{"No image has been stored in the buffer."});

    f.table->install(0, makeImage("float", {2, 2}, {1, 2, 3, 4}));
    f.asked->log.clear();
    f.asked->cancel();  // no file chosen
    QVERIFY(f.win->saveAs());
    f.asked->answer(f.path("cancelled.zol"));
    f.asked->cancel();  // no type given
    QVERIFY(f.win->saveAs());
    QVERIFY(!QFile::exists(f.path("cancelled.zol")));
    QCOMPARE(f.messages(), QStringList());

    const QStringList refused{"floaty", "complex", "a type name far too long to be one"};
    for (const QString &type : refused) {
        f.asked->log.clear();
        const QString name = f.path("refused.zol");
        f.asked->answer(name);
        f.asked->answer(type);
        QVERIFY(f.win->saveAs());
        QCOMPARE(f.messages(), QStringList{"output of file to disk failed"});
        QVERIFY2(!QFile::exists(name), qPrintable(type));
    }

    f.asked->log.clear();
    f.asked->answer(f.path("no such folder/x.zol"));
    f.asked->answer(QString("float"));
    QVERIFY(f.win->saveAs());
    QCOMPARE(f.messages(), QStringList{"output of file to disk failed"});
}

void TestSaving::saveAsPicture() {
    PanelFixture f;
    // three frames: red at row 0, column 1; green at row 1, column 7
    std::vector<double> v(8 * 2 * 3, 0.0);
    v[1] = 255;
    v[16 + 8 + 7] = 255;
    f.table->install(0, makeImage("float", {8, 2, 3}, v));

    const QString png = f.path("colour.png");
    f.asked->answer(png);
    const QString before = f.console();
    QVERIFY(f.win->saveAs());
    QCOMPARE(f.since(before), QString("\nsaving "));
    QImage pic(png);
    QVERIFY(!pic.isNull());
    QCOMPARE(pic.size(), QSize(8, 2));
    QCOMPARE(pic.pixel(1, 0), qRgb(255, 0, 0));
    QCOMPARE(pic.pixel(7, 1), qRgb(0, 255, 0));
    QCOMPARE(pic.pixel(0, 0), qRgb(0, 0, 0));

    // ".ZOL" is not a ZOLT suffix for saving: a picture is written all the same
    const QString zol = f.path("picture.ZOL");
    f.asked->answer(zol);
    QVERIFY(f.win->saveAs());
    QImageReader reader(zol);
    QCOMPARE(reader.format(), QByteArray("png"));
    QCOMPARE(reader.read().pixel(7, 1), qRgb(0, 255, 0));
    QVERIFY(!readBack(zol));

    // without a viewer a stack of frames shows frame 0, in grey
    f.table->install(0, makeImage("float", {4, 1, 2}, {0, 255, 0, 0, 255, 0, 0, 0}));
    const QString grey = f.path("frame.png");
    f.asked->answer(grey);
    QVERIFY(f.win->saveAs());
    QImage g(grey);
    QCOMPARE(g.pixel(1, 0), qRgb(255, 255, 255));
    QCOMPARE(g.pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(f.messages(), QStringList());
}

void TestSaving::saveAsTiffInANamedType() {
    PanelFixture f;
    ZoltHeader *img = makeImage("float", {3, 1, 2}, {1.9, 65535, -2, 7, 8, 40000.5});
    img->oltdim[0].dimscale = 0.125f;
    std::strcpy(img->oltdim[0].dimunits, "um");
    f.table->install(0, img);
    const QString name = f.path("out.TIFF");
    f.asked->answer(name);
    f.asked->answer(QString("u16bit"));
    QVERIFY(f.win->saveAs());
    QCOMPARE(f.asked->log[1].text, QString("ZOLT data type:"));
    ZoltTiffInfo info;
    ZoltHeader *back = ZoltTiffRead(name.toLocal8Bit().constData(), &info);
    QVERIFY(back);
    QCOMPARE(info.pages, 2);
    QCOMPARE(QString(back->oltdt), QString("u16bit"));
    const auto *b = static_cast<const quint16 *>(back->oltptr);
    // truncated toward zero, low 16 bits kept, as for a ZOLT save
    QCOMPARE(QList<int>({b[0], b[1], b[2], b[3], b[4], b[5]}), QList<int>({1, 65535, 65534, 7, 8, 40000}));
    QCOMPARE(back->oltdim[0].dimscale, 0.125f);
    Zoltfree(back, 7);

    // complex data is refused in words and writes nothing
    f.table->install(0, makeImage("complex", {2, 2}, {1, 2, 3, 4, 5, 6, 7, 8}));
    const QString c = f.path("c.tif");
    f.asked->answer(c);
    f.asked->answer(QString("complex"));
    QVERIFY(f.win->saveAs());
    QCOMPARE(f.messages().last(), QString("complex images cannot be saved as TIFF"));
    QVERIFY(!QFile::exists(c));
}

void TestSaving::saveCutShortKeepsTheOldFile() {
    PanelFixture f;
    std::vector<double> noise(300 * 300);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<double>((i * 2654435761u) >> 24);
    f.table->install(0, makeImage("float", {300, 300}, noise));
    const QByteArray old("old contents\n");
    const QString picture = f.path("noise.png");
    const QString log = f.path("com_ZOLT_ZOlttool.txt");
    for (const QString &name : {picture, log}) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
    }
    const QString small = f.path("small.zol");
    ZoltHeader *img = makeImage("float", {2, 2}, {1, 2, 3, 4});
    QCOMPARE(Zoltpot(img, small.toLocal8Bit().constData()), -1);
    Zoltfree(img, 7);
    // In a child that may write no file beyond 16 bytes, neither the picture
    // nor the log (which names a longer path) can be written whole.
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        rlimit limit{16, 16};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
        f.asked->answer(picture);
        f.win->saveAs();
        const bool reported = f.messages() == QStringList{"output of file to disk failed"};
        f.asked->answer(small);
        f.win->open();
        _exit(reported ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the failed save was not reported");
    for (const QString &name : {picture, log}) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), old);
    }
    QCOMPARE(QDir(f.home.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

void TestSaving::copyPasteTwiceAndDelete() {
    PanelFixture f;
    QVERIFY(!f.action("&Paste")->isEnabled());
    f.win->copy();
    f.win->paste();
    QCOMPARE(f.messages(), (QStringList{"Image Empty", "Nothing to paste"}));

    ZoltHeader *src = makeImage("u8bit", {3, 2}, {1, 2, 3, 4, 5, 6});
    f.table->install(0, src);
    f.table->names[0] = "source";
    f.win->copy();
    QVERIFY(f.action("&Paste")->isEnabled());

    QPointer<QWidget> viewer = new QWidget(f.win);
    f.table->enterViewer(2, viewer);
    f.table->names[2] = "two";
    f.select("output", 1);
    f.win->paste();
    f.select("output", 2);
    f.win->paste();
    ZoltHeader *one = f.table->image(1);
    ZoltHeader *two = f.table->image(2);
    QVERIFY(one && two && one != two && one != src && two != src);
    QVERIFY(sameBytes(one, src));
    QVERIFY(sameBytes(two, src));
    QVERIFY(viewer.isNull());  // the buffer's old viewer went with its image
    QCOMPARE(f.table->names[1], QString());
    QCOMPARE(f.table->names[2], QString("two"));

    // independent copies: changing one leaves the others alone
    static_cast<unsigned char *>(one->oltptr)[0] = 99;
    QCOMPARE(static_cast<unsigned char *>(two->oltptr)[0], static_cast<unsigned char>(1));
    QCOMPARE(static_cast<unsigned char *>(src->oltptr)[0], static_cast<unsigned char>(1));

    // Delete empties the Output buffer only and keeps its name
    QVERIFY(f.action("&Delete")->isEnabled());
    f.win->delete_();
    QVERIFY(!f.table->image(2));
    QCOMPARE(f.table->names[2], QString("two"));
    QVERIFY(f.table->image(1));
    QVERIFY(!f.action("&Delete")->isEnabled());
    // the clipboard still holds the copy
    f.win->paste();
    QVERIFY(sameBytes(f.table->image(2), src));
}

void TestSaving::complexBufferCopiedPastedAndSavedExactly() {
    PanelFixture f;
    ZoltHeader *c = makeImage("complex", {2, 2}, {1.5, -2, 3, 0.25, -7, 8, 1e-3, 1e6});
    f.table->install(0, c);
    f.win->copy();
    f.select("output", 3);
    f.win->paste();
    QVERIFY(f.table->image(3));
    QCOMPARE(QString(f.table->image(3)->oltdt), QString("32cmp"));
    QVERIFY(sameBytes(f.table->image(3), c));

    const QString name = f.path("spectrum.zol");
    f.asked->answer(name);
    f.asked->answer(QString("complex"));
    QVERIFY(f.win->saveAs());
    ZoltHeader *back = readBack(name);
    QVERIFY(back);
    QVERIFY(sameBytes(back, c));
    Zoltfree(back, 7);

    const QString asFloat = f.path("magnitude.zol");
    f.asked->answer(asFloat);
    f.asked->answer(QString("float"));
    QVERIFY(f.win->saveAs());
    QCOMPARE(f.messages(), QStringList{"output of file to disk failed"});
    QVERIFY(!QFile::exists(asFloat));
}

QTEST_MAIN(TestSaving)
#include "test_saving.moc"
