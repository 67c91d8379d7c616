// Charts of a prepared report drawn with Qt Charts into the page.
#include "report/ReportRender.h"

#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QJsonArray>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QPainter>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

QFont chartFont(const QJsonObject& def) {
    return vaccoraReportFont(TFontDef::fromJson(def.value("font").toObject(), TFontDef{QStringLiteral("Arial"), 8, false}));
}

// "#,##0.##": thousands grouped, at most two decimals, system separators
QString barLabel(double v) {
    const QLocale loc = QLocale::system();
    QString s = loc.toString(v, 'f', 2);
    const QString dp = loc.decimalPoint();
    if (s.contains(dp)) {
        while (s.endsWith(QLatin1Char('0'))) s.chop(1);
        if (s.endsWith(dp)) s.chop(dp.size());
    }
    return s;
}

struct TAxisRange {
    double min = 0, max = 0;
    bool any = false;
    void add(double v) {
        if (!any) min = max = v;
        min = std::min(min, v);
        max = std::max(max, v);
        any = true;
    }
};

void setupValueAxis(QValueAxis* axis, const TAxisRange& r, const QJsonValue& fixedMin) {
    double lo = r.any ? r.min : 0, hi = r.any ? r.max : 1;
    if (fixedMin.isDouble()) lo = fixedMin.toDouble();
    if (hi <= lo) hi = lo + 1;
    axis->setRange(lo, hi);
    axis->applyNiceNumbers();
    if (fixedMin.isDouble()) axis->setMin(fixedMin.toDouble());
}

}  // namespace

void vaccoraPaintChart(QPainter& painter, const QRectF& target, const QJsonObject& entry) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        throw EReportError(QStringLiteral("Charts need a QApplication"));
    const QJsonObject def = entry.value("definition").toObject();
    const QJsonArray defSeries = def.value("series").toArray();
    const QJsonArray dataSeries = entry.value("series").toArray();
    const QFont font = chartFont(def);

    QGraphicsScene scene;
    auto* chart = new QChart;
    scene.addItem(chart);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    QLinearGradient grad(0, 0, 0, 1);
    grad.setCoordinateMode(QGradient::ObjectBoundingMode);
    grad.setColorAt(0, Qt::white);
    grad.setColorAt(1, QColor(def.value("gradient_end").toString("#A6CAF0")));
    chart->setBackgroundBrush(grad);
    chart->setBackgroundPen(Qt::NoPen);
    chart->setPlotAreaBackgroundVisible(false);
    chart->setDropShadowEnabled(false);
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setMargins(QMargins(4, 4, 4, 4));

    bool numberX = false;
    int textCount = 0;
    QStringList textLabels;
    for (int i = 0; i < defSeries.size(); ++i) {
        const QJsonObject s = defSeries.at(i).toObject();
        const QJsonArray pts = dataSeries.at(i).toObject().value("points").toArray();
        if (s.value("x_kind").toString() == QLatin1String("number")) {
            numberX = true;
        } else if (pts.size() > textCount) {
            textCount = (int)pts.size();
            textLabels.clear();
            for (const QJsonValue& p : pts) textLabels << p.toObject().value("label").toString();
        }
    }

    // bottom axis: labels from the point labels
    auto* axisX = new QCategoryAxis;
    axisX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axisX->setTitleText(def.value("bottom_title").toString());
    axisX->setTitleFont(font);
    axisX->setLabelsFont(font);
    axisX->setGridLineVisible(false);
    axisX->setTruncateLabels(false);
    axisX->setLabelsColor(Qt::black);
    axisX->setTitleBrush(Qt::black);
    QStringList used;
    auto uniqueLabel = [&](QString l) {  // category labels must differ; a zero-width tail keeps them apart
        while (used.contains(l)) l += QChar(0x200B);
        used << l;
        return l;
    };
    double xLo = 0, xHi = 1;
    if (numberX) {
        QMap<double, QString> labels;
        for (int i = 0; i < defSeries.size(); ++i)
            for (const QJsonValue& pv : dataSeries.at(i).toObject().value("points").toArray()) {
                const QJsonObject p = pv.toObject();
                const double x = p.value("x").toDouble();
                if (!labels.contains(x)) labels.insert(x, p.value("label").toString());
            }
        if (labels.isEmpty()) {
            xLo = 0;
            xHi = 13;
        } else {
            xLo = std::floor(labels.firstKey()) - 1;
            xHi = std::ceil(labels.lastKey()) + 1;
        }
        for (auto it = labels.begin(); it != labels.end(); ++it) axisX->append(uniqueLabel(it.value()), it.key());
    } else {
        xLo = -0.5;
        xHi = std::max(0, textCount) - 0.5;
        if (textCount == 0) xHi = 0.5;
        for (int i = 0; i < textLabels.size(); ++i) axisX->append(uniqueLabel(textLabels[i]), i);
    }
    {
        // labels that would run into each other stand upright
        const QFontMetricsF afm(font);
        double widest = 0;
        for (const QString& l : used) widest = std::max(widest, afm.horizontalAdvance(l));
        const double slotCount = std::max(1.0, xHi - xLo);
        const double slotWidth = target.width() * 0.7 / slotCount;
        if (widest + 4 > slotWidth) axisX->setLabelsAngle(-90);
    }
    axisX->setRange(xLo, xHi);
    axisX->setStartValue(xLo);
    chart->addAxis(axisX, Qt::AlignBottom);

    auto* axisY = new QValueAxis;
    axisY->setTitleText(def.value("left_title").toString());
    axisY->setTitleFont(font);
    axisY->setLabelsFont(font);
    axisY->setLabelsColor(Qt::black);
    axisY->setTitleBrush(Qt::black);
    axisY->setGridLineVisible(def.value("left_grid").toBool(true));
    axisY->setLabelFormat(QStringLiteral("%.10g"));
    chart->addAxis(axisY, Qt::AlignLeft);
    QValueAxis* axisRight = nullptr;
    TAxisRange leftRange, rightRange;

    struct TValueLabel { QAbstractSeries* series; double x, v; };
    QVector<TValueLabel> valueLabels;
    QList<QAbstractSeries*> hideInLegend;
    QBarSeries* bars = nullptr;
    struct TMarks { QColor color; double size = 4; QVector<QPointF> points; };
    QVector<TMarks> marks;
    // an empty series on the two main axes maps values to positions
    auto* anchor = new QLineSeries;
    anchor->setPen(Qt::NoPen);
    chart->addSeries(anchor);
    anchor->attachAxis(axisX);
    anchor->attachAxis(axisY);

    for (int i = 0; i < defSeries.size(); ++i) {
        const QJsonObject s = defSeries.at(i).toObject();
        const QJsonObject data = dataSeries.at(i).toObject();
        const QJsonArray pts = data.value("points").toArray();
        const QString kind = s.value("kind").toString();
        const QColor color(s.value("color").toString("#FF0000"));
        const bool isNumberX = s.value("x_kind").toString() == QLatin1String("number");
        const bool onRight = s.value("axis").toString() == QLatin1String("right");
        const QString title = data.value("title").toString();
        auto xOf = [&](const QJsonObject& p, int idx) { return isNumberX ? p.value("x").toDouble() : double(idx); };
        if (kind == QLatin1String("bar") && !isNumberX) {
            if (!bars) {
                bars = new QBarSeries;
                bars->setBarWidth(0.7);
                chart->addSeries(bars);
            }
            auto* set = new QBarSet(title);
            set->setColor(color);
            set->setBorderColor(color.darker(130));
            for (int k = 0; k < pts.size(); ++k) {
                const double v = pts.at(k).toObject().value("value").toDouble();
                set->append(v);
                (onRight ? rightRange : leftRange).add(v);
            }
            bars->append(set);
            if (onRight && !axisRight) {
                axisRight = new QValueAxis;
                axisRight->setVisible(false);
                chart->addAxis(axisRight, Qt::AlignRight);
            }
        } else if (kind == QLatin1String("bar")) {
            // bars at numeric X: outlines drawn as one path, value labels above
            auto* outline = new QLineSeries;
            outline->setName(title);
            QPen pen(color.isValid() ? color : QColor(Qt::black));
            pen.setWidthF(1);
            outline->setPen(pen);
            const double half = 0.3;
            for (int k = 0; k < pts.size(); ++k) {
                const QJsonObject p = pts.at(k).toObject();
                const double x = xOf(p, k), v = p.value("value").toDouble();
                outline->append(x - half, 0);
                outline->append(x - half, v);
                outline->append(x + half, v);
                outline->append(x + half, 0);
                leftRange.add(v);
                if (s.value("value_labels").toBool()) valueLabels << TValueLabel{outline, x, v};
            }
            chart->addSeries(outline);
            outline->attachAxis(axisX);
            outline->attachAxis(axisY);
            continue;
        } else if (kind == QLatin1String("points")) {
            // thousands of marks: drawn directly after the chart (a scatter series item per mark is slow)
            TMarks m;
            m.color = color;
            m.size = s.value("marker_size").toDouble(4);
            for (int k = 0; k < pts.size(); ++k) {
                const QJsonObject p = pts.at(k).toObject();
                m.points << QPointF(xOf(p, k), p.value("value").toDouble());
                leftRange.add(p.value("value").toDouble());
            }
            marks << m;
            continue;
        } else {
            auto* line = new QLineSeries;
            line->setName(title);
            QPen pen(color);
            pen.setWidthF(s.value("width").toDouble(2));
            line->setPen(pen);
            for (int k = 0; k < pts.size(); ++k) {
                const QJsonObject p = pts.at(k).toObject();
                line->append(xOf(p, k), p.value("value").toDouble());
                leftRange.add(p.value("value").toDouble());
            }
            chart->addSeries(line);
            line->attachAxis(axisX);
            line->attachAxis(axisY);
            continue;
        }
        if (s.value("value_labels").toBool())
            for (int k = 0; k < pts.size(); ++k) valueLabels << TValueLabel{nullptr, double(k), pts.at(k).toObject().value("value").toDouble()};
    }
    if (bars) {
        bars->attachAxis(axisX);
        if (axisRight) bars->attachAxis(axisRight);
        else bars->attachAxis(axisY);
    }
    setupValueAxis(axisY, leftRange, def.value("left_min"));
    if (axisRight) {
        TAxisRange r = rightRange;
        r.add(0);
        axisRight->setRange(0, r.max > 0 ? r.max * 1.15 : 1);
    }

    // the legend is drawn here (Qt's legend elides long titles): one entry per series
    const QString legend = def.value("legend").toString("right");
    chart->legend()->hide();
    struct TEntry { QString title; QColor color; bool line; double width; };
    QVector<TEntry> entries;
    if (legend != QLatin1String("none"))
        for (int i = 0; i < defSeries.size(); ++i) {
            const QJsonObject s = defSeries.at(i).toObject();
            const QString k = s.value("kind").toString();
            entries << TEntry{dataSeries.at(i).toObject().value("title").toString(), QColor(s.value("color").toString("#000000")),
                              k == QLatin1String("line"), 0};
        }
    const QFontMetricsF lfm(font);
    const double lineH = lfm.height() + 3, mark = 12;
    double legendW = 0, legendH = 0;
    QVector<QPointF> entryPos;
    for (TEntry& e : entries) e.width = mark + 4 + lfm.horizontalAdvance(e.title);
    if (!entries.isEmpty() && legend == QLatin1String("bottom")) {
        double x = 0, y = 0;
        const double avail = target.width() - 8;
        for (const TEntry& e : entries) {
            if (x > 0 && x + e.width > avail) {
                x = 0;
                y += lineH;
            }
            entryPos << QPointF(x, y);
            x += e.width + 10;
            legendW = std::max(legendW, x - 10);
        }
        legendH = y + lineH;
        chart->setMargins(QMargins(4, 4, 4, 4 + (int)std::ceil(legendH)));
    } else if (!entries.isEmpty()) {
        for (int i = 0; i < entries.size(); ++i) {
            entryPos << QPointF(0, i * lineH);
            legendW = std::max(legendW, entries[i].width);
        }
        legendH = entries.size() * lineH;
        chart->setMargins(QMargins(4, 4, 8 + (int)std::ceil(legendW), 4));
    }

    chart->setGeometry(QRectF(0, 0, target.width(), target.height()));
    chart->layout()->activate();
    QCoreApplication::processEvents();
    scene.setSceneRect(0, 0, target.width(), target.height());

    painter.save();
    scene.render(&painter, target, QRectF(0, 0, target.width(), target.height()), Qt::IgnoreAspectRatio);
    // values above the bars
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetricsF fm(font);
    const QRectF plot = chart->plotArea();
    painter.setClipRect(target);
    if (!marks.isEmpty()) {
        painter.save();
        painter.setClipRect(plot.translated(target.topLeft()));
        painter.setPen(Qt::NoPen);
        for (const TMarks& m : marks) {
            painter.setBrush(m.color);
            for (const QPointF& v : m.points) {
                const QPointF c = chart->mapToPosition(v, anchor) + target.topLeft();
                painter.drawEllipse(c, m.size / 2, m.size / 2);
            }
        }
        painter.restore();
    }
    auto drawLabel = [&](QPointF pos, double v) {
        const QString text = barLabel(v);
        const double w = fm.horizontalAdvance(text);
        QPointF at(target.left() + pos.x() - w / 2, target.top() + std::max(plot.top(), pos.y() - 2) );
        painter.drawText(at, text);
    };
    for (const TValueLabel& l : valueLabels) {
        if (l.series) {
            drawLabel(chart->mapToPosition(QPointF(l.x, l.v), l.series), l.v);
        }
    }
    if (bars) {
        // grouped bars: each set takes its share of the bar width around the category
        const int sets = bars->count();
        int setIndex = 0;
        for (int i = 0; i < defSeries.size(); ++i) {
            const QJsonObject s = defSeries.at(i).toObject();
            if (s.value("kind").toString() != QLatin1String("bar") || s.value("x_kind").toString() == QLatin1String("number")) continue;
            const QJsonArray pts = dataSeries.at(i).toObject().value("points").toArray();
            if (s.value("value_labels").toBool()) {
                const double width = bars->barWidth() / sets;
                for (int k = 0; k < pts.size(); ++k) {
                    const double v = pts.at(k).toObject().value("value").toDouble();
                    const double x = k - bars->barWidth() / 2 + width * (setIndex + 0.5);
                    drawLabel(chart->mapToPosition(QPointF(x, v), bars), v);
                }
            }
            ++setIndex;
        }
    }
    // legend entries
    painter.setClipping(false);
    QPointF origin;
    if (legend == QLatin1String("bottom")) origin = QPointF(target.left() + (target.width() - legendW) / 2, target.bottom() - legendH - 2);
    else origin = QPointF(target.right() - legendW - 4, target.top() + plot.top() + (plot.height() - legendH) / 2);
    for (int i = 0; i < entries.size(); ++i) {
        const TEntry& e = entries[i];
        const QPointF p = origin + entryPos[i];
        const double cy = p.y() + lineH / 2;
        if (e.line) {
            painter.setPen(QPen(e.color, 2));
            painter.drawLine(QPointF(p.x(), cy), QPointF(p.x() + mark, cy));
        } else {
            painter.setPen(QPen(Qt::black, 0.5));
            painter.setBrush(e.color);
            painter.drawRect(QRectF(p.x() + 2, cy - 4, 8, 8));
        }
        painter.setPen(Qt::black);
        painter.drawText(QPointF(p.x() + mark + 4, cy + lfm.ascent() / 2 - 1), e.title);
    }
    painter.restore();
}
