// Generates the report's pictures: the neutral project logo (396 x 157,
// 256 colours) and the SB colour legend strip (427 x 14, eight swatches).
// Build: g++ -std=c++20 -fPIC make_images.cpp $(pkg-config --cflags --libs Qt6Gui) -o make_images
// Run:   QT_QPA_PLATFORM=offscreen ./make_images <output dir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");

    QImage logo(396, 157, QImage::Format_RGB32);
    logo.fill(Qt::white);
    {
        QPainter p(&logo);
        p.setRenderHint(QPainter::Antialiasing);
        // a milk drop in a circle
        p.setPen(Qt::NoPen);
        p.setBrush(QColor("#0B47E5"));
        p.drawEllipse(QRectF(18, 18, 121, 121));
        QPainterPath drop;
        drop.moveTo(78.5, 36);
        drop.cubicTo(100, 70, 110, 84, 110, 100);
        drop.cubicTo(110, 118, 96, 128, 78.5, 128);
        drop.cubicTo(61, 128, 47, 118, 47, 100);
        drop.cubicTo(47, 84, 57, 70, 78.5, 36);
        p.setBrush(Qt::white);
        p.drawPath(drop);
        QFont f(QStringLiteral("Liberation Sans"));
        f.setPixelSize(46);
        f.setBold(true);
        p.setFont(f);
        p.setPen(QColor("#1F2A44"));
        p.drawText(QRectF(152, 30, 240, 60), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("VACCORA"));
        f.setPixelSize(19);
        f.setBold(false);
        p.setFont(f);
        p.setPen(QColor("#4932A5"));
        p.drawText(QRectF(154, 88, 240, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("milk recording reports"));
    }
    logo.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither).save(dir + QStringLiteral("/logo.png"));

    QImage legend(427, 14, QImage::Format_RGB888);
    legend.fill(Qt::white);
    {
        QPainter p(&legend);
        const char* colours[] = {"#0B47E5", "#2A3CC6", "#4932A6", "#682886", "#881E66", "#A61347", "#C50A27", "#E50007"};
        // swatches under the labels' left edges (label lefts in template units,
        // picture from 94.48825 with a width of 506.45702 units)
        const double lefts[] = {105.82684, 162.51979, 230.55133, 294.80334, 359.05535, 419.52783, 483.77984, 548.03185};
        const double scale = 427.0 / 506.45702;
        for (int i = 0; i < 8; ++i) {
            const double x0 = (lefts[i] - 94.48825) * scale;
            const double x1 = i < 7 ? (lefts[i + 1] - 94.48825) * scale - 6 : 427 - 4;
            p.fillRect(QRectF(x0, 0, x1 - x0, 14), QColor(colours[i]));
        }
    }
    legend.save(dir + QStringLiteral("/legend.png"));
    return 0;
}
