// The two-input buttons on the control panel: Add in place with a
// translation, failures that keep the inputs, the correlation's refusals,
// pcon with every field cleared and its progress bar, and mode 1.
#include <QPointer>
#include <QProgressBar>
#include <QStatusBar>
#include <QtTest>

#include "bufferfixture.h"
#include "mfa.h"

namespace {

// A float image whose pixels count up from `first`.
ZoltHeader *counting(std::initializer_list<int> lengths, double first) {
    size_t n = 1;
    for (int l : lengths) n *= static_cast<size_t>(l);
    std::vector<double> v(n);
    for (size_t k = 0; k < n; ++k) v[k] = first + static_cast<double>(k % 251);
    return makeImage("float", lengths, v);
}

}  // namespace

class TestBinaryOps : public QObject {
    Q_OBJECT

    std::unique_ptr<PanelFixture> fx;
    BufferTable *table() const { return fx->table.get(); }

    void choose(int a, int b, int o) {
        fx->select("input1", a);
        fx->select("input2", b);
        fx->select("output", o);
    }

private slots:
    void init() { fx = std::make_unique<PanelFixture>(); }
    void cleanup() { fx.reset(); }

    void addInPlaceWithATranslation() {
        ZoltHeader *a = counting({100, 100}, 1), *b = counting({100, 100}, 1000);
        table()->install(0, a);
        table()->install(1, b);
        choose(0, 1, 0);
        QPointer<QWidget> viewer = new QWidget;
        table()->enterViewer(0, viewer);
        fx->asked->answer(QStringList{"10", "-5"});
        fx->win->add();
        QVERIFY(viewer.isNull() && !table()->viewer(0));  // the output's viewer closed
        const ScriptedPrompt::Entry form = fx->asked->log.value(0);
        QCOMPARE(form.kind, ScriptedPrompt::Form);
        QCOMPARE(form.text, QString("Translation of second image:"));
        QCOMPARE(form.preset.toStringList(), (QStringList{"0", "0"}));
        ZoltHeader *sum = table()->image(0);
        QVERIFY(sum && sum != a);  // image a is held by no buffer any more
        QCOMPARE(Zoltdimen(sum, 0), 105u);
        QCOMPARE(Zoltdimen(sum, 1), 110u);
        QCOMPARE(Zoltfgp(sum, 0, 5), 1.0);
        QCOMPARE(Zoltfgp(sum, 10, 0), 1000.0);
        QCOMPARE(table()->image(1), b);
        QVERIFY(fx->win->statusBar()->currentMessage().startsWith("Add: "));
        QVERIFY(fx->messages().isEmpty());

        // grey against colour in place: the message, and the input keeps its buffer
        table()->install(1, counting({4, 4, 3}, 0));
        fx->win->sub();
        QCOMPARE(fx->messages(), QStringList{"Add, Sub, Mul and Div need two grey or two colour images: "
                                             "image 1 is grey, image 2 is colour."});
        QCOMPARE(table()->image(0), sum);

        // a complex first input changes nothing
        table()->install(2, makeImage("32cmp", {4, 4}));
        choose(2, 0, 3);
        fx->win->div();
        QCOMPARE(fx->messages().last(), QString("Add, Sub, Mul and Div need real images."));
        QCOMPARE(fx->asked->texts(ScriptedPrompt::Form).size(), 1);  // neither refusal asks the translation
    }

    void correlationRefusalsKeepTheInputs() {
        ZoltHeader *image = counting({130, 130}, 0);
        table()->install(0, image);
        table()->install(1, counting({129, 128}, 0));
        table()->install(2, counting({128, 128}, 5));
        choose(0, 1, 0);
        fx->win->correlate();
        QCOMPARE(fx->messages(), QStringList{"Image 2 needs to be small, like 64x64 or less. Sorry."});
        QCOMPARE(table()->image(0), image);
        QVERIFY(fx->notes().isEmpty());

        choose(0, 2, 3);
        fx->win->correlate();
        QCOMPARE(fx->notes(), QStringList{"This may take a long time, please be patient."});
        QCOMPARE(fx->asked->log.last().msec, 1000);
        QCOMPARE(fx->messages().size(), 1);
        ZoltHeader *scores = table()->image(3);
        QVERIFY(scores && Zoltdimen(scores, 0) == 130u);
        QVERIFY(Zoltfgp(scores, 64, 64) != 0.0);  // inside the valid region
        QCOMPARE(Zoltfgp(scores, 0, 0), 0.0);

        // in place, the scores replace the image they were computed from
        choose(0, 2, 0);
        fx->win->correlate();
        QVERIFY(table()->image(0) != image && sameBytes(table()->image(0), scores));
    }

    void pconWithEveryFieldClearedRunsWithSigma3() {
        const std::vector<double> data = [] {
            std::vector<double> v(12 * 10);
            for (size_t k = 0; k < v.size(); ++k) v[k] = (k % 12 < 6 ? 20 : 60) + (k * 7919 % 13);
            return v;
        }();
        ZoltHeader *f = makeImage("float", {12, 10}, data), *g = makeImage("float", {12, 10}, data);
        ZoltHeader *wantF = makeImage("float", {12, 10}, data), *wantG = makeImage("float", {12, 10}, data);
        QCOMPARE(Pcon(wantF, wantG, 3.f, 0.03f, 4.f, 1.f, 0.005f, 0.99f), 0);
        table()->install(0, f);
        table()->install(1, g);
        choose(0, 1, 2);
        fx->asked->answer(QStringList{"", "", "", "", "", ""});
        fx->win->pcon();
        const ScriptedPrompt::Entry form = fx->asked->log.value(0);
        QCOMPARE(form.text, QString("MFA parameters: if not filled in,\n default will be used"));
        QCOMPARE(form.preset.toStringList(), (QStringList{"2.0", ".03", "4.0", "1.0", "0.005", ".99"}));
        QVERIFY(sameBytes(table()->image(0), wantF));  // the restored estimate
        QVERIFY(sameBytes(table()->image(1), wantG));  // the data, its border replicated
        QVERIFY(!table()->hasImage(2));                // the output buffer is not touched
        auto *bar = fx->win->statusBar()->findChild<QProgressBar *>("operationProgress");
        QVERIFY(bar && !bar->isVisible() && bar->value() == 100);
        Zoltfree(wantF, 7);
        Zoltfree(wantG, 7);

        // refusals: colour, an empty second input
        table()->install(3, counting({4, 4, 3}, 0));
        choose(3, 1, 2);
        fx->win->pcon();
        choose(0, 4, 2);
        fx->win->pcon();
        QCOMPARE(fx->messages(), (QStringList{"This function cannot run on color images.", "Input2 empty"}));
    }

    void modeOneAndTheUnlabelledButton() {
        table()->install(0, counting({4, 4}, 0));
        choose(0, 0, 1);
        fx->win->gdir();  // computes nothing, and changes no buffer
        QVERIFY(!table()->hasImage(1));
        fx->win->mode();
        for (auto slot : {&ZOlttoolMainWindow::add, &ZOlttoolMainWindow::correlate, &ZOlttoolMainWindow::pcon})
            (fx->win->*slot)();
        fx->win->gdir();
        const QString none = "No function has been defined for that button yet.";
        QCOMPARE(fx->messages(), (QStringList{none, none, none}));
    }
};

QTEST_MAIN(TestBinaryOps)
#include "test_binaryops.moc"
