#include "report/ReportRender.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QTextDocument>

#include <cmath>

static int alignFlags(const TTextStyle& s) {
    int f = 0;
    if (s.HAlign == QLatin1String("center")) f |= Qt::AlignHCenter;
    else if (s.HAlign == QLatin1String("right")) f |= Qt::AlignRight;
    else if (s.HAlign == QLatin1String("justify")) f |= Qt::AlignJustify;
    else f |= Qt::AlignLeft;
    if (s.VAlign == QLatin1String("center")) f |= Qt::AlignVCenter;
    else if (s.VAlign == QLatin1String("bottom")) f |= Qt::AlignBottom;
    else f |= Qt::AlignTop;
    if (s.WordWrap) f |= Qt::TextWordWrap;
    return f;
}

static void drawTextBox(QPainter& p, const QRectF& r, const QString& text, const TTextStyle& s) {
    if (!s.Background.isEmpty()) p.fillRect(r, QColor(s.Background));
    if (s.Frame) {
        QPen pen(QColor(s.FrameColor));
        pen.setWidthF(0.75);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r);
    }
    if (text.isEmpty()) return;
    p.setFont(vaccoraReportFont(s.Font));
    p.setPen(QColor(s.Color));
    p.drawText(r.adjusted(s.GapX, s.GapY, -s.GapX, -s.GapY), alignFlags(s), text);
}

void vaccoraRenderPage(QPainter& p, const TPreparedReport& report, int index, double unitScale) {
    if (index < 0 || index >= report.Pages.size()) return;
    const TPreparedPage& page = report.Pages[index];
    p.save();
    p.scale(unitScale, unitScale);
    p.fillRect(QRectF(0, 0, page.PaperWidthMm * kUnitsPerMm, page.PaperHeightMm * kUnitsPerMm), Qt::white);
    p.translate(page.MarginLeftMm * kUnitsPerMm, page.MarginTopMm * kUnitsPerMm);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    for (const TPrintedObject& o : page.Objects) {
        if (o.Kind == QLatin1String("text")) {
            drawTextBox(p, o.Rect, o.Text, o.Style);
        } else if (o.Kind == QLatin1String("crosstab")) {
            for (const TPrintedBox& b : o.Boxes) drawTextBox(p, b.Rect, b.Text, b.Style);
        } else if (o.Kind == QLatin1String("picture")) {
            QImage img;
            img.loadFromData(report.Images.value(o.Image));
            if (img.isNull()) continue;
            QRectF target = o.Rect;
            if (o.KeepAspect) {
                const QSizeF s = QSizeF(img.size()).scaled(o.Rect.size(), Qt::KeepAspectRatio);
                target = QRectF(o.Rect.left() + (o.Rect.width() - s.width()) / 2, o.Rect.top() + (o.Rect.height() - s.height()) / 2,
                                s.width(), s.height());
            }
            p.drawImage(target, img);
        } else if (o.Kind == QLatin1String("richtext")) {
            QTextDocument doc;
            doc.setDocumentMargin(0);
            doc.setDefaultFont(vaccoraReportFont(o.Style.Font));
            doc.setHtml(o.Html);
            const QRectF inner = o.Rect.adjusted(o.Style.GapX, o.Style.GapY, -o.Style.GapX, -o.Style.GapY);
            doc.setTextWidth(inner.width());
            p.save();
            p.translate(inner.topLeft());
            QAbstractTextDocumentLayout::PaintContext ctx;
            ctx.clip = QRectF(0, 0, inner.width(), inner.height());
            ctx.palette.setColor(QPalette::Text, Qt::black);
            p.setClipRect(ctx.clip);
            doc.documentLayout()->draw(&p, ctx);
            p.restore();
        } else if (o.Kind == QLatin1String("chart")) {
            vaccoraPaintChart(p, o.Rect, report.Charts.value(o.Name).toObject());
        }
    }
    p.restore();
}

void vaccoraWritePdf(const TPreparedReport& report, const QString& fileName) {
    QPdfWriter writer(fileName);
    if (!writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0))))
        throw EReportError(QStringLiteral("Cannot set up the PDF page"));
    const int dpi = 1200;
    writer.setResolution(dpi);
    writer.setCreator(QStringLiteral("Vaccora 1.0"));
    writer.setTitle(QStringLiteral("Report"));
    QPainter painter;
    if (!painter.begin(&writer)) throw EReportError(QStringLiteral("Cannot write %1").arg(fileName));
    for (int i = 0; i < report.Pages.size(); ++i) {
        const TPreparedPage& pg = report.Pages[i];
        if (i > 0) {
            writer.setPageSize(QPageSize(QSizeF(pg.PaperWidthMm, pg.PaperHeightMm), QPageSize::Millimeter));
            writer.newPage();
        }
        vaccoraRenderPage(painter, report, i, dpi / 96.0);
    }
    if (!painter.end()) throw EReportError(QStringLiteral("Cannot write %1").arg(fileName));
    QFile check(fileName);
    if (!check.exists() || check.size() == 0) throw EReportError(QStringLiteral("Cannot write %1").arg(fileName));
}

void vaccoraPrintReport(const TPreparedReport& report, QPrinter& printer) {
    printer.setFullPage(true);
    QPainter painter;
    if (!painter.begin(&printer)) throw EReportError(QStringLiteral("Cannot start printing"));
    int first = 0, last = (int)report.Pages.size() - 1;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = printer.fromPage() - 1;
        last = std::min(last, printer.toPage() - 1);
    }
    const double scale = printer.resolution() / 96.0;
    for (int i = first; i <= last; ++i) {
        if (i > first) printer.newPage();
        vaccoraRenderPage(painter, report, i, scale);
    }
    painter.end();
}
