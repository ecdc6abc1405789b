// The control panel: enable groups, chooser rows, the mode toggle, menus and
// tool bars, title, status bar, console, about and the document-open request.
#include <QAction>
#include <QFileOpenEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <memory>

#include "bufferfixture.h"
#include "subclassqapp.h"

namespace {

// Records the files the panel is asked to read instead of reading them.
class SpyWindow : public ZOlttoolMainWindow {
public:
    using ZOlttoolMainWindow::ZOlttoolMainWindow;
    QList<QPair<QString, int>> opened;
    void openImageFile(const QString &name, int slot) override { opened.append({name, slot}); }
};

const char *const unaryButtons[] = {"dx",       "dy",        "dxx",    "dyy",    "dxdy",  "ccl",  "blur",
                                    "exponent", "inverse",   "laplacian", "curvature", "histeq", "pseudo", "natlog"};
const char *const binaryButtons[] = {"add", "sub", "mul", "div", "pcon", "gdir", "correlate"};
const char *const outputActions[] = {"cut",          "copy",         "delete_",         "view",
                                     "increaseBrightness", "decreaseBrightness", "increaseWarm",
                                     "decreaseWarm", "increaseCool", "decreaseCool"};
const char *const input1Actions[] = {"dx",     "dy",      "dxx",    "dyy",    "dxdy",   "ccl",   "curvature",
                                     "exponent", "inverse", "natlog", "laplacian", "histeq", "pseudo", "c2mag",
                                     "c2phase", "c2real",  "c2imag", "fft",    "ifft"};
const char *const input2Actions[] = {"add", "sub", "mul", "div", "pcon"};
const char *const alwaysActions[] = {"open", "reopen", "archive", "saveAs", "runScript", "exit", "about", "mode"};

// Labels in mode 0 and mode 1, written out from the button table by hand.
const char *const labels[][3] = {
    {"dx", "DX", "HoG"},           {"dy", "DY", "ShowHoG"},        {"dxx", "DXX", "gMag"},
    {"dyy", "DYY", "gDir"},        {"dxdy", "DXY", "Clr2Gray"},    {"curvature", "Curv", "HarrisOp"},
    {"exponent", "Exp", "Crop"},   {"inverse", "Inv", "Resize"},   {"laplacian", "Lap", "Qvar"},
    {"natlog", "Ln", "N/A"},       {"histeq", "Histeq", "MarkMax"}, {"pseudo", "CMap", "2D 2 3D"},
    {"blur", "Blur", "N/A"},       {"ccl", "CCL", "ABS"},           {"add", "Add", "N/A"},
    {"sub", "Sub", "N/A"},         {"mul", "Mul", "N/A"},           {"div", "Div", "N/A"},
    {"correlate", "Correlate", "N/A"}, {"pcon", "pcon", "N/A"},     {"gdir", "N/A", "N/A"},
};

}  // namespace

class TestControlPanel : public QObject {
    Q_OBJECT

    std::unique_ptr<PanelFixture> fx;

    QPushButton *button(const char *slot) const { return fx->button(slot); }
    QAction *action(const char *slot) const { return fx->actionFor(slot); }
    QRadioButton *radio(const char *row, int i) const { return fx->radio(row, i); }

    // Checks every member of the three enable groups.
    void expectGroups(bool output, bool input1, bool input2) {
        for (const char *b : unaryButtons)
            QVERIFY2(button(b)->isEnabled() == input1, b);
        for (const char *b : binaryButtons)
            QVERIFY2(button(b)->isEnabled() == input2, b);
        for (const char *a : outputActions)
            QVERIFY2(action(a)->isEnabled() == output, a);
        for (const char *a : input1Actions)
            QVERIFY2(action(a)->isEnabled() == input1, a);
        for (const char *a : input2Actions)
            QVERIFY2(action(a)->isEnabled() == input2, a);
    }

    void expectAlwaysEnabled() {
        for (const char *a : alwaysActions)
            QVERIFY2(action(a)->isEnabled(), a);
    }

    // Lists what a menu or tool bar shows; "|" stands for a separator.
    static QStringList texts(const QList<QAction *> &actions) {
        QStringList out;
        for (QAction *a : actions)
            out << (a->isSeparator() ? QString("|") : a->text());
        return out;
    }

private slots:
    void initTestCase() {
        // No real settings of the user reach these tests. The settings store
        // fixes its folder at first use, so it is used here once, before the
        // fixtures move HOME.
        static QTemporaryDir home;
        QVERIFY(home.isValid());
        qputenv("HOME", home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(QSettings("ZOlttool", "Oltstore Tool").fileName().startsWith(home.path()));
    }

    void init() {
        fx = std::make_unique<PanelFixture>([](BufferTable *t) { return new SpyWindow(t); });
        fx->win->show();
    }

    void cleanup() { fx.reset(); }

    void startState() {
        expectGroups(false, false, false);
        expectAlwaysEnabled();
        QVERIFY(!action("paste")->isEnabled());
        QVERIFY(!action("rerunScript")->isEnabled());
        for (const char *row : {"input1", "input2", "output"}) {
            QVERIFY(radio(row, 0)->isChecked());
            for (int i = 1; i < 8; ++i)
                QVERIFY(!radio(row, i)->isChecked());
        }
        QCOMPARE(fx->win->input1Slot(), 0);
        QCOMPARE(fx->win->input2Slot(), 0);
        QCOMPARE(fx->win->outputSlot(), 0);
        QCOMPARE(fx->win->currentOperationMode(), 0);
    }

    void titleStatusBarAndConsole() {
        QCOMPARE(fx->win->windowTitle(), QString("ZoltTool Version 10.2.2"));
        QCOMPARE(fx->win->statusBar()->currentMessage(), QString("Ready"));
        auto *console = fx->win->findChild<QPlainTextEdit *>("console");
        QVERIFY(console->isReadOnly());
        QCOMPARE(console->toPlainText(), QString(">> Console"));
        // Pieces join without line ends of their own.
        fx->win->appendConsole("\nOpening a");
        fx->win->appendConsole("b\n");
        fx->win->appendConsole("c");
        QCOMPARE(console->toPlainText(), QString(">> Console\nOpening ab\nc"));
        // The text goes to the end even when the cursor was moved.
        console->moveCursor(QTextCursor::Start);
        fx->win->appendConsole("!");
        QVERIFY(console->toPlainText().endsWith("c!"));
    }

    // The nesting of the group boxes, outermost first.
    void groupBoxes() {
        auto title = [](QObject *o) {
            auto *box = qobject_cast<QGroupBox *>(o);
            return box ? box->title() : QString("(not a group box)");
        };
        QWidget *central = fx->win->centralWidget();
        QCOMPARE(title(central), QString());
        QCOMPARE(fx->win->findChild<QPlainTextEdit *>("console")->parentWidget(), central);
        QObject *input1 = radio("input1", 0)->parent();
        QCOMPARE(title(input1), QString("Input 1"));
        QCOMPARE(title(input1->parent()), QString("Image Select"));
        QCOMPARE(title(input1->parent()->parent()), QString("Control Panel Version 2.1"));
        QCOMPARE(input1->parent()->parent()->parent(), static_cast<QObject *>(central));
        QCOMPARE(title(radio("input2", 3)->parent()), QString("Input 2"));
        QCOMPARE(title(radio("output", 7)->parent()), QString("Output"));
        QCOMPARE(radio("output", 7)->text(), QString("7"));
        QCOMPARE(title(button("dx")->parent()), QString("Unary"));
        QCOMPARE(title(button("add")->parent()), QString("Binary"));
        QCOMPARE(title(button("add")->parent()->parent()), QString("Command"));
        QCOMPARE(title(button("add")->parent()->parent()->parent()), QString("Control Panel Version 2.1"));
    }

    void imageInSlotEnablesEverything() {
        fx->table->install(0, makeImage("float", {4, 3}));
        fx->win->updateAccessability();
        expectGroups(true, true, true);
        QVERIFY(button("div")->isEnabled());  // created disabled, enabled with its group
        expectAlwaysEnabled();
        QVERIFY(!action("paste")->isEnabled());
        QVERIFY(!action("rerunScript")->isEnabled());
    }

    // Each chooser click re-evaluates the groups.
    void chooserClicksReevaluate() {
        fx->table->install(0, makeImage("float", {4, 3}));
        fx->win->updateAccessability();
        QTest::mouseClick(radio("output", 3), Qt::LeftButton);
        QCOMPARE(fx->win->outputSlot(), 3);
        QVERIFY(radio("output", 3)->isChecked() && !radio("output", 0)->isChecked());
        expectGroups(false, true, true);
        QTest::mouseClick(radio("input2", 5), Qt::LeftButton);
        expectGroups(false, true, false);
        fx->table->install(5, makeImage("float", {2, 2}));
        QTest::mouseClick(radio("output", 5), Qt::LeftButton);
        expectGroups(true, true, true);
        // The rows are independent: Input 1 is still buffer 0.
        QCOMPARE(fx->win->input1Slot(), 0);
    }

    void emptyInput1DisablesEverything() {
        fx->table->install(1, makeImage("float", {4, 3}));
        QTest::mouseClick(radio("input2", 1), Qt::LeftButton);
        QTest::mouseClick(radio("output", 1), Qt::LeftButton);
        QCOMPARE(fx->win->input1Slot(), 0);
        expectGroups(true, false, false);
        QTest::mouseClick(radio("input1", 1), Qt::LeftButton);
        expectGroups(true, true, true);
        QTest::mouseClick(radio("input1", 7), Qt::LeftButton);
        expectGroups(true, false, false);
    }

    void disableButtonsClearsAllGroups() {
        fx->table->install(0, makeImage("float", {4, 3}));
        fx->win->updateAccessability();
        fx->win->disableButtons();
        expectGroups(false, false, false);
        expectAlwaysEnabled();
        fx->win->updateAccessability();
        expectGroups(true, true, true);
    }

    void modeToggledTwiceRestoresLabels() {
        fx->table->install(0, makeImage("float", {4, 3}));
        fx->win->updateAccessability();
        QCOMPARE(action("mode")->text(), QString("&Mode 0"));
        for (const auto &l : labels)
            QCOMPARE(button(l[0])->text(), QString(l[1]));

        action("mode")->trigger();
        QCOMPARE(fx->win->currentOperationMode(), 1);
        QCOMPARE(action("mode")->text(), QString("Mode 1"));
        for (const auto &l : labels)
            QCOMPARE(button(l[0])->text(), QString(l[2]));
        QCOMPARE(action("laplacian")->statusTip(), QString("Quadratic Variation"));
        QCOMPARE(action("curvature")->statusTip(), QString("Use Harris operator to find corners"));
        QCOMPARE(action("histeq")->statusTip(), QString("Mark Maxima in Red"));

        action("mode")->trigger();
        QCOMPARE(fx->win->currentOperationMode(), 0);
        QCOMPARE(action("mode")->text(), QString("Mode 0"));
        for (const auto &l : labels)
            QCOMPARE(button(l[0])->text(), QString(l[1]));
        QCOMPARE(action("laplacian")->statusTip(), QString("Laplacian of the image"));
        QCOMPARE(action("curvature")->statusTip(), QString("Use Harris operator to find corners"));
        QCOMPARE(action("histeq")->statusTip(), QString("Mark Maxima in Red"));
        // Action texts and the enable state are untouched by the mode.
        QCOMPARE(action("laplacian")->text(), QString("Laplacian"));
        expectGroups(true, true, true);
    }

    void buttonPlacesAndTips() {
        auto *grid = qobject_cast<QGridLayout *>(button("dx")->parentWidget()->layout());
        QVERIFY(grid);
        const struct {
            const char *name;
            int row, column;
        } places[] = {{"dx", 0, 1},       {"dy", 1, 1},        {"dxx", 2, 1},   {"dyy", 3, 1},
                      {"dxdy", 4, 1},     {"ccl", 5, 1},       {"blur", 6, 1},  {"exponent", 0, 2},
                      {"inverse", 1, 2},  {"laplacian", 2, 2}, {"curvature", 3, 2}, {"histeq", 4, 2},
                      {"pseudo", 5, 2},   {"natlog", 6, 2}};
        for (const auto &p : places) {
            int row, column, rowSpan, columnSpan;
            grid->getItemPosition(grid->indexOf(button(p.name)), &row, &column, &rowSpan, &columnSpan);
            QVERIFY2(row == p.row && column == p.column, p.name);
        }
        for (int r = 0; r < grid->rowCount(); ++r)
            QVERIFY(grid->itemAtPosition(r, 0) == nullptr);

        QLayout *stack = button("add")->parentWidget()->layout();
        QCOMPARE(stack->count(), 7);
        for (int i = 0; i < 7; ++i)
            QCOMPARE(stack->itemAt(i)->widget(), static_cast<QWidget *>(button(binaryButtons[i])));

        QCOMPARE(button("inverse")->toolTip(), QString("output=max-input"));
        QVERIFY(button("pseudo")->toolTip().endsWith("\n5:log\n6:random"));
        QVERIFY(button("natlog")->toolTip().isEmpty());
    }

    void menusAndToolBars() {
        QStringList titles;
        for (QAction *m : fx->win->menuBar()->actions())
            titles << m->text();
        QCOMPARE(titles, QStringList({"&File", "&Edit", "Display", "Unary", "Binary", "Complex", "&Help"}));
        const QList<QAction *> menus = fx->win->menuBar()->actions();
        QCOMPARE(texts(menus[0]->menu()->actions()),
                 QStringList({"&Read", "&ReRead", "&Archive", "&SaveAs", "Run Script", "|", "E&xit"}));
        QCOMPARE(texts(menus[1]->menu()->actions()),
                 QStringList({"&Undo", "&Redo", "|", "Cu&t", "&Copy", "&Paste", "&Delete", "|", "&History",
                              "Export History..."}));
        QCOMPARE(texts(menus[2]->menu()->actions()), QStringList({"&View"}));
        QCOMPARE(texts(menus[3]->menu()->actions()),
                 QStringList({"DX", "DY", "DXX", "DYY", "DXDY", "|", "Curvature", "Exponent", "Inverse", "Laplacian"}));
        QCOMPARE(texts(menus[4]->menu()->actions()), QStringList({"Add", "Sub", "Mul", "div", "pcon"}));
        QCOMPARE(texts(menus[5]->menu()->actions()),
                 QStringList({"ComlexMag", "ComlexPhase", "Real", "Imaginary", "FFT", "IFFT"}));
        QCOMPARE(texts(menus[6]->menu()->actions()), QStringList({"&About"}));

        const QList<QToolBar *> bars = fx->win->findChildren<QToolBar *>();
        QCOMPARE(bars.size(), 3);
        QStringList barTitles;
        for (QToolBar *b : bars)
            barTitles << b->windowTitle();
        QCOMPARE(barTitles, QStringList({"File", "Edit", "Display"}));
        QCOMPARE(texts(bars[0]->actions()), QStringList({"&Read", "&ReRead", "&Archive", "&SaveAs"}));
        QCOMPARE(texts(bars[1]->actions()), QStringList({"&Copy", "&Paste", "&ReRun"}));
        QCOMPARE(texts(bars[2]->actions()), QStringList({"&View", "&Mode 0"}));

        // Made and connected, but shown nowhere.
        for (const char *hidden : {"ccl", "natlog", "histeq", "pseudo", "increaseBrightness", "decreaseCool"})
            QVERIFY2(action(hidden)->associatedWidgets().isEmpty(), hidden);
    }

    void actionsKeysIconsAndTips() {
        QCOMPARE(action("open")->shortcuts(), QKeySequence::keyBindings(QKeySequence::Open));
        QCOMPARE(action("saveAs")->shortcuts(), QKeySequence::keyBindings(QKeySequence::SaveAs));
        QCOMPARE(action("exit")->shortcuts(), QKeySequence::keyBindings(QKeySequence::Quit));
        QCOMPARE(action("delete_")->shortcuts(), QKeySequence::keyBindings(QKeySequence::Delete));
        QVERIFY(action("view")->shortcuts().isEmpty());
        for (const char *icon : {"folder_new", "img_reopen", "archive", "save", "run", "cut", "copy", "paste",
                                 "delete", "view", "rerun"}) {
            const QImage img(QString(":/icons/%1.png").arg(icon));
            QVERIFY2(!img.isNull(), icon);
            QCOMPARE(img.size(), QSize(32, 32));
        }
        QVERIFY(!action("open")->icon().isNull());
        QVERIFY(action("about")->icon().isNull());
        QCOMPARE(action("div")->statusTip(), QString("divides inp1 by inp1 and saves it in output"));
        QCOMPARE(action("increaseWarm")->statusTip(), QString("Increases the Warmness slightly"));
    }

    void aboutAndBadMsgGoThroughThePrompt() {
        action("about")->trigger();
        QCOMPARE(fx->asked->log.size(), 1);
        QCOMPARE(fx->asked->log[0].kind, ScriptedPrompt::About);
        QCOMPARE(fx->asked->log[0].title, QString("About Application"));
        QCOMPARE(fx->asked->log[0].text, QString("ZOlttool 2.1 is an Oltstore tool which gives wide range of "
                                             "operations on images\nBuilt under Yosemite"));
        QVERIFY(fx->asked->log[0].hasParent);
        for (int code : {1, 2, 3, 0, 99})
            fx->win->badMsg(code);
        const QString none("No function has been defined for that button yet.");
        QCOMPARE(fx->asked->texts(ScriptedPrompt::Message),
                 QStringList({none, "The crop funtion has  been implemented.", "Function return error code.", none,
                              none}));
    }

    void panelNoteIsShortAndTitled() {
        fx->win->showNote("Zolt image");
        QCOMPARE(fx->asked->log.size(), 1);
        QCOMPARE(fx->asked->log[0].kind, ScriptedPrompt::Note);
        QCOMPARE(fx->asked->log[0].title, QString("message"));
        QCOMPARE(fx->asked->log[0].msec, 1000);
    }

    // A document the system asks to open goes to buffer 0 whatever Output selects.
    void fileOpenEventReachesSlotZero() {
        QTest::mouseClick(radio("output", 4), Qt::LeftButton);
        QFileOpenEvent request(QString("/data/pictures/cells.png"));
        QVERIFY(QCoreApplication::sendEvent(qApp, &request));
        const auto &opened = static_cast<SpyWindow *>(fx->win)->opened;
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened[0].first, QString("/data/pictures/cells.png"));
        QCOMPARE(opened[0].second, 0);
    }

    // The same request through the real reader: the picture lands in buffer 0
    // as three colour frames while Output points elsewhere.
    void fileOpenEventReadsPictureIntoSlotZero() {
        PanelFixture real;
        QImage picture(3, 2, QImage::Format_RGB32);
        picture.fill(qRgb(10, 20, 30));
        picture.setPixel(2, 1, qRgb(200, 100, 50));
        const QString path = real.path("two rows.png");
        QVERIFY(picture.save(path));

        real.win->show();
        QTest::mouseClick(real.radio("output", 4), Qt::LeftButton);
        QFileOpenEvent request(path);
        QVERIFY(QCoreApplication::sendEvent(qApp, &request));

        QVERIFY(!real.table->hasImage(4));
        const ZoltHeader *img = real.table->image(0);
        QVERIFY(img);
        QCOMPARE(Zoltdimen(img, 0), 3u);
        QCOMPARE(Zoltdimen(img, 1), 2u);
        QCOMPARE(Zoltdimen(img, 2), 3u);
        QCOMPARE(Zoltfgp3d(img, 0, 1, 2), 200.0);
        QCOMPARE(Zoltfgp3d(img, 1, 1, 2), 100.0);
        QCOMPARE(Zoltfgp3d(img, 2, 1, 2), 50.0);
        QCOMPARE(Zoltfgp3d(img, 2, 0, 0), 30.0);
    }

    void geometryReadButNeverWritten() {
        const QString file = QSettings("ZOlttool", "Oltstore Tool").fileName();
        QFile::remove(file);
        {
            // Without stored values the defaults apply, and nothing is stored.
            PanelFixture fresh;
            QCOMPARE(fresh.win->size(), QSize(400, 400));
            QCOMPARE(fresh.win->pos(), QPoint(200, 200));
            fresh.win->close();
        }
        QVERIFY(!QFile::exists(file));
        {
            QSettings settings("ZOlttool", "Oltstore Tool");
            settings.setValue("pos", QPoint(30, 40));
            settings.setValue("size", QSize(640, 480));
        }
        PanelFixture stored;
        QCOMPARE(stored.win->size(), QSize(640, 480));
        QCOMPARE(stored.win->pos(), QPoint(30, 40));
        QFile::remove(file);
    }
};

int main(int argc, char **argv) {
    SubClassQApp app(argc, argv);
    TestControlPanel tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "test_controlpanel.moc"
