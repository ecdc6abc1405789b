// The overlay's image changes without the toolkit: a working copy given more
// or fewer frames (the marks live in a fourth frame), and a picture turned
// back into a "float" image of red, green and blue frames for saving.
#ifndef IMGPROC_OVERLAY_H
#define IMGPROC_OVERLAY_H

#include "display.h"
#include "zolt.h"

// A new zero-filled 3-D "float" image with the width and height of `img`
// ("float") and `frames` frames, holding the first min(frames, its frames)
// frames of `img` (a 1-D or 2-D image counts as one frame). Null (reported)
// when `img` is unusable, frames < 1 or memory runs out.
ZoltHeader *ZoltWithFrames(const ZoltHeader *img, int frames);

// A new zero-filled 3-D "float" image of the picture's width and height and
// `frames` (at least 3) frames: frames 0, 1, 2 hold the red, green and blue
// of each picture pixel (0..255). When `marks` is given (a "float" image of
// at least 4 frames), frame 3 holds its frame 3 wherever the picture and
// `marks` overlap. Null (reported) on bad arguments or when memory runs out.
ZoltHeader *ZoltPicturePlanes(const ZoltPictureRows &pic, int frames, const ZoltHeader *marks);

#endif
