// The operation buttons and the Complex menu: each slot prepares its output
// buffer and hands over to the unary or binary dispatcher.
#include "mainwindow.h"

void ZOlttoolMainWindow::dx() {}
void ZOlttoolMainWindow::dy() {}
void ZOlttoolMainWindow::dxx() {}
void ZOlttoolMainWindow::dyy() {}
void ZOlttoolMainWindow::dxdy() {}
void ZOlttoolMainWindow::curvature() {}
void ZOlttoolMainWindow::exponent() {}
void ZOlttoolMainWindow::gdir() {}
void ZOlttoolMainWindow::inverse() {}
void ZOlttoolMainWindow::natlog() {}
void ZOlttoolMainWindow::laplacian() {}
void ZOlttoolMainWindow::histeq() {}
void ZOlttoolMainWindow::pseudo() {}
void ZOlttoolMainWindow::blur() {}
void ZOlttoolMainWindow::ccl() {}
void ZOlttoolMainWindow::c2mag() {}
void ZOlttoolMainWindow::c2phase() {}
void ZOlttoolMainWindow::c2real() {}
void ZOlttoolMainWindow::c2imag() {}
void ZOlttoolMainWindow::fft() {}
void ZOlttoolMainWindow::ifft() {}

void ZOlttoolMainWindow::correlate() {}
void ZOlttoolMainWindow::add() {}
void ZOlttoolMainWindow::sub() {}
void ZOlttoolMainWindow::mul() {}
void ZOlttoolMainWindow::div() {}
void ZOlttoolMainWindow::pcon() {}
