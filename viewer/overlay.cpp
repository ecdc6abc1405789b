// Overlay drawing and removal, and the two saves of a viewer: the adjusted
// values back into the buffer, and the picture to a file. Not filled in yet.
#include "childwindow.h"

void ZOlttoolChildWindow::drawOverlay() {}
void ZOlttoolChildWindow::RemoveOverlay() {}
void ZOlttoolChildWindow::save() {}
void ZOlttoolChildWindow::saveBuffer() {}
