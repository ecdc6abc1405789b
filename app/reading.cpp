// Reading images into the buffers: Read, ReRead and openImageFile.
#include "mainwindow.h"

void ZOlttoolMainWindow::open() {}

void ZOlttoolMainWindow::reopen() {}

void ZOlttoolMainWindow::openImageFile(const QString &, int) {}
