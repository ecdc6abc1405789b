// Reads a boundary file and draws its points, one pixel each, on a zero-filled
// three-frame "u8bit" image. Points are not joined; coordinates outside the
// image are clamped to its border. The points are kept in a growing list, so a
// damaged count never decides how much is read or reserved.
#include "plotcontour.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Point {
    float x;
    float y;
};

// Reads up to `count` points (all when count is negative). A point counts only
// when both numbers parse, are finite and its line ends with a line feed.
std::vector<Point> readPoints(FILE *fp, long count) {
    std::vector<Point> points;
    while (count < 0 || static_cast<long>(points.size()) < count) {
        Point p{};
        if (std::fscanf(fp, "%f %f", &p.x, &p.y) != 2) break;
        int c;
        while ((c = std::fgetc(fp)) != EOF && c != '\n') {
        }
        if (c == EOF) break;
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) break;
        points.push_back(p);
    }
    return points;
}

// Image length along one axis: the fixed length, or the span of the points
// times the scale; 0 when it does not fit an image.
int axisLength(int fixed, float lo, float hi, float scale) {
    if (fixed != 0) return fixed > 0 ? fixed : 0;
    const float len = (hi - lo + 1.0f) * scale;
    if (!(len >= 1.0f) || len >= static_cast<float>(INT_MAX)) return 0;
    return static_cast<int>(len);
}

int clampIndex(double v, int len) {
    if (!(v >= 0.0)) return 0;  // NaN lands on 0 as well
    if (v >= static_cast<double>(len - 1)) return len - 1;
    return static_cast<int>(v);
}

ZoltHeader *fail(int code, const std::string &message) {
    ZoltErrorCode = code;
    Zoltext(message.c_str());
    return nullptr;
}

}  // namespace

ZoltHeader *plotcontour(const char *name, float scale, int fixedRows, int fixedCols, int raw) {
    ZoltDepthGuard depth;
    if (!name) return fail(ZOLT_ENULL, "plotcontour: NULL passed as file name.");
    FILE *fp = std::fopen(name, "rb");
    if (!fp) return fail(ZOLT_EOPEN, std::string("plotcontour:Could not open ") + name + ".");
    Zoltsay("plotcontour:read inputimage\n");
    std::fflush(stdout);

    std::fgetc(fp);
    std::fgetc(fp);
    long count = 0;
    std::vector<Point> points;
    if (std::fscanf(fp, "%ld", &count) == 1) points = readPoints(fp, count);
    std::fclose(fp);
    if (points.empty())
        return fail(ZOLT_EIO, std::string("plotcontour: no point could be read from ") + name + ".");

    float minx = points[0].x, maxx = points[0].x;
    float miny = points[0].y, maxy = points[0].y;
    for (const Point &p : points) {
        if (p.x < minx) minx = p.x;
        if (p.x > maxx) maxx = p.x;
        if (p.y < miny) miny = p.y;
        if (p.y > maxy) maxy = p.y;
    }
    const int rows = axisLength(fixedRows, miny, maxy, scale);
    const int cols = axisLength(fixedCols, minx, maxx, scale);
    if (rows < 1 || cols < 1)
        return fail(ZOLT_EDIM, std::string("plotcontour: the points of ") + name +
                                   " do not give an image of usable size.");

    const int dims[] = {3, cols, rows, 3};
    ZoltHeader *img = Zoltcreate("ubyte", dims, 11, 0);
    if (!img) return nullptr;
    auto *data = static_cast<unsigned char *>(img->oltptr);
    const size_t plane = static_cast<size_t>(cols) * static_cast<size_t>(rows);

    const size_t last = points.size() - 1;
    for (size_t i = 0; i < points.size(); ++i) {
        const Point &p = points[i];
        double r, c;
        if (raw == 1) {
            r = std::trunc(static_cast<double>(p.y));
            c = std::trunc(static_cast<double>(p.x));
        } else {
            r = std::trunc((static_cast<double>(p.y) - miny + 0.5) * scale);
            c = std::trunc((static_cast<double>(p.x) - minx + 0.5) * scale);
        }
        const size_t at = static_cast<size_t>(clampIndex(r, rows)) * static_cast<size_t>(cols) +
                          static_cast<size_t>(clampIndex(c, cols));
        unsigned char red = 255, green = 255, blue = 255;
        if (i == last) {
            red = 0;
            blue = 0;
        } else if (i == 0) {
            green = 0;
            blue = 0;
        }
        data[at] = red;
        data[plane + at] = green;
        data[2 * plane + at] = blue;
    }
    return img;
}
