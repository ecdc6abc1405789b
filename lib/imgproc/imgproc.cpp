// Version text of the image-processing library.
#include "imgproc.h"

const char *ImgprocVersion() { return "imgproc 1.0"; }
