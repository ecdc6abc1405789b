// A viewer window: shows the image of one buffer, keeps a working copy of it
// scaled to 0..255 from which every redraw is made, and carries the dock of
// display controls ("Display", "RGB", "Edit") and the "Edit" tool bar.
#ifndef ZOLTTOOL_CHILDWINDOW_H
#define ZOLTTOOL_CHILDWINDOW_H

#include <QImage>
#include <QMainWindow>
#include <vector>

struct ZoltHeader;
class BufferTable;
class ZOlttoolMainWindow;
class QAction;
class QCheckBox;
class QDockWidget;
class QLabel;
class QScrollArea;
class QSlider;
class QSpinBox;
class QToolBar;
class QGridLayout;
class QMouseEvent;
class QPoint;
class Prompt;
struct ZoltLevelWindow;

class ZOlttoolChildWindow : public QMainWindow {
    Q_OBJECT

public:
    // Shows buffer `buffer` of the panel's table; takes ownership of `display`,
    // the picture made by makeDisplayImage for it.
    ZOlttoolChildWindow(ZOlttoolMainWindow *panel, QImage *display, int buffer);
    ~ZOlttoolChildWindow() override;

    // The working copy ("float", 0..255) and the picture as last drawn.
    const ZoltHeader *working() const { return workImage; }
    const QImage &currentPicture() const { return *initialImage; }
    float originalMax() const { return origMax; }
    float originalMin() const { return origMin; }

    // Frame drawn last; save-as of the control panel reads it.
    int curFrame = 0;

public slots:
    void bright(int value);
    void warm(int value);
    void cool(int value);
    void changeR(int value);
    void changeG(int value);
    void changeB(int value);
    void zoom(int value);
    void level();
    void window();
    void profile();
    void drawOverlay();
    void histogram();
    void saveBuffer();
    void save();
    void reset();
    void NewFrame(int frame);
    void NewImage();
    void checkIt();
    void overlayIt();
    void RemoveOverlay();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // A slider with its spin box, both -255..255 (or as given), linked both ways.
    struct Control {
        QLabel *label = nullptr;
        QSlider *slider = nullptr;
        QSpinBox *spin = nullptr;
    };

    void createDock();
    // The usual window size grown to show the whole picture, the dock and the
    // tool bar where the screen allows.
    QSize roomFor(QSize usual) const;
    void createActions();
    void createControls();
    Control addControl(QGridLayout *grid, int row, const QString &text, const QString &name);
    static void link(const Control &control);
    // Shows the picture in the label again.
    void showPicture();

    // The picture, ready to be drawn into: the label lets go of its pixmap
    // first, so drawing does not copy the whole picture. Show it again after.
    QImage &pictureToDraw();
    // Redraws the picture from the working copy with these channel offsets
    // and the Level and Window controls; remembers the offsets.
    void applyAdjustments(int red, int green, int blue);
    // Bounds of the contrast mapping from the Level and Window sliders.
    ZoltLevelWindow levelWindow() const;
    // The Level control's range for the Window slider's value.
    void rangeLevel();
    // Every offset 0, Level 0, Window 255: the working values drawn as they are.
    void neutralAdjustments();
    // Magnification of the Zoom slider.
    double currentZoom() const;
    // The picture position under a pointer event, in label coordinates.
    QPoint labelPosition(const QMouseEvent *event) const;
    // Column and row of the buffer image under a label position, when the
    // position lies in both the buffer image and the working copy.
    bool imagePosition(const QPoint &label, int *col, int *row) const;
    // The readout lines of one pixel on the console.
    void printReadout(int col, int row);
    // The profile and histogram windows of the recorded path.
    void plotPath();
    // Replaces the working copy by a zero-filled "float" copy with `frames`
    // frames of the same width and height holding its first frames.
    void reframeWorking(int frames);
    // Who asks and tells the user: the panel's prompt, or the real dialogs.
    Prompt &asker();

    ZoltHeader *workImage = nullptr;
    float origMax = 0.0f;
    float origMin = 0.0f;
    bool profileOn = false;
    bool overlayDrawOn = false;
    bool histogramOn = false;
    std::vector<int> pathCols;
    std::vector<int> pathRows;
    QLabel *imageLabel = nullptr;
    QScrollArea *scrollArea = nullptr;
    // The picture handed in at construction; what the label shows, and what
    // every redraw paints into.
    QImage *initialImage = nullptr;
    ZOlttoolMainWindow *panel = nullptr;
    int redOffset = 0;
    int greenOffset = 0;
    int blueOffset = 0;
    // Set while Bright, Warm or Cool move the colour controls to the sums they
    // drew, so those controls do not draw the picture again on the way.
    bool syncing = false;
    // A drag with the middle button pans the picture: where it started, in
    // global coordinates, and the scroll bars' values then.
    bool panning = false;
    QPoint panFrom, panStart;
    // What applyAdjustments drew last and the picture's key right after; a
    // call with the same settings on an untouched picture has nothing to do.
    struct Adjusted {
        qint64 key = 0;
        int offsets[3] = {0, 0, 0};
        int level = 0, window = 0;
        int frame = -1;  // the frame drawn alone in grey, or -1 for the colour picture
        bool operator==(const Adjusted &o) const {
            return key == o.key && offsets[0] == o.offsets[0] && offsets[1] == o.offsets[1] &&
                   offsets[2] == o.offsets[2] && level == o.level && window == o.window && frame == o.frame;
        }
    } lastAdjusted;

    // The table the buffer lives in; it outlives the panel and every viewer.
    BufferTable *buffers = nullptr;

    QToolBar *editToolBar = nullptr;
    QAction *profileAct = nullptr;
    QAction *histogramAct = nullptr;
    QAction *drawOverlayAct = nullptr;
    QAction *resetAct = nullptr;
    QAction *saveAct = nullptr;
    QAction *saveBufferAct = nullptr;

    QDockWidget *dock = nullptr;
    QGridLayout *displayGrid = nullptr;
    QGridLayout *rgbGrid = nullptr;
    QGridLayout *editGrid = nullptr;

    QLabel *frameLabel = nullptr;
    QSpinBox *frameSpin = nullptr;
    QCheckBox *colorCheck = nullptr;
    QCheckBox *overlayCheck = nullptr;
    Control brightCtl, warmCtl, coolCtl;
    Control redCtl, greenCtl, blueCtl;
    Control zoomCtl, levelCtl, windowCtl;
};

#endif
