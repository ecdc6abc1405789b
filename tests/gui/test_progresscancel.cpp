// The Cancel button beside the progress bar: a long pcon, cancelled by a
// click once the bar has moved, stops at the step it was on, says so and
// leaves every buffer as it was; the next run is not cancelled by it.
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

#include "bufferfixture.h"

class TestProgressCancel : public QObject {
    Q_OBJECT

private slots:
    void cancelStopsPconAndKeepsEveryBuffer();
};

void TestProgressCancel::cancelStopsPconAndKeepsEveryBuffer() {
    PanelFixture fx;
    BufferTable *table = fx.table.get();
    fx.win->show();
    QVERIFY(QTest::qWaitForWindowExposed(fx.win));
    std::vector<double> v(16 * 16);
    for (size_t k = 0; k < v.size(); ++k) v[k] = (k % 16 < 8 ? 20 : 60) + (k * 7919 % 13);
    ZoltHeader *f = makeImage("float", {16, 16}, v), *g = makeImage("float", {16, 16}, v);
    ZoltHeader *other = makeImage("u8bit", {5, 4}, {1, 2, 3});
    table->install(0, f);
    table->install(1, g);
    table->install(5, other);
    ZoltHeader *before[BufferTable::Buffers + 1];
    std::vector<std::vector<unsigned char>> bytes;
    for (int s = 0; s <= BufferTable::WorkSlot; ++s) {
        before[s] = table->image(s);
        const auto *p = before[s] ? static_cast<const unsigned char *>(before[s]->oltptr) : nullptr;
        bytes.emplace_back(p, p + (p ? Zoltbytes(before[s]) : 0));
    }
    fx.select("input1", 0);
    fx.select("input2", 1);
    fx.select("output", 2);

    // About 1.4 million cooling steps: far longer than the click takes to come.
    fx.asked->answer(QStringList{"2.0", ".03", "4.0", "1000", "0.001", "0.99999"});
    QStatusBar *status = fx.win->statusBar();
    int clickedAt = -1;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *bar = status->findChild<QProgressBar *>("operationProgress");
        auto *cancel = status->findChild<QPushButton *>("operationCancel");
        if (clickedAt >= 0 || !bar || !cancel || !cancel->isVisible() || bar->value() < 2) return;
        clickedAt = bar->value();
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    poll.start();
    fx.win->pcon();
    poll.stop();

    auto *bar = status->findChild<QProgressBar *>("operationProgress");
    QVERIFY(bar && !bar->isVisible());
    QVERIFY(clickedAt >= 2 && clickedAt < 100);
    // The routine looks for the request right after the report that took the
    // click: no step is reported after it.
    QCOMPARE(bar->value(), clickedAt);
    QCOMPARE(fx.messages(), QStringList{"pcon was cancelled; nothing changed."});
    QVERIFY(status->currentMessage().contains("-16"));
    for (int s = 0; s <= BufferTable::WorkSlot; ++s) {
        ZoltHeader *now = table->image(s);
        QCOMPARE(now, before[s]);
        if (now)
            QVERIFY2(std::memcmp(now->oltptr, bytes[s].data(), bytes[s].size()) == 0,
                     qPrintable(QString("buffer %1 changed").arg(s)));
    }

    // The request ends with the run: a short pcon after it completes.
    fx.asked->answer(QStringList{"2.0", ".03", "4.0", "1.0", "0.005", ".99"});
    fx.win->pcon();
    QCOMPARE(fx.messages().size(), 1);
    QVERIFY(table->image(0) != f);
    QCOMPARE(bar->value(), 100);
}

QTEST_MAIN(TestProgressCancel)
#include "test_progresscancel.moc"
