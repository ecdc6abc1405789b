// Saving and the buffer commands: Save As, Copy, Paste, Delete, Save, Archive.
#include "mainwindow.h"

bool ZOlttoolMainWindow::saveAs() { return false; }

void ZOlttoolMainWindow::copy() {}

void ZOlttoolMainWindow::paste() {}

void ZOlttoolMainWindow::delete_() {}

bool ZOlttoolMainWindow::save() { return false; }

bool ZOlttoolMainWindow::archive() { return false; }
