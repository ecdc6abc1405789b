// The control panel: buffer choosers, operation buttons, menus, tool bars, the
// console and the rules that enable controls by which buffers hold images.
#ifndef ZOLTTOOL_MAINWINDOW_H
#define ZOLTTOOL_MAINWINDOW_H

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <memory>

class BufferTable;
class Operations;
class Prompt;
class QAction;
class QDragEnterEvent;
class QDropEvent;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

class ZOlttoolMainWindow : public QMainWindow {
    Q_OBJECT

public:
    // The three chooser rows.
    enum Chooser { Input1, Input2, Output };

    explicit ZOlttoolMainWindow(BufferTable *table, QWidget *parent = nullptr);
    ~ZOlttoolMainWindow() override;

    BufferTable *table() const { return buffers; }

    // Index of the first checked radio button of a row, or -1.
    int selectedBuffer(Chooser row) const;
    int input1Slot() const { return selectedBuffer(Input1); }
    int input2Slot() const { return selectedBuffer(Input2); }
    int outputSlot() const { return selectedBuffer(Output); }

    // Appends to the console without adding a line end.
    void appendConsole(const QString &text);
    // The panel's self-closing note: titled "message", gone after a second.
    void showNote(const QString &text);

    // Who asks and tells the user; the window owns it.
    Prompt &prompt() const { return *asker; }
    void setPrompt(std::unique_ptr<Prompt> p);

    int currentOperationMode() const { return operationMode; }
    // Whether `name` is, after links, an image file read or saved since the
    // program started (so that no text file is written over one).
    bool isSessionImageFile(const QString &name) const;

    // Reads a file into a buffer and reports it on the console.
    virtual void openImageFile(const QString &fileName, int slot);
    // A viewer for buffer `slot`, replacing the one it had.
    void viewBuffer(int slot);

public slots:
    void badMsg(int code);
    void open();
    void reopen();
    bool save();
    bool archive();
    bool saveAs();
    void runScript();
    void about();
    void view();
    void mode();
    void copy();
    void paste();
    void delete_();
    void mono();
    void increaseBrightness();
    void decreaseBrightness();
    void increaseWarm();
    void decreaseWarm();
    void increaseCool();
    void decreaseCool();
    void dx();
    void dy();
    void dxx();
    void dyy();
    void dxdy();
    void curvature();
    void exponent();
    void gdir();
    void inverse();
    void natlog();
    void laplacian();
    void histeq();
    void pseudo();
    void blur();
    void ccl();
    void c2mag();
    void c2phase();
    void c2real();
    void c2imag();
    void fft();
    void ifft();
    void correlate();
    void add();
    void sub();
    void mul();
    void div();
    void pcon();
    void newout();
    void updateAccessability();
    void rerunScript();
    void disableButtons();
    // Edit menu: undo and redo of buffer changes, the session's history.
    void undo();
    void redo();
    void history();
    bool exportHistory();

signals:
    // A script run has ended; its result, if any, is in the Input 2 buffer.
    void scriptFinished();

protected:
    void closeEvent(QCloseEvent *event) override;
    // Files dropped on the panel are read into the Output buffer and the
    // buffers after it, as Read reads them.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // Widgets and actions that are switched on and off together.
    struct EnableGroup {
        QList<QWidget *> widgets;
        QList<QAction *> actions;
        void setEnabled(bool on) const;
    };

    void buildPanel();
    void createActions();
    void createMenus();
    void createToolBars();
    void readSettings();
    void relabel();

    BufferTable *buffers;
    std::unique_ptr<Prompt> asker;
    std::unique_ptr<Operations> operations;
    int operationMode = 0;

    QRadioButton *choosers[3][8] = {};
    QList<QPushButton *> operationButtons;
    QPlainTextEdit *console = nullptr;

    EnableGroup OutputGroup;
    EnableGroup Input1Group;
    EnableGroup Input2Group;

    QAction *pasteAct = nullptr;
    QAction *rerunAct = nullptr;
    QAction *modeAct = nullptr;
    QAction *curvatureAct = nullptr;
    QAction *laplacianAct = nullptr;
    QAction *histeqAct = nullptr;

    // ---- undo, history and the buffer overview ----
    void buffersChanged();
    // Asks once before quitting over buffers holding results never saved.
    bool confirmQuit();
    QAction *undoAct = nullptr;
    QAction *redoAct = nullptr;
    QPlainTextEdit *historyView = nullptr;

    // Members of the reading, saving, script and viewing commands follow in
    // their own marked blocks.

    // ---- reading, saving, copy and paste, the script runner ----
    struct ImageDeleter {  // releases an image of the library (the clipboard's)
        void operator()(struct ZoltHeader *img) const;
    };
    void printStatistics(const ZoltHeader *img, const QString &zoltType);
    void runStoredScript();
    void finishScript();
    void takeScriptResult();
    void holdControls(bool hold);

    QString currentPath;      // file read last; where the Read dialog starts
    QStringList imageFiles;   // every image file read or saved so far
    QString lastOpenedPath;   // the file ReRead reads again
    QString currentFileName;  // file-name part of it; becomes the buffer's name
    std::unique_ptr<ZoltHeader, ImageDeleter> clipboardImage;  // Copy and Paste
    QString scriptPath;       // the script chosen last
    QString scriptDir;        // its directory
    QString tempInputPath;    // image handed to it; empty until a script is chosen
    QString tempOutputPath;   // image it leaves behind
    class ScriptRun *scriptRun = nullptr;         // the script running now, or null
    QList<QPair<QPointer<QObject>, bool>> heldControls;  // what a run switched off, and how it was
    bool heldDrops = true;
    // ---- end of reading, saving and script members ----
};

#endif
