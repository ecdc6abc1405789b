// The operation buttons and the Complex menu: each slot prepares its output
// buffer and hands over to the unary or binary dispatcher.
#include "mainwindow.h"
#include "operations.h"

void ZOlttoolMainWindow::dx() { operations->unary("dx"); }
void ZOlttoolMainWindow::dy() { operations->unary("dy"); }
void ZOlttoolMainWindow::dxx() { operations->unary("dxx"); }
void ZOlttoolMainWindow::dyy() { operations->unary("dyy"); }
void ZOlttoolMainWindow::dxdy() { operations->unary("dxdy"); }
void ZOlttoolMainWindow::curvature() { operations->unary("curvature"); }
void ZOlttoolMainWindow::exponent() { operations->unary("exponent"); }
void ZOlttoolMainWindow::gdir() { operations->binary("gdir"); }
void ZOlttoolMainWindow::inverse() { operations->unary("inverse"); }
void ZOlttoolMainWindow::natlog() { operations->unary("natlog"); }
void ZOlttoolMainWindow::laplacian() { operations->unary("laplacian"); }
void ZOlttoolMainWindow::histeq() { operations->unary("histeq"); }
void ZOlttoolMainWindow::pseudo() { operations->unary("pseudo"); }
void ZOlttoolMainWindow::blur() { operations->unary("blur"); }
void ZOlttoolMainWindow::ccl() { operations->unary("ccl"); }
void ZOlttoolMainWindow::c2mag() { operations->unary("c2mag"); }
void ZOlttoolMainWindow::c2phase() { operations->unary("c2phase"); }
void ZOlttoolMainWindow::c2real() { operations->unary("c2real"); }
void ZOlttoolMainWindow::c2imag() { operations->unary("c2imag"); }
void ZOlttoolMainWindow::fft() { operations->unary("fft"); }
void ZOlttoolMainWindow::ifft() { operations->unary("ifft"); }

void ZOlttoolMainWindow::correlate() { operations->binary("correlate"); }
void ZOlttoolMainWindow::add() { operations->binary("add"); }
void ZOlttoolMainWindow::sub() { operations->binary("sub"); }
void ZOlttoolMainWindow::mul() { operations->binary("mul"); }
void ZOlttoolMainWindow::div() { operations->binary("div"); }
void ZOlttoolMainWindow::pcon() { operations->binary("pcon"); }
