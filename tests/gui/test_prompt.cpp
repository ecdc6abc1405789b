// The two prompts: the scripted one answers in order and records everything;
// the real note closes itself without anyone clicking.
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QtTest>

#include "prompt.h"

class TestPrompt : public QObject {
    Q_OBJECT

private slots:
    void answersInOrderThenCancels() {
        ScriptedPrompt p;
        p.answer("/tmp/a.zol");
        p.answer("u8bit");
        p.cancel();
        p.answer(7);
        p.answer(2.5);
        QCOMPARE(p.openFileName(nullptr, "Open File", "/home"), QString("/tmp/a.zol"));
        bool ok = false;
        QCOMPARE(p.text(nullptr, "QInputDialog::getText()", "ZOLT data type:", "float", &ok), QString("u8bit"));
        QVERIFY(ok);
        // A queued cancel: the dialog reports not accepted and gives the start value.
        QCOMPARE(p.integer(nullptr, "t", "l", 3, 0, 10, 1, &ok), 3);
        QVERIFY(!ok);
        QCOMPARE(p.integer(nullptr, "t", "l", 3, 0, 10, 1, &ok), 7);
        QVERIFY(ok);
        QCOMPARE(p.real(nullptr, "t", "sigma", 1.0, 0.0, 100.0, 3, &ok), 2.5);
        QVERIFY(ok);
        QCOMPARE(p.pendingAnswers(), 0);
        // Nothing queued: every question is cancelled instead of waiting.
        QCOMPARE(p.saveFileName(nullptr, "SaveAs File", "/home"), QString());
        QCOMPARE(p.text(nullptr, "t", "l", "float", &ok), QString());
        QVERIFY(!ok);
        QCOMPARE(p.real(nullptr, "t", "l", 1.5, 0.0, 9.0, 2, &ok), 1.5);
        QVERIFY(!ok);
    }

    // Accepted answers stay inside the dialog's range, as the real dialogs do.
    void answersClampedToRange() {
        ScriptedPrompt p;
        p.answer(50);
        p.answer(-4.0);
        QCOMPARE(p.integer(nullptr, "t", "l", 3, 0, 10), 10);
        QCOMPARE(p.real(nullptr, "t", "l", 1.0, 1.0, 9.0, 2), 1.0);
    }

    void recordsQuestionsMessagesAndNotes() {
        ScriptedPrompt p;
        QWidget parent;
        p.answer("/x");
        p.openFileName(&parent, "Select Script", "/home/u");
        p.message(nullptr, "ScriptName is empty");
        p.note("message", "Zolt image", 1000);
        p.note("message", "done", 3000);
        QCOMPARE(p.log.size(), 4);
        QCOMPARE(p.log[0].kind, ScriptedPrompt::OpenFile);
        QCOMPARE(p.log[0].title, QString("Select Script"));
        QCOMPARE(p.log[0].preset.toString(), QString("/home/u"));
        QVERIFY(p.log[0].hasParent);
        QVERIFY(!p.log[1].hasParent);
        QCOMPARE(p.texts(ScriptedPrompt::Message), QStringList({"ScriptName is empty"}));
        QCOMPARE(p.texts(ScriptedPrompt::Note), QStringList({"Zolt image", "done"}));
        QCOMPARE(p.log[3].msec, 3000);
    }

    // The real note shows at once, does not block and goes away by itself.
    void realNoteClosesItself() {
        QtPrompt p;
        p.note("message", "Boundary file", 50);
        QPointer<QMessageBox> box;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *b = qobject_cast<QMessageBox *>(w); b && b->text() == "Boundary file")
                box = b;
        QVERIFY(box);
        QVERIFY(box->isVisible());
        QVERIFY(!box->isModal());
        QCOMPARE(box->windowTitle(), QString("message"));
        QVERIFY(box->parent() == nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(box.isNull(), 3000);
    }
};

QTEST_MAIN(TestPrompt)
#include "test_prompt.moc"
