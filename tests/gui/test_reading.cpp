// Reading files into the buffers: pictures, ZOLT files of several types and
// shapes, boundary files, unreadable files, the console statistics, the notes
// and the ReRead log file.
#include <QImage>
#include <QPointer>
#include <QTest>

#include <cmath>

#include "bufferfixture.h"
#include "zolt.h"
#include "zolt_tiff.h"

class TestReading : public QObject {
    Q_OBJECT

private slots:
    void pictureBecomesThreeFloatFrames();
    void greyPicturesAreOneImage();
    void tiffStackKeepsPagesValuesAndPixelSize();
    void damagedTiffSaysWhyAndLeavesTheBuffer();
    void twoDimensionalU8File();
    void threeDimensional16bitFileShowsFirstThreeFrames();
    void fewerThanThreeFramesPrintOnlyWhatExists();
    void extremesAndSpreadComeFromTheData();
    void complexFileStaysComplex();
    void boundaryFileWithThreePoints();
    void unreadableFilesLeaveTheBufferAlone();
    void readWritesTheLogAndCancelSaysSo();
    void rereadFromTheLogFileOfAnEarlierRun();
    void rereadWithoutLogFile();
    void openRequestFillsBufferZeroWithoutTheLog();
};

namespace {

// Writes a ZOLT file and releases the image.
void writeZolt(ZoltHeader *h, const QString &name) {
    QVERIFY(h);
    QCOMPARE(Zoltpot(h, name.toLocal8Bit().constData()), -1);
    Zoltfree(h, 7);
}

}  // namespace

void TestReading::pictureBecomesThreeFloatFrames() {
    PanelFixture f;
    // red 10 x column, green 5 x row, blue 7 everywhere
    QImage pic(10, 20, QImage::Format_RGB32);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 10; ++x) pic.setPixel(x, y, qRgb(10 * x, 5 * y, 7));
    const QString name = f.path("pic.png");
    QVERIFY(pic.save(name));

    f.asked->answer(name);
    const QString before = f.console();
    f.win->open();

    // mean of 0, 10 .. 90 is 45, its spread 10 x sqrt(8.25); rows 0 .. 95 give
    // 47.5 and 5 x sqrt(33.25)
    QCOMPARE(f.since(before),
             QString("\nOpening " + name +
                     "\nImage has 3 frames and 20 rows and 10 Columns\n"
                     "max = [90 95 7], min = [0 0 7], Mean = [45 47.5 7], "
                     "StdDev = [28.7228 28.8314 0]"));
    QCOMPARE(f.notes(), QStringList{"non ZOLT"});
    QCOMPARE(f.asked->log.last().title, QString("message"));
    QCOMPARE(f.asked->log.last().msec, 1000);

    ZoltHeader *img = f.table->image(0);
    QVERIFY(img);
    QCOMPARE(QString(img->oltdt), QString("32flt"));
    QCOMPARE(img->oltndim, 3);
    QCOMPARE(Zoltdimen(img, 0), 10u);
    QCOMPARE(Zoltdimen(img, 1), 20u);
    QCOMPARE(Zoltdimen(img, 2), 3u);
    const std::vector<float> v = floats(img);
    QCOMPARE(v[3 + 4 * 10], 30.0f);            // red at row 4, column 3
    QCOMPARE(v[200 + 3 + 4 * 10], 20.0f);      // green
    QCOMPARE(v[400 + 3 + 4 * 10], 7.0f);       // blue
    QCOMPARE(f.table->names[0], QString("pic.png"));
    QCOMPARE(f.table->maxValue, 90);
}

void TestReading::greyPicturesAreOneImage() {
    PanelFixture f;
    QImage grey8(3, 2, QImage::Format_Grayscale8), grey16(3, 2, QImage::Format_Grayscale16);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            grey8.scanLine(y)[x] = static_cast<uchar>(40 * y + x);
            reinterpret_cast<quint16 *>(grey16.scanLine(y))[x] = static_cast<quint16>(60000 - 1000 * (3 * y + x));
        }
    const QString n8 = f.path("g8.png"), n16 = f.path("g16.png");
    QVERIFY(grey8.save(n8) && grey16.save(n16));
    f.win->openImageFile(n8, 0);
    f.win->openImageFile(n16, 1);
    for (int slot : {0, 1}) {
        ZoltHeader *img = f.table->image(slot);
        QVERIFY(img);
        QCOMPARE(img->oltndim, 2);
        QCOMPARE(Zoltpixels(img), size_t{6});
    }
    QCOMPARE(floats(f.table->image(0)), (std::vector<float>{0, 1, 2, 40, 41, 42}));
    QCOMPARE(floats(f.table->image(1)), (std::vector<float>{60000, 59000, 58000, 57000, 56000, 55000}));
}

void TestReading::tiffStackKeepsPagesValuesAndPixelSize() {
    PanelFixture f;
    ZoltHeader *stack = Zoltcreate("u16bit", std::vector<int>{3, 4, 2, 3}.data(), 11, 0);
    QVERIFY(stack);
    auto *p = static_cast<quint16 *>(stack->oltptr);
    for (int i = 0; i < 24; ++i) p[i] = static_cast<quint16>(2500 * i + 7);
    stack->oltdim[0].dimscale = 0.25f;
    stack->oltdim[1].dimscale = 0.5f;
    std::strcpy(stack->oltdim[0].dimunits, "um");
    std::strcpy(stack->oltdim[1].dimunits, "um");
    // a TIFF under another name is known by its first bytes
    const QString name = f.path("stack.dat");
    QCOMPARE(ZoltTiffWrite(stack, name.toLocal8Bit().constData()), -1);
    const QString before = f.console();
    f.win->openImageFile(name, 3);
    QVERIFY2(f.since(before).startsWith("\nTIFF: 3 pages of u16\nImage has 3 frames and 2 rows and 4 Columns\n"),
             qPrintable(f.since(before)));
    ZoltHeader *img = f.table->image(3);
    QVERIFY(img);
    QCOMPARE(QString(img->oltdt), QString("32flt"));
    const std::vector<float> v = floats(img);
    for (int i = 0; i < 24; ++i) QCOMPARE(v[i], static_cast<float>(p[i]));
    QCOMPARE(img->oltdim[0].dimscale, 0.25f);
    QCOMPARE(img->oltdim[1].dimscale, 0.5f);
    QCOMPARE(QString(img->oltdim[1].dimunits), QString("um"));
    Zoltfree(stack, 7);
}

void TestReading::damagedTiffSaysWhyAndLeavesTheBuffer() {
    PanelFixture f;
    ZoltErrorMode = 1;
    ZoltHeader *kept = makeImage("float", {2, 2}, {1, 2, 3, 4});
    f.table->install(0, kept);
    ZoltHeader *big = Zoltcreate("32flt", std::vector<int>{2, 64, 64}.data(), 11, 0);
    const QString whole = f.path("whole.tif"), cut = f.path("cut.tif");
    QCOMPARE(ZoltTiffWrite(big, whole.toLocal8Bit().constData()), -1);
    Zoltfree(big, 7);
    QFile in(whole);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QVERIFY(writeText(cut, in.read(in.size() / 2)));
    f.win->openImageFile(cut, 0);
    QCOMPARE(f.table->image(0), kept);
    QCOMPARE(f.messages().size(), 1);
    QVERIFY2(f.messages()[0].contains(cut) && f.messages()[0].contains("page 1"), qPrintable(f.messages()[0]));
}

void TestReading::twoDimensionalU8File() {
    PanelFixture f;
    std::vector<double> v;
    for (int i = 0; i < 12; ++i) v.push_back(20 * i);
    const QString name = f.path("small.zol");
    writeZolt(makeImage("u8bit", {4, 3}, v), name);

    f.select("output", 2);
    f.asked->answer(name);
    const QString before = f.console();
    f.win->open();
    // 0, 20 .. 220: mean 110, spread 20 x sqrt(143 / 12)
    QCOMPARE(f.since(before), QString("\nOpening " + name +
                                      "\n\nImage has 1 frame and 3 rows and 4 Columns\n"
                                      "max = 220 min = 0 Mean = 110 StdDev = 69.0411"));
    QCOMPARE(f.notes(), QStringList{"Zolt image"});
    ZoltHeader *img = f.table->image(2);
    QVERIFY(img);
    QVERIFY(!f.table->image(0));
    QCOMPARE(QString(img->oltdt), QString("32flt"));
    QCOMPARE(floats(img)[11], 220.0f);
    QCOMPARE(f.table->names[2], QString("small.zol"));
}

void TestReading::threeDimensional16bitFileShowsFirstThreeFrames() {
    PanelFixture f;
    std::vector<double> v;
    for (int fr = 0; fr < 5; ++fr)
        for (int i = 0; i < 4; ++i) v.push_back(100 * fr - i);
    // a name ending in "olt" without a dot is a ZOLT file too
    const QString name = f.path("stackvolt");
    writeZolt(makeImage("16bit", {2, 2, 5}, v), name);

    f.asked->answer(name);
    const QString before = f.console();
    f.win->open();
    QCOMPARE(f.since(before), QString("\nOpening " + name +
                                      " --- 16bit\n"
                                      "\nImage has 5 frames and 2 rows and 2 Columns\n"
                                      "max = [0 100 200], min = [-3 97 197], "
                                      "Mean = [-1.5 98.5 198.5], "
                                      "StdDev = [1.11803 1.11803 1.11803]"));
    ZoltHeader *img = f.table->image(0);
    QVERIFY(img);
    QCOMPARE(Zoltdimen(img, 2), 5u);
    QCOMPARE(floats(img)[19], 397.0f);
    QCOMPARE(f.table->maxValue, 0);
}

void TestReading::fewerThanThreeFramesPrintOnlyWhatExists() {
    PanelFixture f;
    const QString two = f.path("two.zol");
    writeZolt(makeImage("float", {2, 1, 2}, {1, 3, -5, -5}), two);
    f.asked->answer(two);
    QString before = f.console();
    f.win->open();
    QCOMPARE(f.since(before), QString("\nOpening " + two +
                                      " --- 32flt\n"
                                      "\nImage has 2 frames and 1 rows and 2 Columns\n"
                                      "max = [3 -5], min = [1 -5], Mean = [2 -5], StdDev = [1 0]"));

    const QString one = f.path("one.Zol");
    writeZolt(makeImage("float", {1, 2, 1}, {4, 6}), one);
    f.asked->answer(one);
    before = f.console();
    f.win->open();
    QCOMPARE(f.since(before), QString("\nOpening " + one +
                                      " --- 32flt\n"
                                      "\nImage has 1 frame and 2 rows and 1 Columns\n"
                                      "max = [6], min = [4], Mean = [5], StdDev = [1]"));
}

void TestReading::extremesAndSpreadComeFromTheData() {
    PanelFixture f;
    const QString low = f.path("low.zol");
    writeZolt(makeImage("float", {2, 1}, {-3e6, -2e6}), low);
    f.asked->answer(low);
    QString before = f.console();
    f.win->open();
    QVERIFY2(f.since(before).endsWith("max = -2e+06 min = -3e+06 Mean = -2.5e+06 StdDev = 500000"),
             qPrintable(f.since(before)));
    QCOMPARE(f.table->maxValue, -2000000);

    // one large value among many small ones: single-precision sums would lose the ones
    std::vector<double> v(1000, 1.0);
    v[0] = 1e8;
    const QString big = f.path("big.zol");
    writeZolt(makeImage("float", {1000, 1}, v), big);
    f.asked->answer(big);
    before = f.console();
    f.win->open();
    QVERIFY2(f.since(before).contains("max = 1e+08 min = 1 Mean = 100001 "),
             qPrintable(f.since(before)));

    // a NaN in front does not hide the extremes behind it
    const QString odd = f.path("odd.zol");
    writeZolt(makeImage("float", {3, 1}, {std::nan(""), 5, -2}), odd);
    f.asked->answer(odd);
    before = f.console();
    f.win->open();
    QVERIFY2(f.since(before).endsWith("max = 5 min = -2 Mean = nan StdDev = nan"),
             qPrintable(f.since(before)));
    QCOMPARE(f.table->maxValue, 5);

    // nothing but NaN: no largest value to keep
    const QString blank = f.path("blank.zol");
    writeZolt(makeImage("float", {2, 1}, {std::nan(""), std::nan("")}), blank);
    f.asked->answer(blank);
    before = f.console();
    f.win->open();
    QVERIFY2(f.since(before).endsWith("max = nan min = nan Mean = nan StdDev = nan"),
             qPrintable(f.since(before)));
    QCOMPARE(f.table->maxValue, 0);
}

void TestReading::complexFileStaysComplex() {
    PanelFixture f;
    // (1, 10) (3, -10) (5, 2.5) (7, 0): real parts 1, 3, 5, 7
    ZoltHeader *c = makeImage("complex", {2, 2}, {1, 10, 3, -10, 5, 2.5, 7, 0});
    ZoltHeader *keep = makeImage("complex", {2, 2}, {1, 10, 3, -10, 5, 2.5, 7, 0});
    const QString name = f.path("spectrum.zol");
    writeZolt(c, name);
    f.asked->answer(name);
    const QString before = f.console();
    f.win->open();
    QVERIFY2(f.since(before).endsWith("max = 7 min = 1 Mean = 4 StdDev = 2.23607"),
             qPrintable(f.since(before)));
    ZoltHeader *img = f.table->image(0);
    QVERIFY(img);
    QCOMPARE(QString(img->oltdt), QString("32cmp"));
    QVERIFY(sameBytes(img, keep));
    Zoltfree(keep, 7);
}

void TestReading::boundaryFileWithThreePoints() {
    PanelFixture f;
    const QString name = f.path("outline.ZOltb");
    QVERIFY(writeText(name, "B 3\n0 0\n5 0\n5 5\n"));
    f.asked->answer(name);
    const QString before = f.console();
    f.win->open();
    QVERIFY2(f.since(before).startsWith("\nOpening " + name +
                                        "\nImage has 3 frames and 6 rows and 6 Columns\n"
                                        "max = [255 255 255], min = [0 0 0], "),
             qPrintable(f.since(before)));
    QCOMPARE(f.notes(), QStringList{"Boundary file"});
    ZoltHeader *img = f.table->image(0);
    QVERIFY(img);
    QCOMPARE(QString(img->oltdt), QString("32flt"));
    const std::vector<float> v = floats(img);
    auto rgb = [&](int r, int c) {
        const int i = r * 6 + c;
        return QList<float>{v[i], v[36 + i], v[72 + i]};
    };
    QCOMPARE(rgb(0, 0), (QList<float>{255, 0, 0}));
    QCOMPARE(rgb(0, 5), (QList<float>{255, 255, 255}));
    QCOMPARE(rgb(5, 5), (QList<float>{0, 255, 0}));
    QCOMPARE(rgb(3, 2), (QList<float>{0, 0, 0}));
}

void TestReading::unreadableFilesLeaveTheBufferAlone() {
    PanelFixture f;
    ZoltHeader *held = makeImage("float", {2, 2}, {1, 2, 3, 4});
    f.table->install(0, held);
    f.table->names[0] = "held";

    const QString damaged = f.path("damaged.zol");
    QVERIFY(writeText(damaged, QByteArray(700, 'x')));
    const QString notZolt = f.path("words.ZOLT");
    QVERIFY(writeText(notZolt, "this is not an image\n"));
    const QString badPicture = f.path("broken.png");
    QVERIFY(writeText(badPicture, "\x89PNG but nothing else"));
    const QString badBoundary = f.path("empty.ZOltb");
    QVERIFY(writeText(badBoundary, "no points here\n"));
    const QStringList names{f.path("missing.zol"), damaged, notZolt, badPicture, badBoundary,
                            f.path("missing.ZOltb"), f.path("missing.jpg")};
    for (const QString &name : names) {
        f.asked->log.clear();
        f.asked->answer(name);
        const QString before = f.console();
        f.win->open();
        QCOMPARE(f.table->image(0), held);
        QCOMPARE(f.table->names[0], QString("held"));
        QCOMPARE(f.since(before), "\nOpening " + name);
        QCOMPARE(f.messages().size(), 1);
        QVERIFY2(f.messages().first().contains(name), qPrintable(f.messages().first()));
    }
}

void TestReading::readWritesTheLogAndCancelSaysSo() {
    PanelFixture f;
    f.asked->cancel();
    f.win->open();
    QCOMPARE(f.messages(), QStringList{"cannot open file"});
    QVERIFY(!QFile::exists(f.path("com_ZOLT_ZOlttool.txt")));

    const QString name = f.path("a b.zol");
    writeZolt(makeImage("float", {2, 2}, {0, 1, 2, 3}), name);
    f.asked->answer(name);
    f.win->open();
    QFile log(f.path("com_ZOLT_ZOlttool.txt"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), name.toLocal8Bit());
    // the next Read starts where the last one was
    QCOMPARE(f.asked->log.last().kind, ScriptedPrompt::Note);
    f.asked->cancel();
    f.win->open();
    const auto dialogs = [&] {
        QList<ScriptedPrompt::Entry> out;
        for (const auto &e : f.asked->log)
            if (e.kind == ScriptedPrompt::OpenFile) out << e;
        return out;
    }();
    QCOMPARE(dialogs.last().preset.toString(), name);
    QCOMPARE(dialogs.last().title, QString("Open File"));
    QCOMPARE(dialogs.first().preset.toString(), f.home.path());
}

void TestReading::rereadFromTheLogFileOfAnEarlierRun() {
    QString name;
    {
        PanelFixture earlier;
        name = earlier.path("kept.zol");
        writeZolt(makeImage("u8bit", {3, 1}, {9, 8, 7}), name);
        earlier.asked->answer(name);
        earlier.win->open();
        // a later run finds the log in the same home folder
        earlier.home.setAutoRemove(false);
    }
    PanelFixture f;
    qputenv("HOME", QFileInfo(name).absolutePath().toLocal8Bit());
    f.select("output", 4);
    QString before = f.console();
    f.win->reopen();
    QVERIFY2(f.since(before).startsWith("\nOpening " + name + "\n\nImage has 1 frame"),
             qPrintable(f.since(before)));
    QVERIFY(f.table->image(4));
    QCOMPARE(floats(f.table->image(4))[0], 9.0f);

    // Once something was read, ReRead reads that again, whatever the log says.
    QVERIFY(writeText(QFileInfo(name).absolutePath() + "/com_ZOLT_ZOlttool.txt", "/nowhere.zol"));
    f.select("output", 5);
    before = f.console();
    f.win->reopen();
    QVERIFY(f.since(before).startsWith("\nOpening " + name));
    QVERIFY(f.table->image(5));
    QDir(QFileInfo(name).absolutePath()).removeRecursively();
}

void TestReading::rereadWithoutLogFile() {
    PanelFixture f;
    const QString before = f.console();
    f.win->reopen();
    QCOMPARE(f.console(), before);
    QCOMPARE(f.notes(), QStringList{"Cannot open log file. ReRead will not work."});
    for (int i = 0; i < BufferTable::Buffers; ++i) QVERIFY(!f.table->image(i));
    // an empty log names nothing to read again
    QVERIFY(writeText(f.path("com_ZOLT_ZOlttool.txt"), ""));
    f.win->reopen();
    QCOMPARE(f.notes().size(), 2);
    QCOMPARE(f.console(), before);
}

void TestReading::openRequestFillsBufferZeroWithoutTheLog() {
    PanelFixture f;
    f.select("output", 3);
    const QString sample = QStringLiteral(ZOLT_TEST_DATA "/sample.zol");
    QPointer<QWidget> viewer = new QWidget(f.win);
    f.table->enterViewer(0, viewer);
    const QString before = f.console();
    f.win->openImageFile(sample, 0);
    QVERIFY(viewer.isNull());  // a refilled buffer loses its viewer
    QVERIFY(f.table->image(0));
    QVERIFY(!f.table->image(3));
    QCOMPARE(f.table->names[0], QString("sample.zol"));
    QVERIFY2(f.since(before).contains("Image has "), qPrintable(f.since(before)));
    QVERIFY(!f.since(before).contains("Opening"));
    QVERIFY(!QFile::exists(f.path("com_ZOLT_ZOlttool.txt")));
    // the buffer is ready to view: the Output group follows buffer 0
    f.select("output", 0);
    QVERIFY(f.action("&View")->isEnabled());
}

QTEST_MAIN(TestReading)
#include "test_reading.moc"
