// The application object: a QApplication that also takes the system's
// requests to open a document.
#ifndef ZOLTTOOL_SUBCLASSQAPP_H
#define ZOLTTOOL_SUBCLASSQAPP_H

#include <QApplication>

class SubClassQApp : public QApplication {
public:
    SubClassQApp(int &argc, char **argv);

protected:
    // A document the system asks us to open always goes into buffer 0.
    bool event(QEvent *e) override;
};

#endif
