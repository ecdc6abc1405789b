// The control panel: construction of its widgets, actions, menus and tool
// bars from the tables below, the enable rules and the operation mode.
#include "mainwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStatusBar>
#include <QTextCursor>
#include <QToolBar>
#include <QVBoxLayout>

#include <cstring>

#include "buffertable.h"
#include "operations.h"
#include "ops.h"
#include "prompt.h"

static void loadIcons() { Q_INIT_RESOURCE(icons); }

// Texts of the tables below, marked for translation in the window's context.
#define TR(s) QT_TRANSLATE_NOOP("ZOlttoolMainWindow", s)

namespace {

// The operation buttons; their labels in each mode come from the operation
// table. Unary buttons sit in the grid at (row, column); Binary ones are
// stacked in the order listed.
struct ButtonEntry {
    const char *name;     // object name: the slot's name plus "Button"
    const char *tip;      // tool tip, or null
    const char *slot;
    bool unary;
    int row, column;
    bool startsDisabled;
};

const ButtonEntry buttonTable[] = {
    {"dxButton", TR("First deriv wrt to x using convolution with derivative of a Gaussian"),
     SLOT(dx()), true, 0, 1, false},
    {"dyButton", TR("First deriv wrt to y using convolution with derivative of a Gaussian"),
     SLOT(dy()), true, 1, 1, false},
    {"dxxButton", TR("Second deriv wrt to x using convolution with derivative of a Gaussian"),
     SLOT(dxx()), true, 2, 1, false},
    {"dyyButton", TR("Second deriv wrt to y using convolution with derivative of a Gaussian"),
     SLOT(dyy()), true, 3, 1, false},
    {"dxdyButton", TR("second deriv wrt to xy using convolution with derivative of a Gaussian"),
     SLOT(dxdy()), true, 4, 1, false},
    {"cclButton", TR("connected components"), SLOT(ccl()), true, 5, 1, false},
    {"blurButton", TR("Blur the image with a Gaussian with user-selectable variance."),
     SLOT(blur()), true, 6, 1, false},
    {"exponentButton", TR("Exponentiate each pixel."), SLOT(exponent()), true, 0, 2, false},
    {"inverseButton", TR("output=max-input"), SLOT(inverse()), true, 1, 2, false},
    {"laplacianButton", TR("Calculate the Lapacian or QV at each pixel"), SLOT(laplacian()), true, 2, 2, false},
    {"curvatureButton", TR("Calculate the curvature of the level set at each point"), SLOT(curvature()),
     true, 3, 2, false},
    {"histeqButton", TR("Histogram equalization"), SLOT(histeq()), true, 4, 2, false},
    {"pseudoButton",
     TR("Replace each pixel with a color corresponding to brightness\n 0:gray scale\n1:inverse gray "
        "scale\n2:Bronson\n3:hot metal\n4:heated specturm\n5:log\n6:random"),
     SLOT(pseudo()), true, 5, 2, false},
    {"natlogButton", nullptr, SLOT(natlog()), true, 6, 2, false},
    {"addButton", nullptr, SLOT(add()), false, 0, 0, false},
    {"subButton", nullptr, SLOT(sub()), false, 0, 0, false},
    {"mulButton", nullptr, SLOT(mul()), false, 0, 0, false},
    {"divButton", nullptr, SLOT(div()), false, 0, 0, true},
    {"pconButton", nullptr, SLOT(pcon()), false, 0, 0, false},
    {"gdirButton", nullptr, SLOT(gdir()), false, 0, 0, false},
    {"correlateButton", nullptr, SLOT(correlate()), false, 0, 0, false},
};

// Which enable group an action belongs to.
enum Group { Always, OutputG, Input1G, Input2G };

struct ActionEntry {
    const char *name;  // object name: the slot's name plus "Act"
    const char *text;
    const char *icon;  // resource path, or null
    QKeySequence::StandardKey key;
    const char *tip;
    const char *slot;  // null: not connected; the exit action closes the window
    Group group;
    bool startsDisabled;
};

constexpr QKeySequence::StandardKey NoKey = QKeySequence::UnknownKey;

const ActionEntry actionTable[] = {
    {"openAct", TR("&Read"), ":/icons/folder_new.png", QKeySequence::Open, TR("Open an existing file"), SLOT(open()),
     Always, false},
    {"reopenAct", TR("&ReRead"), ":/icons/img_reopen.png", NoKey, TR("Reopen an existing file"), SLOT(reopen()), Always,
     false},
    {"archiveAct", TR("&Archive"), ":/icons/archive.png", NoKey,
     TR("Move the work image into the main image, overwriting the original."), SLOT(archive()), Always, false},
    {"saveAsAct", TR("&SaveAs"), ":/icons/save.png", QKeySequence::SaveAs,
     TR("Save the image selected as OUTPUT under a new name, including conversion."), SLOT(saveAs()), Always, false},
    {"runScriptAct", TR("Run Script"), ":/icons/run.png", NoKey, TR("Run a script on an image, read output back"),
     SLOT(runScript()), Always, false},
    {"exitAct", TR("E&xit"), nullptr, QKeySequence::Quit, TR("Exit the application"), SLOT(close()), Always, false},
    {"cutAct", TR("Cu&t"), ":/icons/cut.png", QKeySequence::Cut,
     TR("Cut the current selection's contents to the clipboard"), nullptr, OutputG, false},
    {"copyAct", TR("&Copy"), ":/icons/copy.png", QKeySequence::Copy,
     TR("Copy the current selection's contents to the clipboard"), SLOT(copy()), OutputG, false},
    {"pasteAct", TR("&Paste"), ":/icons/paste.png", QKeySequence::Paste,
     TR("Paste the clipboard's contents into output buffer"), SLOT(paste()), Always, true},
    {"delete_Act", TR("&Delete"), ":/icons/delete.png", QKeySequence::Delete, TR("Deletes the output buffer"),
     SLOT(delete_()), OutputG, false},
    {"undoAct", TR("&Undo"), nullptr, QKeySequence::Undo, TR("Undo the last change of a buffer"), SLOT(undo()),
     Always, true},
    {"redoAct", TR("&Redo"), nullptr, QKeySequence::Redo, TR("Redo the change undone last"), SLOT(redo()), Always,
     true},
    {"historyAct", TR("&History"), nullptr, NoKey, TR("List what was done this session"), SLOT(history()), Always,
     false},
    {"exportHistoryAct", TR("Export History..."), nullptr, NoKey,
     TR("Write a shell script of zolt commands that rebuilds the buffers from the files read"),
     SLOT(exportHistory()), Always, false},
    {"aboutAct", TR("&About"), nullptr, NoKey, TR("Show the application's About box"), SLOT(about()), Always, false},
    {"viewAct", TR("&View"), ":/icons/view.png", NoKey, TR("Display the selected output buffer"), SLOT(view()), OutputG,
     false},
    {"modeAct", TR("&Mode 0"), nullptr, NoKey, TR("Does mode things"), SLOT(mode()), Always, false},
    {"rerunScriptAct", TR("&ReRun"), ":/icons/rerun.png", NoKey, TR("Run the last script again."), SLOT(rerunScript()),
     Always, true},
    {"dxAct", TR("DX"), nullptr, NoKey, TR("First derivative wrt x of the image"), SLOT(dx()), Input1G, false},
    {"dyAct", TR("DY"), nullptr, NoKey, TR("First derivative wrt y of the image"), SLOT(dy()), Input1G, false},
    {"dxxAct", TR("DXX"), nullptr, NoKey, TR("Second derivative wrt x of the image"), SLOT(dxx()), Input1G, false},
    {"dyyAct", TR("DYY"), nullptr, NoKey, TR("Second derivative wrt y of the image"), SLOT(dyy()), Input1G, false},
    {"dxdyAct", TR("DXDY"), nullptr, NoKey, TR("Second derivative wrt x and y of the image"), SLOT(dxdy()), Input1G,
     false},
    {"cclAct", TR("CCL"), nullptr, NoKey, TR("Connected Components"), SLOT(ccl()), Input1G, false},
    {"curvatureAct", TR("Curvature"), nullptr, NoKey, TR("Curvature of the image"), SLOT(curvature()), Input1G, false},
    {"exponentAct", TR("Exponent"), nullptr, NoKey, TR("Exponent of the image"), SLOT(exponent()), Input1G, false},
    {"inverseAct", TR("Inverse"), nullptr, NoKey, TR("Inverse of the image"), SLOT(inverse()), Input1G, false},
    {"natlogAct", TR("nat log"), nullptr, NoKey, TR("log of the image"), SLOT(natlog()), Input1G, false},
    {"laplacianAct", TR("Laplacian"), nullptr, NoKey, TR("Laplacian of the image"), SLOT(laplacian()), Input1G, false},
    {"histeqAct", TR("HistEq"), nullptr, NoKey, TR("Histogram equalization"), SLOT(histeq()), Input1G, false},
    {"pseudoAct", TR("Psedo Color"), nullptr, NoKey, TR("Pseudo Color"), SLOT(pseudo()), Input1G, false},
    {"c2magAct", TR("ComlexMag"), nullptr, NoKey, TR("Complex magnitude"), SLOT(c2mag()), Input1G, false},
    {"c2phaseAct", TR("ComlexPhase"), nullptr, NoKey, TR("Complex phase"), SLOT(c2phase()), Input1G, false},
    {"c2realAct", TR("Real"), nullptr, NoKey, TR("Real"), SLOT(c2real()), Input1G, false},
    {"c2imagAct", TR("Imaginary"), nullptr, NoKey, TR("Complex imaginary"), SLOT(c2imag()), Input1G, false},
    {"fftAct", TR("FFT"), nullptr, NoKey, TR("Fast Fourier Tranform"), SLOT(fft()), Input1G, false},
    {"ifftAct", TR("IFFT"), nullptr, NoKey, TR("Inverse Fast Fourier Tranform"), SLOT(ifft()), Input1G, false},
    {"addAct", TR("Add"), nullptr, NoKey, TR("Adds inp1 and inp2 and saves it in output"), SLOT(add()), Input2G, false},
    {"subAct", TR("Sub"), nullptr, NoKey, TR("Subtracts inp2 from inp1 and saves it in output"), SLOT(sub()), Input2G,
     false},
    {"mulAct", TR("Mul"), nullptr, NoKey, TR("Multiplies inp2 from inp1 and saves it in output"), SLOT(mul()), Input2G,
     false},
    {"divAct", TR("div"), nullptr, NoKey, TR("divides inp1 by inp1 and saves it in output"), SLOT(div()), Input2G, false},
    {"pconAct", TR("pcon"), nullptr, NoKey, TR("segments an image using piecewise-constant MFA"), SLOT(pcon()), Input2G,
     false},
    // The display actions sit in no menu and no tool bar.
    {"increaseBrightnessAct", TR("Brighter"), nullptr, NoKey, TR("Increases the brightness slightly"),
     SLOT(increaseBrightness()), OutputG, false},
    {"decreaseBrightnessAct", TR("Darker"), nullptr, NoKey, TR("Decreases the brightness slightly"),
     SLOT(decreaseBrightness()), OutputG, false},
    {"increaseWarmAct", TR("Warmer"), nullptr, NoKey, TR("Increases the Warmness slightly"), SLOT(increaseWarm()),
     OutputG, false},
    {"decreaseWarmAct", TR("Less warm"), nullptr, NoKey, TR("Decreases the Warmness slightly"), SLOT(decreaseWarm()),
     OutputG, false},
    {"increaseCoolAct", TR("Cooler"), nullptr, NoKey, TR("Increases the Coolness slightly"), SLOT(increaseCool()),
     OutputG, false},
    {"decreaseCoolAct", TR("Less cool"), nullptr, NoKey, TR("Decreases the Coolness slightly"), SLOT(decreaseCool()),
     OutputG, false},
};

// Menus and tool bars list action object names in order, "|" for a separator;
// a null name ends the list.
struct BarEntry {
    const char *title;
    const char *actions[12];
};

const BarEntry menuTable[] = {
    {TR("&File"), {"openAct", "reopenAct", "archiveAct", "saveAsAct", "runScriptAct", "|", "exitAct"}},
    {TR("&Edit"),
     {"undoAct", "redoAct", "|", "cutAct", "copyAct", "pasteAct", "delete_Act", "|", "historyAct",
      "exportHistoryAct"}},
    {TR("Display"), {"viewAct"}},
    {TR("Unary"),
     {"dxAct", "dyAct", "dxxAct", "dyyAct", "dxdyAct", "|", "curvatureAct", "exponentAct", "inverseAct",
      "laplacianAct"}},
    {TR("Binary"), {"addAct", "subAct", "mulAct", "divAct", "pconAct"}},
    {TR("Complex"), {"c2magAct", "c2phaseAct", "c2realAct", "c2imagAct", "fftAct", "ifftAct"}},
    {TR("&Help"), {"aboutAct"}},
};

const BarEntry toolBarTable[] = {
    {TR("File"), {"openAct", "reopenAct", "archiveAct", "saveAsAct"}},
    {TR("Edit"), {"copyAct", "pasteAct", "rerunScriptAct"}},
    {TR("Display"), {"viewAct", "modeAct"}},
};

#undef TR

}  // namespace

// The label of a button in a mode: the operation table's, "N/A" where the
// button has no operation in that mode.
static QString buttonLabel(const ButtonEntry &b, int mode) {
    const QByteArray slot = QByteArray(b.name).chopped(int(std::strlen("Button")));
    return ZOlttoolMainWindow::tr(opButtonLabel(slot.constData(), mode));
}

// ------------------------------------------------------------ construction

ZOlttoolMainWindow::ZOlttoolMainWindow(BufferTable *table, QWidget *parent)
    : QMainWindow(parent), buffers(table), asker(new QtPrompt) {
    loadIcons();
    buildPanel();
    createActions();
    createMenus();
    createToolBars();
    statusBar()->showMessage(tr("Ready"));
    readSettings();
    disableButtons();
    operations.reset(new Operations(this));
    setWindowTitle(tr("ZoltTool Version 10.2.2"));
    // Files dropped anywhere on the panel reach dropEvent; the read-only
    // console would otherwise take (and refuse) drops over its area.
    setAcceptDrops(true);
    console->setAcceptDrops(false);
    console->viewport()->setAcceptDrops(false);
    buffers->changed = [this] { buffersChanged(); };
    buffers->reopenViewer = [this](int slot) { viewBuffer(slot); };
    buffersChanged();
}

ZOlttoolMainWindow::~ZOlttoolMainWindow() = default;

void ZOlttoolMainWindow::buildPanel() {
    auto *panelBox = new QGroupBox(tr("Control Panel Version 2.1"));
    auto *panelLayout = new QHBoxLayout(panelBox);

    auto *selectBox = new QGroupBox(tr("Image Select"));
    auto *selectLayout = new QVBoxLayout(selectBox);
    const char *rowTitles[3] = {QT_TR_NOOP("Input 1"), QT_TR_NOOP("Input 2"), QT_TR_NOOP("Output")};
    const char *rowNames[3] = {"input1", "input2", "output"};
    for (int row = 0; row < 3; ++row) {
        auto *rowBox = new QGroupBox(tr(rowTitles[row]));
        auto *rowLayout = new QHBoxLayout(rowBox);
        for (int i = 0; i < BufferTable::Buffers; ++i) {
            auto *radio = new QRadioButton(tr("%1").arg(i));
            radio->setObjectName(QString("%1Radio%2").arg(rowNames[row]).arg(i));
            radio->setAutoExclusive(true);
            radio->setChecked(i == 0);
            connect(radio, SIGNAL(clicked()), this, SLOT(updateAccessability()));
            rowLayout->addWidget(radio);
            choosers[row][i] = radio;
        }
        selectLayout->addWidget(rowBox);
    }

    auto *commandBox = new QGroupBox(tr("Command"));
    auto *commandLayout = new QHBoxLayout(commandBox);
    auto *unaryBox = new QGroupBox(tr("Unary"));
    auto *unaryLayout = new QGridLayout(unaryBox);
    auto *binaryBox = new QGroupBox(tr("Binary"));
    auto *binaryLayout = new QVBoxLayout(binaryBox);
    commandLayout->addWidget(unaryBox);
    commandLayout->addWidget(binaryBox);

    for (const ButtonEntry &b : buttonTable) {
        auto *button = new QPushButton(buttonLabel(b, 0));
        button->setObjectName(b.name);
        if (b.tip)
            button->setToolTip(tr(b.tip));
        button->setEnabled(!b.startsDisabled);
        connect(button, SIGNAL(released()), this, b.slot);
        if (b.unary) {
            unaryLayout->addWidget(button, b.row, b.column);
            Input1Group.widgets << button;
        } else {
            binaryLayout->addWidget(button);
            Input2Group.widgets << button;
        }
        operationButtons << button;
    }

    panelLayout->addWidget(selectBox);
    panelLayout->addWidget(commandBox);

    console = new QPlainTextEdit(tr(">> Console"));
    console->setObjectName("console");
    console->setReadOnly(true);

    auto *central = new QGroupBox;
    auto *centralLayout = new QVBoxLayout(central);
    centralLayout->addWidget(panelBox);
    centralLayout->addWidget(console);
    setCentralWidget(central);
}

void ZOlttoolMainWindow::createActions() {
    for (const ActionEntry &a : actionTable) {
        auto *action = new QAction(tr(a.text), this);
        action->setObjectName(a.name);
        if (a.icon)
            action->setIcon(QIcon(a.icon));
        if (a.key != NoKey)
            action->setShortcuts(a.key);
        action->setStatusTip(tr(a.tip));
        action->setEnabled(!a.startsDisabled);
        if (a.slot)
            connect(action, SIGNAL(triggered()), this, a.slot);
        switch (a.group) {
        case OutputG: OutputGroup.actions << action; break;
        case Input1G: Input1Group.actions << action; break;
        case Input2G: Input2Group.actions << action; break;
        case Always: break;
        }
    }
    pasteAct = findChild<QAction *>("pasteAct");
    rerunAct = findChild<QAction *>("rerunScriptAct");
    modeAct = findChild<QAction *>("modeAct");
    curvatureAct = findChild<QAction *>("curvatureAct");
    laplacianAct = findChild<QAction *>("laplacianAct");
    histeqAct = findChild<QAction *>("histeqAct");
    undoAct = findChild<QAction *>("undoAct");
    redoAct = findChild<QAction *>("redoAct");
}

// Fills a menu or tool bar from its list of action names.
template <typename Bar>
static void fill(Bar *bar, const QObject *actions, const char *const *names) {
    for (; *names; ++names) {
        if (std::strcmp(*names, "|") == 0)
            bar->addSeparator();
        else
            bar->addAction(actions->findChild<QAction *>(*names));
    }
}

void ZOlttoolMainWindow::createMenus() {
    for (const BarEntry &entry : menuTable)
        fill(menuBar()->addMenu(tr(entry.title)), this, entry.actions);
}

void ZOlttoolMainWindow::createToolBars() {
    for (const BarEntry &entry : toolBarTable) {
        QToolBar *bar = addToolBar(tr(entry.title));
        bar->setObjectName(QString("%1ToolBar").arg(entry.title));
        fill(bar, this, entry.actions);
    }
}

// The geometry is only read; the program never writes its settings.
void ZOlttoolMainWindow::readSettings() {
    QSettings settings("ZOlttool", "Oltstore Tool");
    const QPoint pos = settings.value("pos", QPoint(200, 200)).toPoint();
    const QSize size = settings.value("size", QSize(400, 400)).toSize();
    resize(size);
    move(pos);
}

// ------------------------------------------------------------- operations

int ZOlttoolMainWindow::selectedBuffer(Chooser row) const {
    for (int i = 0; i < BufferTable::Buffers; ++i)
        if (choosers[row][i]->isChecked())
            return i;
    return -1;
}

void ZOlttoolMainWindow::appendConsole(const QString &text) {
    console->moveCursor(QTextCursor::End);
    console->insertPlainText(text);
    console->moveCursor(QTextCursor::End);
}

void ZOlttoolMainWindow::showNote(const QString &text) { asker->note(tr("message"), text, 1000); }

void ZOlttoolMainWindow::setPrompt(std::unique_ptr<Prompt> p) {
    if (p)
        asker = std::move(p);
}

void ZOlttoolMainWindow::EnableGroup::setEnabled(bool on) const {
    for (QWidget *w : widgets)
        w->setEnabled(on);
    for (QAction *a : actions)
        a->setEnabled(on);
}

void ZOlttoolMainWindow::updateAccessability() {
    const bool output = buffers->hasImage(outputSlot());
    const bool input1 = buffers->hasImage(input1Slot());
    const bool input2 = buffers->hasImage(input2Slot());
    OutputGroup.setEnabled(output);
    Input1Group.setEnabled(input1);
    Input2Group.setEnabled(input1 && input2);
}

void ZOlttoolMainWindow::disableButtons() {
    OutputGroup.setEnabled(false);
    Input1Group.setEnabled(false);
    Input2Group.setEnabled(false);
}

void ZOlttoolMainWindow::relabel() {
    int i = 0;
    for (const ButtonEntry &b : buttonTable)
        operationButtons[i++]->setText(buttonLabel(b, operationMode));
}

void ZOlttoolMainWindow::mode() {
    operationMode = operationMode == 0 ? 1 : 0;
    modeAct->setText(operationMode ? tr("Mode 1") : tr("Mode 0"));
    relabel();
    if (operationMode == 1) {
        laplacianAct->setStatusTip(tr("Quadratic Variation"));
        curvatureAct->setStatusTip(tr("Use Harris operator to find corners"));
        histeqAct->setStatusTip(tr("Mark Maxima in Red"));
    } else {
        // Curvature and HistEq keep the tips of mode 1.
        laplacianAct->setStatusTip(tr("Laplacian of the image"));
    }
}

void ZOlttoolMainWindow::about() {
    asker->about(this, tr("About Application"),
                 tr("ZOlttool ") + QStringLiteral("2.1") +
                     tr(" is an Oltstore tool which gives wide range of operations on images\nBuilt under Yosemite"));
}

void ZOlttoolMainWindow::badMsg(int code) {
    QString text;
    switch (code) {
    case 2: text = tr("The crop funtion has  been implemented."); break;
    case 3: text = tr("Function return error code."); break;
    default: text = tr("No function has been defined for that button yet."); break;
    }
    asker->message(this, text);
}

void ZOlttoolMainWindow::closeEvent(QCloseEvent *event) {
    if (confirmQuit())
        event->accept();
    else
        event->ignore();
}

// The display adjustments live in the viewers; from the panel these only bring
// the enable state up to date.
void ZOlttoolMainWindow::mono() { updateAccessability(); }
void ZOlttoolMainWindow::increaseBrightness() { updateAccessability(); }
void ZOlttoolMainWindow::decreaseBrightness() {}
void ZOlttoolMainWindow::increaseWarm() { updateAccessability(); }
void ZOlttoolMainWindow::decreaseWarm() { updateAccessability(); }
void ZOlttoolMainWindow::increaseCool() { updateAccessability(); }
void ZOlttoolMainWindow::decreaseCool() {}

void ZOlttoolMainWindow::newout() {}
