// The plot window of a viewer's profiles and histograms: one QCustomPlot
// widget in a main window of its own, with three graphs (red, green, blue).
#ifndef ZOLTTOOL_PLOTWINDOW_H
#define ZOLTTOOL_PLOTWINDOW_H

#include <QMainWindow>
#include <QVector>

class QCustomPlot;
class QStatusBar;
class QVBoxLayout;

// The widgets of the window, built by setupUi.
struct Ui_MainWindow {
    QWidget *centralWidget = nullptr;
    QVBoxLayout *verticalLayout = nullptr;
    QCustomPlot *customPlot = nullptr;
    QStatusBar *statusBar = nullptr;

    void setupUi(QMainWindow *window);
    void retranslateUi(QMainWindow *window);
};

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Plots the three series against 0, 1, ..., n - 1 (n the red series'
    // length): mode 0 a profile ("Data points" / "RGB"), mode 1 a histogram
    // ("Histogram Bins" / "Repititions"). The axes are rescaled to the data.
    void setupPlot(QVector<double> red, QVector<double> green, QVector<double> blue, int mode);

    QCustomPlot *plot() const { return customPlot; }

private:
    Ui_MainWindow *ui = nullptr;
    QCustomPlot *customPlot = nullptr;
};

#endif
