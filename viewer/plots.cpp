// The profile and histogram switches of a viewer. Not filled in yet.
#include "childwindow.h"

void ZOlttoolChildWindow::profile() {}
void ZOlttoolChildWindow::histogram() {}
