// The plot window: its form (a QCustomPlot in a vertical layout), its size and
// title, and the set-up of a profile or histogram plot of three series.
#include "plotwindow.h"

#include <QCoreApplication>
#include <QStatusBar>
#include <QVBoxLayout>
#include <qcustomplot.h>

void Ui_MainWindow::setupUi(QMainWindow *window) {
    if (window->objectName().isEmpty()) window->setObjectName("MainWindow");
    window->resize(548, 420);
    centralWidget = new QWidget(window);
    centralWidget->setObjectName("centralWidget");
    verticalLayout = new QVBoxLayout(centralWidget);
    verticalLayout->setSpacing(6);
    verticalLayout->setContentsMargins(11, 11, 11, 11);
    verticalLayout->setObjectName("verticalLayout");
    customPlot = new QCustomPlot(centralWidget);
    customPlot->setObjectName("customPlot");
    verticalLayout->addWidget(customPlot);
    window->setCentralWidget(centralWidget);
    statusBar = new QStatusBar(window);
    statusBar->setObjectName("statusBar");
    window->setStatusBar(statusBar);
    retranslateUi(window);
    QMetaObject::connectSlotsByName(window);
}

void Ui_MainWindow::retranslateUi(QMainWindow *window) {
    window->setWindowTitle(QCoreApplication::translate("MainWindow", "QCustomPlot plot examples"));
}

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui_MainWindow) {
    ui->setupUi(this);
    customPlot = ui->customPlot;
    setGeometry(400, 250, 542, 390);
}

MainWindow::~MainWindow() { delete ui; }

void MainWindow::setupPlot(QVector<double> red, QVector<double> green, QVector<double> blue, int mode) {
    const QColor colours[3] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255)};
    const Qt::GlobalColor pens[3] = {Qt::red, Qt::green, Qt::blue};
    for (int i = 0; i < 3; ++i) {
        customPlot->addGraph();
        customPlot->graph(i)->setPen(QPen(pens[i]));
        QColor fill = colours[i];
        fill.setAlpha(20);
        customPlot->graph(i)->setBrush(QBrush(fill));
    }

    const int n = red.size();
    QVector<double> keys(n);
    for (int i = 0; i < n; ++i) keys[i] = i;
    customPlot->xAxis->setRange(0, n);
    customPlot->yAxis->setRange(0, 255);

    // Top and right axes frame the plot and follow the bottom and left ones.
    customPlot->xAxis2->setVisible(true);
    customPlot->xAxis2->setTickLabels(false);
    customPlot->yAxis2->setVisible(true);
    customPlot->yAxis2->setTickLabels(false);
    connect(customPlot->xAxis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), customPlot->xAxis2,
            QOverload<const QCPRange &>::of(&QCPAxis::setRange));
    connect(customPlot->yAxis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), customPlot->yAxis2,
            QOverload<const QCPRange &>::of(&QCPAxis::setRange));

    if (mode == 1) {
        customPlot->xAxis->setLabel(tr("Histogram Bins"));
        customPlot->yAxis->setLabel(tr("Repititions"));
    } else {
        customPlot->xAxis->setLabel(tr("Data points"));
        customPlot->yAxis->setLabel(tr("RGB"));
    }

    customPlot->graph(0)->setData(keys, red);
    customPlot->graph(1)->setData(keys, green);
    customPlot->graph(2)->setData(keys, blue);
    customPlot->graph(0)->rescaleAxes();
    customPlot->graph(1)->rescaleAxes(true);
    customPlot->graph(2)->rescaleAxes(true);
    customPlot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables);
}
