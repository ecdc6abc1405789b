// The buffer table: start state, installing images into slots and the viewer
// registry.
#include <QPointer>
#include <QWidget>
#include <QtTest>

#include "buffertable.h"
#include "zolt.h"

namespace {
ZoltHeader *floatImage(int cols, int rows) {
    const int dims[] = {2, cols, rows};
    return Zoltcreate("float", dims, 11, 0);
}
}  // namespace

class TestBufferTable : public QObject {
    Q_OBJECT

private slots:
    void startsEmpty() {
        BufferTable table(false);
        QCOMPARE(BufferTable::instance(), &table);
        for (int i = 0; i <= BufferTable::WorkSlot; ++i)
            QVERIFY(table.images[i] == nullptr);
        for (const QString &name : table.names)
            QVERIFY(name.isEmpty());
        QCOMPARE(table.maxValue, 0);
        QCOMPARE(table.lastClick, QPoint(0, 0));
        QCOMPARE(table.previousClick, QPoint(0, 0));
        QVERIFY(table.controlPanel == nullptr);
    }

    void instanceForgottenWhenDestroyed() {
        { BufferTable table(false); }
        QVERIFY(BufferTable::instance() == nullptr);
    }

    // A choice of -1 (no radio button checked) and indices past the work slot
    // look up as empty.
    void outOfRangeSlotsAreEmpty() {
        BufferTable table(false);
        table.install(0, floatImage(3, 2));
        QVERIFY(table.hasImage(0));
        QVERIFY(!table.hasImage(-1));
        QVERIFY(!table.hasImage(9));
        QVERIFY(table.image(-1) == nullptr);
        QVERIFY(table.take(-1) == nullptr);
    }

    // An index outside the table leaves the image with the caller.
    void installOutsideTableKeepsImage() {
        BufferTable table(false);
        ZoltHeader *img = floatImage(2, 2);
        table.install(-1, img);
        table.install(9, img);
        for (int i = 0; i <= BufferTable::WorkSlot; ++i)
            QVERIFY(table.images[i] == nullptr);
        QCOMPARE(Zoltdimen(img, 0), 2u);  // still a valid image
        Zoltfree(img, 7);
    }

    void installReplacesAndTakeHandsOver() {
        BufferTable table(false);
        ZoltHeader *first = floatImage(4, 3);
        ZoltHeader *second = floatImage(5, 6);
        table.install(2, first);
        QCOMPARE(table.image(2), first);
        table.install(2, second);  // first is released here
        QCOMPARE(table.image(2), second);
        QCOMPARE(table.take(2), second);
        QVERIFY(!table.hasImage(2));
        Zoltfree(second, 7);

        // The work slot takes images like any buffer.
        table.install(BufferTable::WorkSlot, floatImage(1, 1));
        QVERIFY(table.hasImage(BufferTable::WorkSlot));
        table.install(BufferTable::WorkSlot, nullptr);
        QVERIFY(!table.hasImage(BufferTable::WorkSlot));
    }

    // Installing the image a slot already holds must not release it.
    void reinstallingSameImageKeepsIt() {
        BufferTable table(false);
        ZoltHeader *img = floatImage(4, 3);
        table.install(1, img);
        table.install(1, img);
        QCOMPARE(table.image(1), img);
        QCOMPARE(Zoltdimen(table.image(1), 1), 3u);
    }

    void viewerUnderTwoSlotsRemovedFromBoth() {
        BufferTable table(false);
        QWidget viewer, other;
        table.enterViewer(1, &viewer);
        table.enterViewer(5, &viewer);
        table.enterViewer(3, &other);
        QCOMPARE(table.viewerSlot(&viewer), 1);
        table.removeViewer(&viewer);
        QVERIFY(table.viewer(1) == nullptr);
        QVERIFY(table.viewer(5) == nullptr);
        QCOMPARE(table.viewerSlot(&viewer), -1);
        // Another buffer's viewer stays entered.
        QCOMPARE(table.viewer(3), &other);
        QCOMPARE(table.viewerSlot(&other), 3);
    }

    void unregisteredViewerLooksUpAsMinusOne() {
        BufferTable table(false);
        QWidget stranger;
        QCOMPARE(table.viewerSlot(&stranger), -1);
        QCOMPARE(table.viewerSlot(nullptr), -1);
        table.removeViewer(&stranger);  // harmless
        // Entries outside 0..7 are refused, the work slot included.
        table.enterViewer(-1, &stranger);
        table.enterViewer(BufferTable::WorkSlot, &stranger);
        QCOMPARE(table.viewerSlot(&stranger), -1);
    }

    void laterEntryReplacesEarlier() {
        BufferTable table(false);
        QWidget a, b;
        table.enterViewer(4, &a);
        table.enterViewer(4, &b);
        QCOMPARE(table.viewer(4), &b);
        QCOMPARE(table.viewerSlot(&a), -1);
    }

    // Refilling a buffer deletes its viewer, and the entry does not outlive it
    // even when the viewer does not deregister itself.
    void refillingDeletesTheViewer() {
        BufferTable table(false);
        table.install(6, floatImage(2, 2));
        QPointer<QWidget> viewer = new QWidget;
        table.enterViewer(6, viewer);
        table.install(6, floatImage(3, 3));
        QVERIFY(viewer.isNull());
        QVERIFY(table.viewer(6) == nullptr);
        QCOMPARE(Zoltdimen(table.image(6), 0), 3u);
    }

    // The lock is free again after every registry write.
    void lockReleasedAfterWrites() {
        BufferTable table(false);
        QWidget v;
        table.enterViewer(0, &v);
        QVERIFY(table.viewerLock.tryLock());
        table.viewerLock.unlock();
        table.removeViewer(&v);
        QVERIFY(table.viewerLock.tryLock());
        table.viewerLock.unlock();
    }
};

QTEST_MAIN(TestBufferTable)
#include "test_buffertable.moc"
