#include "report/ReportEngine.h"

#include "data/Database.h"

#include <QDate>
#include <QFontMetricsF>
#include <QHash>
#include <QJSEngine>
#include <QJsonArray>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

// ---------------------------------------------------------------- helpers

EReportPrepareError::EReportPrepareError(const QString& errorText)
    : EReportError(QStringLiteral("The following error(s) have occured:\n") + errorText), ErrorText(errorText) {}

static QString decimalPoint() {
    static const QString dp = QLocale::system().decimalPoint();
    return dp;
}

static bool isNumber(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Short: case QMetaType::UShort:
    case QMetaType::Long: case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}

QString vaccoraPlainText(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return QString();
    if (isNumber(value)) {
        if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
            QString s = QString::number(value.toDouble(), 'g', 15);
            if (s.contains(QLatin1Char('e'))) s = QString::number(value.toDouble(), 'f', 15).remove(QRegularExpression("0+$")).remove(QRegularExpression("\\.$"));
            s.replace(QLatin1Char('.'), decimalPoint());
            return s;
        }
        return QString::number(value.toLongLong());
    }
    if (value.typeId() == QMetaType::QDateTime) return value.toDateTime().toString(QStringLiteral("d.M.yyyy"));
    return value.toString();
}

QString vaccoraFormatValue(const QVariant& value, const QString& format) {
    if (!value.isValid() || value.isNull()) return QString();
    if (format.isEmpty() || !isNumber(value)) return vaccoraPlainText(value);
    static const QRegularExpression re(QStringLiteral("^%-?\\d*(\\.\\d+)?[fFeEgG]$"));
    if (!re.match(format).hasMatch()) return vaccoraPlainText(value);
    QString s = QString::asprintf(format.toLatin1().constData(), value.toDouble());
    s.replace(QLatin1Char('.'), decimalPoint());
    return s;
}

// A mean printed without a number format: at most two decimals, trailing
// zeros dropped, the system's decimal separator (a long default form would
// widen the auto-sized columns of the matrix).
static QString meanText(const QVariant& v, const QString& format, const QString& aggregation) {
    if (format.isEmpty() && aggregation == QLatin1String("mean") && v.typeId() == QMetaType::Double) {
        QString s = QString::number(v.toDouble(), 'f', 2);
        while (s.endsWith(QLatin1Char('0'))) s.chop(1);
        if (s.endsWith(QLatin1Char('.'))) s.chop(1);
        s.replace(QLatin1Char('.'), decimalPoint());
        return s;
    }
    return vaccoraFormatValue(v, format);
}

static QString qtDateFormat(const QString& f) {
    // the template's date format letters: d/D day, m/M month, y/Y year
    QString out;
    for (QChar c : f) {
        const QChar l = c.toLower();
        if (l == QLatin1Char('d')) out += QLatin1Char('d');
        else if (l == QLatin1Char('m')) out += QLatin1Char('M');
        else if (l == QLatin1Char('y')) out += QLatin1Char('y');
        else out += c;
    }
    return out;
}

// ---------------------------------------------------------------- datasets

int TQueryDataset::RecordCount() const { return Query.Active() ? Query.RecordCount() : 0; }

int TQueryDataset::FieldIndex(const QString& field) { return Query.Active() ? Query.FieldIndex(field) : -1; }

QVariant TQueryDataset::ValueAt(int record, int field) {
    if (field < 0) return QVariant();
    return Query.Row(record).at(field);
}

int TUserDataset::FieldIndex(const QString& field) {
    int i = m_fields.indexOf(field);
    if (i < 0) {
        m_fields.push_back(field);
        i = (int)m_fields.size() - 1;
    }
    return i;
}

QVariant TUserDataset::ValueAt(int record, int field) {
    QVariant v;
    if (OnGetValue && field >= 0 && field < m_fields.size()) OnGetValue(record, m_fields.at(field), v);
    return v;
}

// ---------------------------------------------------------------- cross-tables

namespace {

struct TAcc {
    double Sum = 0;
    int Count = 0;
    bool Text = false;
    bool AllInt = true;
    QString Texts;
    void add(const QVariant& v) {
        if (!v.isValid() || v.isNull()) return;
        if (isNumber(v) && !Text) {
            Sum += v.toDouble();
            if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float) AllInt = false;
        } else {
            if (!Text && Count > 0) {  // numbers seen before: keep them as text too
                Texts = vaccoraPlainText(Sum);
            }
            Text = true;
            if (Count > 0) Texts += QLatin1Char('\n');
            Texts += vaccoraPlainText(v);
        }
        ++Count;
    }
    QVariant result(const QString& aggregation) const {
        if (Count == 0) return QVariant();
        if (Text) return Texts;
        if (aggregation == QLatin1String("mean")) return Sum / Count;
        if (AllInt && std::abs(Sum) < 9e15) return (qlonglong)std::llround(Sum);
        return Sum;
    }
};

struct TCellField {
    QString Field, Aggregation, Format;
};

struct TPart {
    QString Text;
    double Width = 0, Height = 0, LineHeight = 0;
    TTextStyle Style;
};

struct TCell {
    QString Text, Background;
    QVariant Value;
    TTextStyle Style;
};

// Laid out cross-table: all cells computed, boxes produced per chunk.
class TCrossTable {
public:
    TCrossTable(const TTemplateObject& obj, TReportEngine& engine, QJSEngine* (*js)(void*), void* jsCtx);

    void Build(TReportDataset* ds);
    QJsonObject ResultJson() const;

    // columns of a block (indices into Columns) and the total column flag
    struct TColBlock { int First = 0, Count = 0; bool Total = false; };
    struct TRowBlock { int First = 0, Count = 0; bool Total = false; };
    QVector<TColBlock> ColumnBlocks(double availableWidth) const;
    QVector<TRowBlock> RowBlocks(double firstAvailable, double nextAvailable) const;
    double HeaderHeight() const;
    // boxes of one chunk, with the table's top-left corner at (x, y)
    QVector<TPrintedBox> Boxes(double x, double y, const TColBlock& cb, const TRowBlock& rb) const;
    // anchored layout (rows placed beside label objects of the band)
    bool Anchored() const { return !m_anchorTops.isEmpty(); }
    void SetAnchors(const QVector<double>& centres) { m_anchorTops = centres; }
    double AnchoredHeaderTop(double tableTop) const;
    QVector<TPrintedBox> AnchoredBoxes(double x, double tableTop, const TColBlock& cb) const;

    QStringList Columns, Rows;
    bool HasRowField = false, HasColumnField = false, ShowTotals = false;
    QStringList AnchorNames;

private:
    void applyScript(TCell& c, const QString& part);
    double textWidth(const QString& text, const TTextStyle& s) const;
    double textHeight(const QString& text, const TPart& p) const;
    void computeSizes();

    const TTemplateObject& m_obj;
    QJsonObject m_def;
    QVector<TCellField> m_cells;
    TPart m_title, m_corner, m_rowFieldHeader, m_colHeader, m_rowTotalHeader, m_rowHeader, m_colTotalHeader, m_cell,
        m_rowTotal, m_colTotal, m_grand;
    double m_maxWidth = 200;
    QStringList m_scriptParts;
    QJsonArray m_highlights;
    QJSEngine* (*m_js)(void*);
    void* m_jsCtx;
    QJSValue m_fn;
    bool m_fnReady = false;
    QHash<QString, QPair<QString, QString>> m_scriptCache;

    // computed
    QVector<QVector<TCell>> m_grid;   // rows x columns (row = row key, or cell level without row fields)
    QVector<TCell> m_rowTotals, m_colTotals;
    TCell m_grandTotal;
    QVector<double> m_colWidths, m_rowHeights;
    double m_rowHeaderWidth = 0, m_totalWidth = 0, m_totalRowHeight = 0, m_titleHeight = 0, m_colHeaderHeight = 0;
    QVector<double> m_anchorTops;
    mutable QHash<QString, QFontMetricsF*> m_metrics;
public:
    ~TCrossTable() { qDeleteAll(m_metrics); }
};

TPart partFromJson(const QJsonObject& def, const char* key, const TTextStyle& base) {
    const QJsonObject o = def.value(QLatin1String(key)).toObject();
    TPart p;
    p.Text = o.value("text").toString();
    p.Width = o.value("width").toDouble();
    p.Height = o.value("height").toDouble();
    p.LineHeight = o.value("line_height").toDouble();
    p.Style = TTextStyle::fromJson(o.value("style").toObject(), base);
    return p;
}

TCrossTable::TCrossTable(const TTemplateObject& obj, TReportEngine&, QJSEngine* (*js)(void*), void* jsCtx)
    : m_obj(obj), m_def(obj.Def), m_js(js), m_jsCtx(jsCtx) {
    TTextStyle base = TTextStyle::fromJson(m_def.value("style").toObject(),
                                           TTextStyle::fromJson(QJsonObject{{"halign", "center"}, {"valign", "center"}, {"gap", 3}, {"frame", true}, {"word_wrap", false}}));
    for (const QJsonValue& v : m_def.value("cells").toArray()) {
        const QJsonObject c = v.toObject();
        m_cells.push_back(TCellField{c.value("field").toString(), c.value("aggregation").toString("none"), c.value("format").toString()});
    }
    HasRowField = !m_def.value("row_fields").toArray().isEmpty();
    HasColumnField = !m_def.value("column_fields").toArray().isEmpty();
    ShowTotals = m_def.value("totals").toBool();
    m_maxWidth = m_def.value("max_width").toDouble(200);
    m_title = partFromJson(m_def, "title", base);
    m_corner = partFromJson(m_def, "corner", base);
    m_rowFieldHeader = partFromJson(m_def, "row_field_header", base);
    m_colHeader = partFromJson(m_def, "column_header", base);
    m_rowTotalHeader = partFromJson(m_def, "row_total_header", base);
    m_rowHeader = partFromJson(m_def, "row_header", base);
    m_colTotalHeader = partFromJson(m_def, "column_total_header", base);
    m_cell = partFromJson(m_def, "cell", base);
    m_rowTotal = partFromJson(m_def, "row_total", m_cell.Style);
    m_colTotal = partFromJson(m_def, "column_total", m_cell.Style);
    m_grand = partFromJson(m_def, "grand_total", m_cell.Style);
    for (const QJsonValue& v : m_def.value("script_parts").toArray()) m_scriptParts << v.toString();
    m_highlights = m_def.value("highlights").toArray();
    for (const QJsonValue& v : m_def.value("row_anchors").toArray()) AnchorNames << v.toString();
}

double TCrossTable::textWidth(const QString& text, const TTextStyle& s) const {
    const QString key = s.Font.Name + QLatin1Char('/') + QString::number(s.Font.Px) + (s.Font.Bold ? QLatin1String("b") : QLatin1String(""));
    QFontMetricsF*& fm = m_metrics[key];
    if (!fm) fm = new QFontMetricsF(vaccoraReportFont(s.Font));
    double w = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) w = std::max(w, fm->horizontalAdvance(line));
    return w + 2 * s.GapX;
}

double TCrossTable::textHeight(const QString& text, const TPart& p) const {
    const int lines = text.isEmpty() ? 1 : (int)text.count(QLatin1Char('\n')) + 1;
    if (lines == 1) return p.Height;
    const double lh = p.LineHeight > 0 ? p.LineHeight : QFontMetricsF(vaccoraReportFont(p.Style.Font)).height();
    const double h = p.LineHeight > 0 ? lines * lh : lines * lh + 2 * p.Style.GapY;
    return std::max(p.Height, h);
}

void TCrossTable::applyScript(TCell& c, const QString& part) {
    if (m_scriptParts.contains(part)) {
        const QString key = part + QChar(0x1f) + c.Text + QChar(0x1f) +
                            (c.Value.isValid() ? QString::number(c.Value.toDouble(), 'g', 17) : QString());
        auto it = m_scriptCache.find(key);
        if (it == m_scriptCache.end()) {
            QJSEngine* js = m_js(m_jsCtx);
            if (!m_fnReady) {
                m_fn = js->globalObject().property(QStringLiteral("vaccoraPrintCell"));
                m_fnReady = true;
            }
            if (!m_fn.isCallable()) throw EReportError(QStringLiteral("The print-cell script defines no function"));
            QJSValue value = c.Value.isValid() ? QJSValue(c.Value.toDouble()) : QJSValue(QJSValue::NullValue);
            QJSValue r = m_fn.call({QJSValue(c.Text), value, QJSValue(part), QJSValue(m_obj.Name)});
            if (r.isError())
                throw EReportError(QStringLiteral("%1: %2").arg(m_obj.Name, r.toString()));
            QString text = c.Text, bg = c.Background;
            if (r.isObject()) {
                if (r.hasProperty(QStringLiteral("text"))) text = r.property(QStringLiteral("text")).toString();
                if (r.hasProperty(QStringLiteral("background"))) bg = r.property(QStringLiteral("background")).toString();
            }
            it = m_scriptCache.insert(key, qMakePair(text, bg));
        }
        c.Text = it->first;
        c.Background = it->second;
    }
    for (const QJsonValue& hv : m_highlights) {
        const QJsonObject h = hv.toObject();
        if (h.value("part").toString() != part || !c.Value.isValid()) continue;
        if (h.contains("above") && !(c.Value.toDouble() > h.value("above").toDouble())) continue;
        c.Background = h.value("background").toString(c.Background);
        c.Style = TTextStyle::fromJson(h.value("style").toObject(), c.Style);
    }
    if (!c.Background.isEmpty()) c.Style.Background = c.Background;
}

void TCrossTable::Build(TReportDataset* ds) {
    const int n = ds ? ds->RecordCount() : 0;
    const QJsonArray rf = m_def.value("row_fields").toArray(), cf = m_def.value("column_fields").toArray();
    const int rowField = (ds && HasRowField) ? ds->FieldIndex(rf.at(0).toString()) : -1;
    const int colField = (ds && HasColumnField) ? ds->FieldIndex(cf.at(0).toString()) : -1;
    if (ds && HasRowField && rowField < 0 && n > 0) throw EReportError(QStringLiteral("%1: field %2 not found").arg(m_obj.Name, rf.at(0).toString()));
    if (ds && HasColumnField && colField < 0 && n > 0) throw EReportError(QStringLiteral("%1: field %2 not found").arg(m_obj.Name, cf.at(0).toString()));
    QVector<int> cellIdx;
    for (const auto& c : m_cells) {
        const int i = ds ? ds->FieldIndex(c.Field) : -1;
        if (i < 0 && n > 0) throw EReportError(QStringLiteral("%1: field %2 not found").arg(m_obj.Name, c.Field));
        cellIdx << i;
    }
    const int levels = std::max<int>(1, (int)m_cells.size());

    // keys: columns in first-occurrence order, rows collected then sorted
    QHash<QString, int> colIndex, rowIndex;
    QVector<int> recCol(n, 0), recRow(n, 0);
    for (int r = 0; r < n; ++r) {
        if (HasColumnField) {
            const QString k = vaccoraPlainText(ds->ValueAt(r, colField));
            auto it = colIndex.constFind(k);
            if (it == colIndex.constEnd()) {
                it = colIndex.insert(k, (int)Columns.size());
                Columns << k;
            }
            recCol[r] = *it;
        }
        if (HasRowField) {
            const QString k = vaccoraPlainText(ds->ValueAt(r, rowField));
            auto it = rowIndex.constFind(k);
            if (it == rowIndex.constEnd()) {
                it = rowIndex.insert(k, (int)Rows.size());
                Rows << k;
            }
            recRow[r] = *it;
        }
    }
    if (!HasColumnField) Columns = QStringList{QString()};
    if (m_def.value("column_sort").toString() == QLatin1String("ascending")) {
        QStringList sorted = Columns;
        std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) { return QString::compare(a, b) < 0; });
        QVector<int> remap(Columns.size());
        for (int i = 0; i < sorted.size(); ++i) remap[colIndex.value(sorted[i])] = i;
        for (int& c : recCol) c = remap[c];
        Columns = sorted;
    }
    if (HasRowField) {
        QStringList sorted = Rows;
        if (m_def.value("row_sort").toString("ascending") == QLatin1String("ascending"))
            std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) { return QString::compare(a, b) < 0; });
        QVector<int> remap(Rows.size());
        for (int i = 0; i < sorted.size(); ++i) remap[rowIndex.value(sorted[i])] = i;
        for (int& r : recRow) r = remap[r];
        Rows = sorted;
    } else {
        Rows.clear();
        for (const auto& c : m_cells) Rows << c.Field;
    }

    const int nRows = HasRowField ? (int)Rows.size() : levels;
    const int nCols = (int)Columns.size();
    QVector<TAcc> acc((size_t)nRows * nCols), rowAcc(nRows), colAcc(nCols);
    TAcc grandAcc;
    for (int r = 0; r < n; ++r) {
        if (HasRowField) {
            const QVariant v = ds->ValueAt(r, cellIdx[0]);
            acc[recRow[r] * nCols + recCol[r]].add(v);
            if (ShowTotals) {
                rowAcc[recRow[r]].add(v);
                colAcc[recCol[r]].add(v);
                grandAcc.add(v);
            }
        } else {
            for (int l = 0; l < levels && l < cellIdx.size(); ++l) acc[l * nCols + recCol[r]].add(ds->ValueAt(r, cellIdx[l]));
        }
    }

    m_grid = QVector<QVector<TCell>>(nRows, QVector<TCell>(nCols));
    for (int r = 0; r < nRows; ++r) {
        const TCellField& f = m_cells.at(HasRowField ? 0 : std::min(r, (int)m_cells.size() - 1));
        for (int c = 0; c < nCols; ++c) {
            TCell& cell = m_grid[r][c];
            cell.Value = acc[r * nCols + c].result(f.Aggregation);
            cell.Text = meanText(cell.Value, f.Format, f.Aggregation);
            cell.Style = m_cell.Style;
            if (cell.Value.typeId() == QMetaType::QString) cell.Value = QVariant();  // texts carry no number for the script
            applyScript(cell, QStringLiteral("cell"));
        }
    }
    if (ShowTotals) {
        const TCellField& f = m_cells.at(0);
        const QString rtFormat = m_def.value("row_total").toObject().value("format").toString();
        const QString ctFormat = m_def.value("column_total").toObject().value("format").toString();
        const QString gtFormat = m_def.value("grand_total").toObject().value("format").toString();
        m_rowTotals.resize(nRows);
        for (int r = 0; r < nRows; ++r) {
            TCell& c = m_rowTotals[r];
            c.Value = rowAcc[r].result(f.Aggregation);
            c.Text = meanText(c.Value, rtFormat, f.Aggregation);
            c.Style = m_rowTotal.Style;
            applyScript(c, QStringLiteral("row_total"));
        }
        m_colTotals.resize(nCols);
        for (int k = 0; k < nCols; ++k) {
            TCell& c = m_colTotals[k];
            c.Value = colAcc[k].result(f.Aggregation);
            c.Text = meanText(c.Value, ctFormat, f.Aggregation);
            c.Style = m_colTotal.Style;
            applyScript(c, QStringLiteral("column_total"));
        }
        m_grandTotal.Value = grandAcc.result(f.Aggregation);
        m_grandTotal.Text = meanText(m_grandTotal.Value, gtFormat, f.Aggregation);
        m_grandTotal.Style = m_grand.Style;
        applyScript(m_grandTotal, QStringLiteral("grand_total"));
    }
    computeSizes();
}

void TCrossTable::computeSizes() {
    const int nRows = (int)m_grid.size(), nCols = (int)Columns.size();
    m_colWidths = QVector<double>(nCols, 0.0);
    for (int c = 0; c < nCols; ++c) {
        double w = HasColumnField ? textWidth(Columns[c], m_colHeader.Style) : 0;
        for (int r = 0; r < nRows; ++r) w = std::max(w, textWidth(m_grid[r][c].Text, m_grid[r][c].Style));
        if (ShowTotals) w = std::max(w, textWidth(m_colTotals[c].Text, m_colTotals[c].Style));
        m_colWidths[c] = std::min(w, m_maxWidth);
    }
    // the title over the columns is not cut: its extra width is spread evenly
    if (!m_title.Text.isEmpty() && nCols > 0) {
        double sum = 0;
        for (double w : m_colWidths) sum += w;
        const double need = textWidth(m_title.Text, m_title.Style);
        if (need > sum)
            for (double& w : m_colWidths) w = std::min(w + (need - sum) / nCols, m_maxWidth);
    }
    m_rowHeaderWidth = 0;
    if (HasRowField) {
        double w = std::max({textWidth(m_corner.Text, m_corner.Style), textWidth(m_rowFieldHeader.Text, m_rowFieldHeader.Style),
                             ShowTotals ? textWidth(m_colTotalHeader.Text, m_colTotalHeader.Style) : 0.0});
        for (const QString& r : Rows) w = std::max(w, textWidth(r, m_rowHeader.Style));
        m_rowHeaderWidth = std::min(w, m_maxWidth);
    }
    m_totalWidth = 0;
    if (ShowTotals) {
        double w = textWidth(m_rowTotalHeader.Text, m_rowTotalHeader.Style);
        for (const TCell& c : m_rowTotals) w = std::max(w, textWidth(c.Text, c.Style));
        w = std::max(w, textWidth(m_grandTotal.Text, m_grandTotal.Style));
        m_totalWidth = std::min(w, m_maxWidth);
    }
    m_rowHeights = QVector<double>(nRows, 0.0);
    for (int r = 0; r < nRows; ++r) {
        double h = HasRowField ? textHeight(Rows[r], m_rowHeader) : 0;
        for (int c = 0; c < nCols; ++c) h = std::max(h, textHeight(m_grid[r][c].Text, m_cell));
        m_rowHeights[r] = h;
    }
    m_totalRowHeight = ShowTotals ? std::max(m_colTotal.Height, m_colTotalHeader.Height) : 0;
    m_titleHeight = m_title.Text.isEmpty() ? 0 : m_title.Height;
    m_colHeaderHeight = HasColumnField ? m_colHeader.Height : 0;
}

double TCrossTable::HeaderHeight() const {
    if (HasRowField) return std::max(m_titleHeight, m_corner.Height) + m_colHeaderHeight;
    return m_titleHeight + m_colHeaderHeight;
}


QVector<TCrossTable::TColBlock> TCrossTable::ColumnBlocks(double available) const {
    QVector<TColBlock> blocks;
    const int nCols = (int)m_colWidths.size();
    int c = 0;
    do {
        TColBlock b;
        b.First = c;
        double x = m_rowHeaderWidth;
        while (c < nCols && (b.Count == 0 || x + m_colWidths[c] <= available + 0.01)) {
            x += m_colWidths[c];
            ++c;
            ++b.Count;
        }
        if (c == nCols && ShowTotals && (b.Count == 0 || x + m_totalWidth <= available + 0.01)) b.Total = true;
        blocks.push_back(b);
    } while (c < nCols);
    if (ShowTotals && !blocks.back().Total) blocks.push_back(TColBlock{nCols, 0, true});
    return blocks;
}

QVector<TCrossTable::TRowBlock> TCrossTable::RowBlocks(double firstAvailable, double nextAvailable) const {
    QVector<TRowBlock> blocks;
    const int nRows = (int)m_rowHeights.size();
    const double header = HeaderHeight();
    int r = 0;
    do {
        const double avail = blocks.isEmpty() ? firstAvailable : nextAvailable;
        TRowBlock b;
        b.First = r;
        double y = header;
        while (r < nRows && (b.Count == 0 || y + m_rowHeights[r] <= avail + 0.01)) {
            y += m_rowHeights[r];
            ++r;
            ++b.Count;
        }
        if (r == nRows && ShowTotals && (b.Count == 0 || y + m_totalRowHeight <= avail + 0.01)) b.Total = true;
        blocks.push_back(b);
    } while (r < nRows);
    if (ShowTotals && !blocks.back().Total) blocks.push_back(TRowBlock{nRows, 0, true});
    return blocks;
}

static TPrintedBox box(double x, double y, double w, double h, const QString& text, const TTextStyle& s) {
    return TPrintedBox{QRectF(x, y, w, h), text, s};
}

QVector<TPrintedBox> TCrossTable::Boxes(double x0, double y0, const TColBlock& cb, const TRowBlock& rb) const {
    QVector<TPrintedBox> out;
    double blockWidth = 0;
    for (int c = cb.First; c < cb.First + cb.Count; ++c) blockWidth += m_colWidths[c];
    const double top = y0;
    double y = top;
    const double titleRow = HasRowField ? std::max(m_titleHeight, m_corner.Height) : m_titleHeight;
    // title row
    if (HasRowField && m_corner.Height > 0) out << box(x0, y, m_rowHeaderWidth, titleRow, m_corner.Text, m_corner.Style);
    if (m_titleHeight > 0 && cb.Count > 0)
        out << box(x0 + m_rowHeaderWidth, y, blockWidth, titleRow, m_title.Text, m_title.Style);
    y += titleRow;
    // column headers
    if (m_colHeaderHeight > 0) {
        double x = x0;
        if (HasRowField) {
            out << box(x, y, m_rowHeaderWidth, m_colHeaderHeight, m_rowFieldHeader.Text, m_rowFieldHeader.Style);
            x += m_rowHeaderWidth;
        }
        for (int c = cb.First; c < cb.First + cb.Count; ++c) {
            out << box(x, y, m_colWidths[c], m_colHeaderHeight, Columns[c], m_colHeader.Style);
            x += m_colWidths[c];
        }
        if (cb.Total) out << box(x, y - (cb.Count == 0 ? titleRow : 0), m_totalWidth, m_colHeaderHeight + (cb.Count == 0 ? titleRow : 0), m_rowTotalHeader.Text, m_rowTotalHeader.Style);
        y += m_colHeaderHeight;
    }
    // rows
    for (int r = rb.First; r < rb.First + rb.Count; ++r) {
        double x = x0;
        const double h = m_rowHeights[r];
        if (HasRowField) {
            out << box(x, y, m_rowHeaderWidth, h, Rows[r], m_rowHeader.Style);
            x += m_rowHeaderWidth;
        }
        for (int c = cb.First; c < cb.First + cb.Count; ++c) {
            const TCell& cell = m_grid[r][c];
            out << box(x, y, m_colWidths[c], h, cell.Text, cell.Style);
            x += m_colWidths[c];
        }
        if (cb.Total) out << box(x, y, m_totalWidth, h, m_rowTotals[r].Text, m_rowTotals[r].Style);
        y += h;
    }
    if (rb.Total) {
        double x = x0;
        const double h = m_totalRowHeight;
        if (HasRowField) {
            out << box(x, y, m_rowHeaderWidth, h, m_colTotalHeader.Text, m_colTotalHeader.Style);
            x += m_rowHeaderWidth;
        }
        for (int c = cb.First; c < cb.First + cb.Count; ++c) {
            out << box(x, y, m_colWidths[c], h, m_colTotals[c].Text, m_colTotals[c].Style);
            x += m_colWidths[c];
        }
        if (cb.Total) out << box(x, y, m_totalWidth, h, m_grandTotal.Text, m_grandTotal.Style);
    }
    return out;
}

double TCrossTable::AnchoredHeaderTop(double tableTop) const {
    if (m_anchorTops.isEmpty()) return tableTop;
    const double firstRow = m_anchorTops.front() - m_cell.Height / 2;
    return std::max(tableTop, firstRow - HeaderHeight());
}

QVector<TPrintedBox> TCrossTable::AnchoredBoxes(double x0, double tableTop, const TColBlock& cb) const {
    // header rows directly above the first value row; value rows centred on their labels
    const double headerTop = AnchoredHeaderTop(tableTop);
    TRowBlock none{0, 0, false};
    QVector<TPrintedBox> out = Boxes(x0, headerTop, cb, none);
    const int nRows = (int)m_grid.size();
    QVector<double> tops(nRows);
    double prevBottom = headerTop + HeaderHeight();
    for (int r = 0; r < nRows; ++r) {
        double t = r < m_anchorTops.size() ? m_anchorTops[r] - m_cell.Height / 2 : prevBottom;
        if (r == 0) t = prevBottom;  // the first row follows the header
        t = std::max(t, prevBottom);
        tops[r] = t;
        prevBottom = t + m_rowHeights[r];
    }
    for (int r = 0; r < nRows; ++r) {
        const double h = (r + 1 < nRows) ? std::max(tops[r + 1] - tops[r], 1.0) : m_rowHeights[r];
        double x = x0;
        for (int c = cb.First; c < cb.First + cb.Count; ++c) {
            const TCell& cell = m_grid[r][c];
            out << box(x, tops[r], m_colWidths[c], h, cell.Text, cell.Style);
            x += m_colWidths[c];
        }
    }
    return out;
}

QJsonObject cellJson(const TCell& c) {
    return QJsonObject{{"text", c.Text}, {"background", c.Style.Background.isEmpty() ? QString() : c.Style.Background.toUpper()}};
}

QJsonObject TCrossTable::ResultJson() const {
    QJsonArray cols, rows, cells;
    if (HasColumnField)
        for (const QString& c : Columns) cols.append(c);
    for (const QString& r : Rows) rows.append(r);
    for (const auto& row : m_grid) {
        QJsonArray a;
        for (const TCell& c : row) a.append(cellJson(c));
        cells.append(a);
    }
    QJsonObject o{{"columns", cols}, {"rows", rows}, {"cells", cells}};
    if (ShowTotals) {
        QJsonArray rt, ct;
        for (const TCell& c : m_rowTotals) rt.append(cellJson(c));
        for (const TCell& c : m_colTotals) ct.append(cellJson(c));
        o.insert("row_totals", rt);
        o.insert("column_totals", ct);
        o.insert("grand_total", cellJson(m_grandTotal));
    }
    return o;
}

}  // namespace

// ---------------------------------------------------------------- engine

struct TReportEngine::Impl {
    std::map<QString, TReportDataset*> datasets;
    std::unique_ptr<QJSEngine> js;
    QString scriptLoaded;
    static QJSEngine* jsFor(void* ctx);
    QJSEngine* engine(const QString& script);
};

QJSEngine* TReportEngine::Impl::engine(const QString& script) {
    if (!js || scriptLoaded != script) {
        js = std::make_unique<QJSEngine>();
        const QJSValue fn = js->evaluate(QStringLiteral("(") + script + QStringLiteral(")"), QStringLiteral("print-cell script"));
        if (fn.isError()) throw EReportError(QStringLiteral("Print-cell script: %1").arg(fn.toString()));
        js->globalObject().setProperty(QStringLiteral("vaccoraPrintCell"), fn);
        scriptLoaded = script;
    }
    return js.get();
}

struct TJsCtx {
    TReportEngine::Impl* impl;
    QString script;
};

QJSEngine* TReportEngine::Impl::jsFor(void* ctx) {
    auto* c = static_cast<TJsCtx*>(ctx);
    return c->impl->engine(c->script);
}

TReportEngine::TReportEngine(TReportTemplate& tmpl) : Template(tmpl), d(std::make_unique<Impl>()) {}
TReportEngine::~TReportEngine() = default;

void TReportEngine::AddDataset(TReportDataset* ds) { d->datasets[ds->Name.toLower()] = ds; }

TReportDataset* TReportEngine::Dataset(const QString& name) const {
    auto it = d->datasets.find(name.toLower());
    if (it == d->datasets.end() || !it->second->Enabled) return nullptr;
    return it->second;
}

namespace {

struct TPending {  // text objects waiting for [TotalPages#]
    int page, object;
    QString text;
};

class TPreparer {
public:
    TPreparer(TReportEngine& e, TReportEngine::Impl& impl) : E(e), I(impl) { m_ctx = TJsCtx{&impl, e.Template.PrintCellScript}; }
    TPreparedReport Run();

private:
    QString evaluate(const TTemplateObject& o, int pageNo, bool& needsTotal);
    void printObject(TPreparedPage& page, const TTemplateObject& o, double dx, double dy);
    void chartData(const TTemplateObject& o);
    TCrossTable& crossTable(const TTemplateObject& o, const TTemplateBand* band);

    TReportEngine& E;
    TReportEngine::Impl& I;
    TJsCtx m_ctx;
    TPreparedReport R;
    QVector<TPending> m_pending;
    std::map<QString, std::unique_ptr<TCrossTable>> m_tables;
    QDate m_today = QDate::currentDate();
};

QString TPreparer::evaluate(const TTemplateObject& o, int pageNo, bool& needsTotal) {
    static const QRegularExpression re(QStringLiteral("\\[([^\\[\\]]+)\\]"));
    QString out;
    qsizetype last = 0;
    auto it = re.globalMatch(o.Text);
    while (it.hasNext()) {
        const auto m = it.next();
        out += o.Text.mid(last, m.capturedStart() - last);
        last = m.capturedEnd();
        const QString expr = m.captured(1).trimmed();
        if (expr.compare(QLatin1String("Date"), Qt::CaseInsensitive) == 0) {
            out += m_today.toString(qtDateFormat(o.DateFormat.isEmpty() ? QStringLiteral("dd.mm.yyyy") : o.DateFormat));
        } else if (expr.compare(QLatin1String("Page"), Qt::CaseInsensitive) == 0 || expr.compare(QLatin1String("Page#"), Qt::CaseInsensitive) == 0) {
            out += QString::number(pageNo);
        } else if (expr.compare(QLatin1String("TotalPages#"), Qt::CaseInsensitive) == 0 || expr.compare(QLatin1String("TotalPages"), Qt::CaseInsensitive) == 0) {
            out += m.captured(0);  // filled in when the page count is known
            needsTotal = true;
        } else {
            static const QRegularExpression field(QStringLiteral("^(\\w+)\\.\"([^\"]+)\"$"));
            const auto fm = field.match(expr);
            if (!fm.hasMatch()) throw EReportError(QStringLiteral("%1: unknown expression [%2]").arg(o.Name, expr));
            auto dsIt = I.datasets.find(fm.captured(1).toLower());
            if (dsIt == I.datasets.end()) throw EReportError(QStringLiteral("%1: unknown dataset %2").arg(o.Name, fm.captured(1)));
            TReportDataset* ds = dsIt->second->Enabled ? dsIt->second : nullptr;
            if (ds && ds->RecordCount() > 0) {
                const int f = ds->FieldIndex(fm.captured(2));
                if (f < 0) throw EReportError(QStringLiteral("%1: field %2 not found in %3").arg(o.Name, fm.captured(2), ds->Name));
                out += vaccoraPlainText(ds->ValueAt(0, f));  // the first record: nothing consumed yet
            }
        }
    }
    out += o.Text.mid(last);
    return out;
}

void TPreparer::chartData(const TTemplateObject& o) {
    if (R.Charts.contains(o.Name)) return;
    QJsonArray series;
    for (const QJsonValue& sv : o.Def.value("series").toArray()) {
        const QJsonObject s = sv.toObject();
        QJsonArray points;
        TReportDataset* ds = E.Dataset(s.value("dataset").toString());
        if (ds) {
            const int lf = ds->FieldIndex(s.value("label").toString());
            const int vf = ds->FieldIndex(s.value("value").toString());
            const bool numberX = s.value("x_kind").toString() == QLatin1String("number");
            const int xf = numberX ? ds->FieldIndex(s.value("x").toString()) : -1;
            const int n = ds->RecordCount();
            for (int r = 0; r < n; ++r) {
                const QString label = vaccoraPlainText(ds->ValueAt(r, lf));
                const QVariant v = ds->ValueAt(r, vf);
                double x = r + 1;
                if (numberX) {
                    const QVariant xv = ds->ValueAt(r, xf);
                    bool ok = true;
                    x = (xv.isValid() && !xv.isNull()) ? xv.toString().toDouble(&ok) : 0;
                    if (!ok) x = 0;
                }
                const double value = (v.isValid() && !v.isNull()) ? v.toDouble() : 0.0;  // NULL plotted as 0
                points.append(QJsonObject{{"label", label}, {"x", x}, {"value", value}});
            }
        }
        series.append(QJsonObject{{"title", s.value("title").toString()}, {"points", points}});
    }
    R.Charts.insert(o.Name, QJsonObject{{"definition", o.Def}, {"series", series}});
}

TCrossTable& TPreparer::crossTable(const TTemplateObject& o, const TTemplateBand* band) {
    auto& t = m_tables[o.Name];
    if (!t) {
        t = std::make_unique<TCrossTable>(o, E, &TReportEngine::Impl::jsFor, &m_ctx);
        TReportDataset* ds = E.Dataset(o.Def.value("dataset").toString());
        t->Build(ds);
        if (!t->AnchorNames.isEmpty() && band) {
            QVector<double> centres;
            for (const QString& name : t->AnchorNames)
                for (const TTemplateObject& a : band->Objects)
                    if (a.Name == name) centres << a.Top + a.Height / 2;
            t->SetAnchors(centres);
        }
        R.Crosstabs.insert(o.Name, t->ResultJson());
    }
    return *t;
}

void TPreparer::printObject(TPreparedPage& page, const TTemplateObject& o, double dx, double dy) {
    TPrintedObject p;
    p.Name = o.Name;
    p.Kind = o.Kind;
    p.Rect = QRectF(o.Left + dx, o.Top + dy, o.Width, o.Height);
    p.Style = o.Style;
    if (o.Kind == QLatin1String("text")) {
        bool needsTotal = false;
        p.Text = evaluate(o, page.Page, needsTotal);
        if (needsTotal) m_pending.push_back(TPending{(int)R.Pages.size() - 1, (int)page.Objects.size(), p.Text});
    } else if (o.Kind == QLatin1String("picture")) {
        p.Image = o.Image;
        p.KeepAspect = o.KeepAspect;
        if (!R.Images.contains(o.Image)) {
            const QByteArray bytes = vaccoraReportResource(o.Image);
            if (bytes.isEmpty()) throw EReportError(QStringLiteral("%1: picture %2 not found").arg(o.Name, o.Image));
            R.Images.insert(o.Image, bytes);
        }
    } else if (o.Kind == QLatin1String("richtext")) {
        p.Html = o.Def.value("html").toString();
    } else if (o.Kind == QLatin1String("chart")) {
        chartData(o);
    } else {
        throw EReportError(QStringLiteral("%1: unknown object kind %2").arg(o.Name, o.Kind));
    }
    page.Objects.push_back(p);
}

TPreparedReport TPreparer::Run() {
    TReportTemplate& T = E.Template;
    int pageNo = 0;
    for (const TTemplatePage& tp : T.Pages) {
        const double printableW = tp.PrintableWidth(), printableH = tp.PrintableHeight();
        const TTemplateBand* header = nullptr;
        const TTemplateBand* footer = nullptr;
        QVector<const TTemplateBand*> summaries;
        for (const auto& b : tp.Bands) {
            if (b.Type == QLatin1String("page_header")) header = &b;
            else if (b.Type == QLatin1String("page_footer")) footer = &b;
            else if (b.Type == QLatin1String("report_summary")) summaries << &b;
        }
        // child bands in the order they follow their parents
        QVector<const TTemplateBand*> chain;
        if (header) {
            QString parent = header->Name;
            for (bool found = true; found;) {
                found = false;
                for (const auto& b : tp.Bands)
                    if (b.Type == QLatin1String("child") && b.Parent == parent) {
                        chain << &b;
                        parent = b.Name;
                        found = true;
                        break;
                    }
            }
        }
        const double footerTop = footer ? printableH - footer->Height : printableH;

        // column blocks of cross-tables inside child bands
        int outputPages = 1;
        std::map<const TTemplateObject*, QVector<TCrossTable::TColBlock>> bandBlocks;
        for (const TTemplateBand* b : chain)
            for (const auto& o : b->Objects)
                if (o.Kind == QLatin1String("crosstab")) {
                    TCrossTable& t = crossTable(o, b);
                    bandBlocks[&o] = t.ColumnBlocks(printableW - o.Left);
                    outputPages = std::max(outputPages, (int)bandBlocks[&o].size());
                }

        // band positions of the first output page
        double y = 0;
        auto bandHeight = [&](const TTemplateBand* b) {
            double h = b->Height;
            if (b->Stretch)
                for (const auto& o : b->Objects) h = std::max(h, o.Top + o.Height);
            return h;
        };
        const double headerHeight = header ? bandHeight(header) : 0;
        y = headerHeight;
        for (const TTemplateBand* b : chain) y += bandHeight(b);
        QVector<double> summaryTops;
        for (const TTemplateBand* s : summaries) {
            summaryTops << y;
            y += s->Height;
        }

        // chunks of band-less cross-tables
        struct TChunk { TCrossTable* table; const TTemplateObject* obj; QVector<TCrossTable::TColBlock> cols; QVector<TCrossTable::TRowBlock> firstRows, nextRows; };
        QVector<TChunk> chunks;
        for (const auto& o : tp.Objects) {
            if (o.Kind != QLatin1String("crosstab")) continue;
            TCrossTable& t = crossTable(o, nullptr);
            double firstBottom = footerTop;
            for (int si = 0; si < summaries.size(); ++si)
                for (const auto& so : summaries[si]->Objects) {
                    const double top = summaryTops[si] + so.Top;
                    if (top > o.Top) firstBottom = std::min(firstBottom, top);
                }
            const double nextTop = std::max(o.Top, headerHeight);
            TChunk c{&t, &o, t.ColumnBlocks(printableW - o.Left), t.RowBlocks(firstBottom - o.Top, footerTop - nextTop),
                     t.RowBlocks(footerTop - nextTop, footerTop - nextTop)};
            const int count = (int)c.firstRows.size() + (int)(c.cols.size() - 1) * (int)c.nextRows.size();
            outputPages = std::max(outputPages, count);
            chunks << c;
        }

        for (int k = 0; k < outputPages; ++k) {
            TPreparedPage page;
            page.Page = ++pageNo;
            page.TemplatePage = tp.Name;
            page.PaperWidthMm = tp.PaperWidthMm;
            page.PaperHeightMm = tp.PaperHeightMm;
            page.MarginLeftMm = tp.MarginLeftMm;
            page.MarginTopMm = tp.MarginTopMm;
            R.Pages.push_back(page);
            TPreparedPage& P = R.Pages.back();
            double by = 0;
            if (header) {
                for (const auto& o : header->Objects) {
                    if (o.Kind == QLatin1String("crosstab")) continue;
                    printObject(P, o, 0, by);
                }
                by += headerHeight;
            }
            for (const TTemplateBand* b : chain) {
                bool hasTable = false, tableHere = false;
                for (const auto& o : b->Objects)
                    if (o.Kind == QLatin1String("crosstab")) {
                        hasTable = true;
                        if (k < bandBlocks[&o].size()) tableHere = true;
                    }
                if (k > 0 && (!hasTable || !tableHere)) continue;  // continuation pages carry only the tables' further columns
                for (const auto& o : b->Objects) {
                    if (o.Kind == QLatin1String("crosstab")) {
                        if (k >= bandBlocks[&o].size()) continue;
                        TCrossTable& t = *m_tables[o.Name];
                        TPrintedObject p;
                        p.Name = o.Name;
                        p.Kind = o.Kind;
                        const auto& blk = bandBlocks[&o][k];
                        p.Boxes = t.Anchored() ? t.AnchoredBoxes(o.Left, o.Top, blk) : t.Boxes(o.Left, o.Top, blk, t.RowBlocks(1e9, 1e9).front());
                        for (auto& bx : p.Boxes) bx.Rect.translate(0, by);
                        QRectF r;
                        for (const auto& bx : p.Boxes) r = r.united(bx.Rect);
                        p.Rect = r.isNull() ? QRectF(o.Left, o.Top + by, 0, 0) : r;
                        P.Objects.push_back(p);
                    } else {
                        printObject(P, o, 0, by);
                    }
                }
                by += bandHeight(b);
            }
            if (k == 0)
                for (int si = 0; si < summaries.size(); ++si)
                    for (const auto& o : summaries[si]->Objects) printObject(P, o, 0, summaryTops[si]);
            if (footer)
                for (const auto& o : footer->Objects) printObject(P, o, 0, footerTop);
            if (k == 0)
                for (const auto& o : tp.Objects)
                    if (o.Kind != QLatin1String("crosstab")) printObject(P, o, 0, 0);
            for (const TChunk& c : chunks) {
                // down, then across: every row block of a column block before the next column block
                int idx = k, colBlock = 0;
                const TCrossTable::TRowBlock* rb = nullptr;
                if (idx < c.firstRows.size()) {
                    rb = &c.firstRows[idx];
                } else {
                    idx -= (int)c.firstRows.size();
                    colBlock = 1 + idx / std::max(1, (int)c.nextRows.size());
                    if (colBlock < c.cols.size()) rb = &c.nextRows[idx % c.nextRows.size()];
                }
                if (!rb) continue;
                const double top = k == 0 ? c.obj->Top : std::max(c.obj->Top, headerHeight);
                TPrintedObject p;
                p.Name = c.obj->Name;
                p.Kind = c.obj->Kind;
                p.Boxes = c.table->Boxes(c.obj->Left, top, c.cols[colBlock], *rb);
                QRectF r;
                for (const auto& bx : p.Boxes) r = r.united(bx.Rect);
                p.Rect = r.isNull() ? QRectF(c.obj->Left, top, 0, 0) : r;
                P.Objects.push_back(p);
            }
        }
    }
    const QString total = QString::number(pageNo);
    for (const TPending& p : m_pending) {
        QString t = p.text;
        t.replace(QLatin1String("[TotalPages#]"), total);
        t.replace(QLatin1String("[TotalPages]"), total);
        R.Pages[p.page].Objects[p.object].Text = t;
    }
    return R;
}

}  // namespace

TPreparedReport TReportEngine::Prepare() {
    try {
        TPreparer p(*this, *d);
        return p.Run();
    } catch (const EReportPrepareError&) {
        throw;
    } catch (const std::exception& e) {
        throw EReportPrepareError(QString::fromUtf8(e.what()));
    }
}
