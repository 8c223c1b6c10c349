// Draws the application icon at the sizes the desktop asks for, into
// hicolor/<size>x<size>/apps/org.ostrel.Ostrel.png beside this file. Not part of the
// build; run it after changing the drawing:
//   g++ -std=c++20 -fPIC make-icons.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/make-icons
//   QT_QPA_PLATFORM=offscreen /tmp/make-icons resources/icons
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

static QImage drawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Everything is drawn on a 64-unit grid.
    p.scale(size / 64.0, size / 64.0);

    // The sheet: a property list, its corner folded.
    QPainterPath sheet;
    sheet.moveTo(10, 4);
    sheet.lineTo(42, 4);
    sheet.lineTo(54, 16);
    sheet.lineTo(54, 60);
    sheet.lineTo(10, 60);
    sheet.closeSubpath();
    p.setPen(QPen(QColor(0x3b, 0x4a, 0x5c), 2.0));
    p.setBrush(QColor(0xf7, 0xf9, 0xfb));
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(42, 4);
    fold.lineTo(42, 16);
    fold.lineTo(54, 16);
    p.setBrush(QColor(0xd5, 0xdd, 0xe6));
    p.drawPath(fold);

    // Key and value lines; at the smallest size fewer, thicker ones.
    const bool small = size < 32;
    const int rows = small ? 3 : 5;
    const double step = small ? 10.0 : 7.0;
    const double thickness = small ? 4.0 : 3.0;
    for (int i = 0; i < rows; ++i) {
        const double y = 14 + i * step;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x6a, 0x3d, 0x9a));
        p.drawRoundedRect(QRectF(16, y, 10, thickness), 1, 1);
        p.setBrush(QColor(0x8a, 0x99, 0xaa));
        p.drawRoundedRect(QRectF(29, y, (i % 2) ? 14 : 19, thickness), 1, 1);
    }

    // The verdict: a green disc with a check mark.
    p.setPen(QPen(Qt::white, 2.5));
    p.setBrush(QColor(0x2e, 0x9e, 0x4f));
    p.drawEllipse(QPointF(46, 48), 14, 14);
    QPainterPath tick;
    tick.moveTo(39, 48);
    tick.lineTo(44, 53);
    tick.lineTo(53, 42);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    return image;
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString dir = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        out.mkpath(dir);
        const QString path = out.filePath(dir + QStringLiteral("/org.ostrel.Ostrel.png"));
        if (!drawIcon(size).save(path)) {
            std::fprintf(stderr, "make-icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
