// Paints the tool-bar icons as 32 x 32 PNG files and writes the resource list
// that compiles them in under ":/icons/". Usage: iconpainter OUTDIR NAME...
// With "--application OUTDIR SIZE..." it paints the program's own icon at each
// size into OUTDIR/<size>x<size>/apps/zolttool.png, the icon-theme layout.
// Every glyph is drawn from plain shapes in one palette and one stroke width,
// on a 32 x 32 grid that is scaled to the size asked for.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

namespace {

const QColor ink(0x2b, 0x3a, 0x4a);
const QColor paper(0xf7, 0xf9, 0xfb);
const QColor amber(0xf2, 0xb6, 0x3c);
const QColor sky(0x4a, 0x90, 0xd9);
const QColor leaf(0x3f, 0xa6, 0x5a);
const QColor brick(0xd2, 0x4b, 0x3e);

QPen stroke(const QColor &c = ink, double w = 2.0) {
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A sheet of paper with a folded corner.
void sheet(QPainter &p, const QRectF &r) {
    const double f = r.width() * 0.3;
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - f, r.top());
    path.lineTo(r.right(), r.top() + f);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(stroke());
    p.setBrush(paper);
    p.drawPath(path);
    p.drawPolyline(QPolygonF() << QPointF(r.right() - f, r.top()) << QPointF(r.right() - f, r.top() + f)
                               << QPointF(r.right(), r.top() + f));
}

// An arc of a circle around c ending in an arrow head, angles in degrees
// (counter-clockwise from three o'clock).
void circularArrow(QPainter &p, QPointF c, double radius, double from, double span, const QColor &colour) {
    const QRectF box(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
    p.setPen(stroke(colour, 2.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(box, int(from * 16), int(span * 16));
    const double end = (from + span) * M_PI / 180.0;
    const QPointF tip(c.x() + radius * std::cos(end), c.y() - radius * std::sin(end));
    // Tangent of the arc in the direction of travel.
    const double dir = span > 0 ? 1.0 : -1.0;
    const QPointF t(-std::sin(end) * dir, -std::cos(end) * dir);
    const QPointF n(-t.y(), t.x());
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(QPolygonF() << tip + t * 4.5 << tip + n * 4.5 << tip - n * 4.5);
}

void folderNew(QPainter &p) {
    QPainterPath back;
    back.moveTo(3, 8);
    back.lineTo(12, 8);
    back.lineTo(15, 11);
    back.lineTo(29, 11);
    back.lineTo(29, 27);
    back.lineTo(3, 27);
    back.closeSubpath();
    p.setPen(stroke());
    p.setBrush(amber.darker(115));
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(3, 27);
    front.lineTo(7, 15);
    front.lineTo(31, 15);
    front.lineTo(27, 27);
    front.closeSubpath();
    p.setBrush(amber);
    p.drawPath(front);
}

// A small landscape picture: frame, hill and sun.
void picture(QPainter &p, const QRectF &r) {
    p.setPen(stroke());
    p.setBrush(paper);
    p.drawRoundedRect(r, 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(amber);
    p.drawEllipse(QPointF(r.left() + r.width() * 0.72, r.top() + r.height() * 0.3), 2.5, 2.5);
    QPainterPath hill;
    hill.moveTo(r.left() + 1.5, r.bottom() - 1.5);
    hill.lineTo(r.left() + r.width() * 0.38, r.top() + r.height() * 0.42);
    hill.lineTo(r.left() + r.width() * 0.6, r.top() + r.height() * 0.7);
    hill.lineTo(r.left() + r.width() * 0.75, r.top() + r.height() * 0.55);
    hill.lineTo(r.right() - 1.5, r.bottom() - 1.5);
    hill.closeSubpath();
    p.setBrush(leaf);
    p.drawPath(hill);
}

void imgReopen(QPainter &p) {
    picture(p, QRectF(2, 4, 20, 16));
    circularArrow(p, QPointF(22, 22), 7, 200, -250, sky);
}

void archive(QPainter &p) {
    p.setPen(stroke());
    p.setBrush(amber.lighter(120));
    p.drawRect(QRectF(5, 12, 22, 16));
    p.setBrush(amber);
    p.drawRect(QRectF(3, 6, 26, 6));
    p.drawLine(QPointF(13, 17), QPointF(19, 17));
}

void save(QPainter &p) {
    QPainterPath body;
    body.moveTo(4, 4);
    body.lineTo(24, 4);
    body.lineTo(28, 8);
    body.lineTo(28, 28);
    body.lineTo(4, 28);
    body.closeSubpath();
    p.setPen(stroke());
    p.setBrush(sky);
    p.drawPath(body);
    p.setBrush(paper);
    p.drawRect(QRectF(9, 4, 13, 8));
    p.drawRect(QRectF(8, 17, 16, 11));
    p.setPen(stroke(ink, 1.5));
    p.drawLine(QPointF(11, 21), QPointF(21, 21));
    p.drawLine(QPointF(11, 24.5), QPointF(21, 24.5));
}

void run(QPainter &p) {
    p.setPen(stroke());
    p.setBrush(leaf);
    p.drawPolygon(QPolygonF() << QPointF(8, 4) << QPointF(27, 16) << QPointF(8, 28));
}

void cut(QPainter &p) {
    p.setPen(stroke(ink, 2.2));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(9, 3), QPointF(20, 20));
    p.drawLine(QPointF(23, 3), QPointF(12, 20));
    p.setBrush(paper);
    p.setPen(stroke(brick, 2.5));
    p.drawEllipse(QPointF(9.5, 24), 4.5, 4.5);
    p.drawEllipse(QPointF(22.5, 24), 4.5, 4.5);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(16, 14.5), 1.5, 1.5);
}

void copy(QPainter &p) {
    sheet(p, QRectF(4, 3, 16, 20));
    sheet(p, QRectF(12, 9, 16, 20));
}

void paste(QPainter &p) {
    p.setPen(stroke());
    p.setBrush(amber);
    p.drawRoundedRect(QRectF(4, 5, 20, 24), 2, 2);
    p.setBrush(ink.lighter(160));
    p.drawRoundedRect(QRectF(9, 2, 10, 6), 1.5, 1.5);
    sheet(p, QRectF(13, 12, 15, 18));
}

void deleteIcon(QPainter &p) {
    p.setPen(stroke());
    p.setBrush(paper);
    QPainterPath can;
    can.moveTo(7, 9);
    can.lineTo(25, 9);
    can.lineTo(23, 29);
    can.lineTo(9, 29);
    can.closeSubpath();
    p.drawPath(can);
    p.drawLine(QPointF(4, 8), QPointF(28, 8));
    p.drawLine(QPointF(13, 4), QPointF(19, 4));
    p.drawLine(QPointF(13, 4), QPointF(13, 8));
    p.drawLine(QPointF(19, 4), QPointF(19, 8));
    p.setPen(stroke(brick, 2.0));
    p.drawLine(QPointF(12.5, 13), QPointF(13, 25));
    p.drawLine(QPointF(16, 13), QPointF(16, 25));
    p.drawLine(QPointF(19.5, 13), QPointF(19, 25));
}

void view(QPainter &p) {
    QPainterPath eye;
    eye.moveTo(2, 16);
    eye.quadTo(16, 2, 30, 16);
    eye.quadTo(16, 30, 2, 16);
    p.setPen(stroke());
    p.setBrush(paper);
    p.drawPath(eye);
    p.setBrush(sky);
    p.drawEllipse(QPointF(16, 16), 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(16, 16), 2.5, 2.5);
}

void rerun(QPainter &p) {
    circularArrow(p, QPointF(16, 16), 11, 120, -300, sky);
    p.setPen(stroke(ink, 1.5));
    p.setBrush(leaf);
    p.drawPolygon(QPolygonF() << QPointF(13, 10) << QPointF(22, 16) << QPointF(13, 22));
}

// The program: three frames of an image, red, green and blue, stacked.
void application(QPainter &p) {
    p.setPen(stroke());
    p.setBrush(brick);
    p.drawRoundedRect(QRectF(11, 2, 19, 19), 2.5, 2.5);
    p.setBrush(leaf);
    p.drawRoundedRect(QRectF(6.5, 6.5, 19, 19), 2.5, 2.5);
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(2, 11, 19, 19), 2.5, 2.5);
    picture(p, QRectF(4.5, 13.5, 14, 14));
}

const std::map<std::string, std::function<void(QPainter &)>> painters = {
    {"folder_new", folderNew}, {"img_reopen", imgReopen}, {"archive", archive}, {"save", save},
    {"run", run},              {"cut", cut},              {"copy", copy},       {"paste", paste},
    {"delete", deleteIcon},    {"view", view},            {"rerun", rerun},
    {"zolttool", application},
};

QImage paint(const std::function<void(QPainter &)> &glyph, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    glyph(painter);
    return image;
}

int paintApplicationIcon(const QString &dir, int count, char **sizes) {
    for (int i = 0; i < count; ++i) {
        const int size = std::atoi(sizes[i]);
        if (size < 8 || size > 1024) {
            std::fprintf(stderr, "iconpainter: no icon size %s\n", sizes[i]);
            return 1;
        }
        const QString sub = QString("%1/%2x%2/apps").arg(dir).arg(size);
        if (!QDir().mkpath(sub) || !paint(application, size).save(sub + "/zolttool.png", "PNG")) {
            std::fprintf(stderr, "iconpainter: cannot write %s/zolttool.png\n", qPrintable(sub));
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc >= 4 && std::string(argv[1]) == "--application")
        return paintApplicationIcon(QString::fromLocal8Bit(argv[2]), argc - 3, argv + 3);
    if (argc < 3) {
        std::fprintf(stderr, "usage: iconpainter OUTDIR NAME...\n"
                             "       iconpainter --application OUTDIR SIZE...\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QString qrc = "<RCC>\n  <qresource prefix=\"/icons\">\n";
    for (int i = 2; i < argc; ++i) {
        const auto found = painters.find(argv[i]);
        if (found == painters.end()) {
            std::fprintf(stderr, "iconpainter: no glyph named %s\n", argv[i]);
            return 1;
        }
        const QImage image = paint(found->second, 32);
        const QString file = QString::fromLatin1(argv[i]) + ".png";
        if (!image.save(dir + "/" + file, "PNG")) {
            std::fprintf(stderr, "iconpainter: cannot write %s\n", qPrintable(dir + "/" + file));
            return 1;
        }
        qrc += "    <file>" + file + "</file>\n";
    }
    qrc += "  </qresource>\n</RCC>\n";
    QFile out(dir + "/icons.qrc");
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "iconpainter: cannot write %s\n", qPrintable(out.fileName()));
        return 1;
    }
    QTextStream(&out) << qrc;
    return 0;
}
