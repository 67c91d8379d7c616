#include "import/sources/spreadsheet/XlsMap.h"

#include "import/sources/spreadsheet/XlsMessages.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <cstdlib>

namespace {

constexpr int kMaxCol = 256;
constexpr int kMaxRow = 65536;

bool isLetter(QChar c) { return c >= QLatin1Char('A') && c <= QLatin1Char('Z'); }
bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
bool isKnown(QChar c)
{
    return isLetter(c) || isDigit(c) || c == QLatin1Char(';') || c == QLatin1Char('-') || c == QLatin1Char('[') ||
           c == QLatin1Char(']') || c == QLatin1Char(':');
}
bool illegalInName(QChar c)
{
    return c == QLatin1Char(':') || c == QLatin1Char('\\') || c == QLatin1Char('/') || c == QLatin1Char('?') ||
           c == QLatin1Char('*') || c == QLatin1Char('[') || c == QLatin1Char(']');
}

QString num(long long v) { return QString::number(v); }

class TMapParser {
public:
    explicit TMapParser(const QString& text) : s(text), n(text.size()) {}

    std::vector<TMapRange> parse()
    {
        std::vector<TMapRange> out;
        while (i < n) {
            TMapRange r;
            sheetParts(r);
            if (at() == QLatin1Char(';'))
                throw EMapError(xlsText(SxlsUnexpectedEnd));
            body(r);
            if (at() != QLatin1Char(';'))
                fail();
            ++i;
            r.UpdateShape();
            out.push_back(r);
        }
        return out;
    }

private:
    QChar at() const { return i < n ? s[i] : QChar(); }
    int pos() const { return int(i) + 1; }

    [[noreturn]] void fail() const
    {
        if (i >= n)
            throw EMapError(xlsText(SxlsUnexpectedEnd));
        if (!isKnown(s[i]))
            throw EMapError(xlsFmt(SxlsUnknownSymbol, {QString(s[i]), QString::number(pos())}));
        throw EMapError(xlsFmt(SxlsUnexpectedSymbol, {QString(s[i]), QString::number(pos())}));
    }

    void expectLetter() const
    {
        if (i < n && isLetter(s[i]))
            return;
        if (i < n && !isKnown(s[i]))
            fail();
        const QString what = (i >= n || s[i] == QLatin1Char(';')) ? xlsText(SxlsEndOfRange) : QString(s[i]);
        throw EMapError(xlsFmt(SxlsLetterExpected, {what, QString::number(pos())}));
    }

    QString letters()
    {
        const qsizetype start = i;
        while (i < n && isLetter(s[i]))
            ++i;
        return s.mid(start, i - start);
    }

    int integer()
    {
        const qsizetype start = i;
        while (i < n && isDigit(s[i]))
            ++i;
        const QString d = s.mid(start, i - start);
        bool ok = false;
        const int v = d.toInt(&ok);
        if (!ok)
            throw EMapError(xlsFmt(SxlsNotAnInteger, {d}));
        return v;
    }

    int rowNumber()
    {
        const int r = integer();
        if (r < 1 || r > kMaxRow)
            throw EMapError(xlsFmt(SxlsRowOutOfRange, {QString::number(r), QStringLiteral("1"), QString::number(kMaxRow)}));
        return r;
    }

    static int requireColumn(const QString& l)
    {
        const int c = xlsColumnNumber(l);
        if (l.size() > 2 || c > kMaxCol)
            throw EMapError(xlsFmt(SxlsColumnOutOfRange, {QString::number(c), xlsColumnLetters(1), xlsColumnLetters(kMaxCol)}));
        return c;
    }

    static bool isColumn(const QString& l) { return l.size() <= 2 && xlsColumnNumber(l) <= kMaxCol; }

    [[noreturn]] static void expect(const char* allowed, const QString& found)
    {
        throw EMapError(xlsFmt(SxlsExpectFound, {QLatin1String(allowed), found}));
    }

    void sheetParts(TMapRange& r)
    {
        while (at() == QLatin1Char('[')) {
            ++i;
            if (at() == QLatin1Char(':')) {
                ++i;
                if (!isDigit(at()))
                    fail();
                const int number = integer();
                if (at() != QLatin1Char(']'))
                    fail();
                ++i;
                r.SheetName.clear();
                r.SheetNumber = number;
                r.SheetRef = number > 0 ? msrNumber : msrDefault;
                continue;
            }
            const qsizetype start = i;
            while (i < n && s[i] != QLatin1Char(']') ) {
                if (illegalInName(s[i]))
                    throw EMapError(
                        xlsFmt(SxlsIllegalSheetChar, {QString(s[i]), QString::number(pos())}));
                ++i;
            }
            if (i >= n)
                throw EMapError(xlsText(SxlsUnexpectedEnd));
            if (i == start)
                throw EMapError(xlsFmt(SxlsIllegalSheetChar, {QString(s[i]), QString::number(pos())}));
            r.SheetName = s.mid(start, i - start);
            r.SheetNumber = 0;
            r.SheetRef = msrName;
            ++i;
        }
    }

    void body(TMapRange& r)
    {
        const QChar c = at();
        if (isLetter(c)) {
            const QString l = letters();
            if (isDigit(at())) {
                const int col = requireColumn(l);
                const int row = rowNumber();
                if (at() == QLatin1Char(';')) {
                    setCell(r, row, col);
                    return;
                }
                if (at() != QLatin1Char('-'))
                    fail();
                ++i;
                expectLetter();
                const QString l2 = letters();
                if (isDigit(at())) {
                    const int col2 = requireColumn(l2);
                    const int row2 = rowNumber();
                    if (col == col2 && row == row2) {
                        setCell(r, row, col);
                    } else if (col == col2) {
                        r.FirstCol = r.LastCol = col;
                        r.FirstRow = row;
                        r.LastRow = row2;
                        r.Direction = row2 > row ? mdForward : mdBackward;
                    } else if (row == row2) {
                        r.FirstRow = r.LastRow = row;
                        r.FirstCol = col;
                        r.LastCol = col2;
                        r.Direction = col2 > col ? mdForward : mdBackward;
                    } else {
                        throw EMapError(xlsFmt(SxlsRangeNotColOrRow, {xlsColumnLetters(col) + num(row) + QLatin1Char('-') +
                                                 xlsColumnLetters(col2) + num(row2)}));
                    }
                    return;
                }
                if (l2 == QLatin1String("COLFINISH") || l2 == QLatin1String("COLSTART")) {
                    r.FirstCol = r.LastCol = col;
                    r.FirstRow = row;
                    r.LastRow = 0;
                    r.Direction = l2 == QLatin1String("COLFINISH") ? mdForward : mdBackward;
                } else if (l2 == QLatin1String("ROWFINISH") || l2 == QLatin1String("ROWSTART")) {
                    r.FirstRow = r.LastRow = row;
                    r.FirstCol = col;
                    r.LastCol = 0;
                    r.Direction = l2 == QLatin1String("ROWFINISH") ? mdForward : mdBackward;
                } else {
                    expect("COLSTART, COLFINISH, ROWSTART or ROWFINISH", l2);
                }
                return;
            }
            if (at() != QLatin1Char('-'))
                fail();
            if (isColumn(l)) {
                ++i;
                expectLetter();
                const QString l2 = letters();
                if (l2 != QLatin1String("COLFINISH") && l2 != QLatin1String("COLSTART"))
                    expect("COLSTART or COLFINISH", l2);
                r.FirstCol = r.LastCol = xlsColumnNumber(l);
                r.FirstRow = r.LastRow = 0;
                r.Direction = l2 == QLatin1String("COLFINISH") ? mdForward : mdBackward;
                return;
            }
            const bool colKw = l == QLatin1String("COLSTART") || l == QLatin1String("COLFINISH");
            const bool rowKw = l == QLatin1String("ROWSTART") || l == QLatin1String("ROWFINISH");
            if (!colKw && !rowKw)
                expect("COLSTART, COLFINISH, ROWSTART or ROWFINISH", l);
            ++i;
            expectLetter();
            const QString l2 = letters();
            const int col2 = requireColumn(l2);
            if (!isDigit(at()))
                fail();
            const int row2 = rowNumber();
            const bool forward = l == QLatin1String("COLSTART") || l == QLatin1String("ROWSTART");
            r.Direction = forward ? mdForward : mdBackward;
            if (colKw) {
                r.FirstCol = r.LastCol = col2;
                r.FirstRow = 0;
                r.LastRow = row2;
            } else {
                r.FirstRow = r.LastRow = row2;
                r.FirstCol = 0;
                r.LastCol = col2;
            }
            return;
        }
        if (isDigit(c)) {
            const int row = rowNumber();
            if (at() != QLatin1Char('-'))
                fail();
            ++i;
            expectLetter();
            const QString l2 = letters();
            if (l2 != QLatin1String("ROWFINISH") && l2 != QLatin1String("ROWSTART"))
                expect("ROWSTART or ROWFINISH", l2);
            r.FirstRow = r.LastRow = row;
            r.FirstCol = r.LastCol = 0;
            r.Direction = l2 == QLatin1String("ROWFINISH") ? mdForward : mdBackward;
            return;
        }
        fail();
    }

    static void setCell(TMapRange& r, int row, int col)
    {
        r.FirstRow = r.LastRow = row;
        r.FirstCol = r.LastCol = col;
        r.Direction = mdNone;
    }

    const QString& s;
    qsizetype n;
    qsizetype i = 0;
};

// Position along a range's axis (row for columns, column for rows).
struct TAxis {
    int first, last;
};

TAxis axisOf(const TMapRange& r)
{
    return r.Shape == mshRow ? TAxis{r.FirstCol, r.LastCol} : TAxis{r.FirstRow, r.LastRow};
}

void setAxis(TMapRange& r, int first, int last)
{
    if (r.Shape == mshRow) {
        r.FirstCol = first;
        r.LastCol = last;
    } else {
        r.FirstRow = first;
        r.LastRow = last;
    }
}

bool axisContains(TMapDirection dir, int first, int last, int v)
{
    const bool forward = dir != mdBackward;
    if (first && last)
        return v >= std::min(first, last) && v <= std::max(first, last);
    if (first)
        return forward ? v >= first : v <= first;
    if (last)
        return forward ? v <= last : v >= last;
    return true;
}

} // namespace

// ---------------------------------------------------------------- helpers

int xlsColumnNumber(const QString& letters)
{
    long long v = 0;
    for (QChar c : letters) {
        v = v * 26 + (c.unicode() - 'A' + 1);
        if (v > INT_MAX / 27)
            return INT_MAX / 27;
    }
    return int(v);
}

QString xlsColumnLetters(int column)
{
    QString s;
    while (column > 0) {
        const int m = (column - 1) % 26;
        s.prepend(QChar(u'A' + m));
        column = (column - 1) / 26;
    }
    return s;
}

std::vector<TMapRange> xlsParseMap(const QString& text)
{
    QString s = text.trimmed();
    if (s.isEmpty())
        return {};
    for (QChar& c : s)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 32);
    if (!s.endsWith(QLatin1Char(';')))
        s.append(QLatin1Char(';'));
    return TMapParser(s).parse();
}

QString xlsMapText(const std::vector<TMapRange>& ranges)
{
    QString s;
    for (const TMapRange& r : ranges)
        s += r.Text();
    return s;
}

// ---------------------------------------------------------------- TMapRange

void TMapRange::UpdateShape()
{
    if (FirstRow > 0 && FirstCol > 0 && FirstRow == LastRow && FirstCol == LastCol)
        Shape = mshCell;
    else if (FirstCol > 0 && FirstCol == LastCol)
        Shape = mshCol;
    else if (FirstRow > 0 && FirstRow == LastRow)
        Shape = mshRow;
    else
        Shape = mshUndefined;
}

QString TMapRange::Text() const
{
    if (Shape == mshUndefined)
        return QString();
    QString t;
    if (SheetRef == msrName)
        t = QLatin1Char('[') + SheetName + QLatin1Char(']');
    else if (SheetRef == msrNumber && SheetNumber > 0)
        t = QStringLiteral("[:") + QString::number(SheetNumber) + QLatin1Char(']');
    auto addr = [](int col, int row) { return xlsColumnLetters(col) + QString::number(row); };
    const bool fwd = Direction != mdBackward;
    if (Shape == mshCell) {
        t += addr(FirstCol, FirstRow);
    } else if (Shape == mshCol) {
        const QString c = xlsColumnLetters(FirstCol);
        if (FirstRow && LastRow)
            t += addr(FirstCol, FirstRow) + QLatin1Char('-') + addr(FirstCol, LastRow);
        else if (FirstRow)
            t += addr(FirstCol, FirstRow) + (fwd ? QLatin1String("-COLFINISH") : QLatin1String("-COLSTART"));
        else if (LastRow)
            t += (fwd ? QLatin1String("COLSTART-") : QLatin1String("COLFINISH-")) + addr(FirstCol, LastRow);
        else
            t += c + (fwd ? QLatin1String("-COLFINISH") : QLatin1String("-COLSTART"));
    } else {
        const QString r = QString::number(FirstRow);
        if (FirstCol && LastCol)
            t += addr(FirstCol, FirstRow) + QLatin1Char('-') + addr(LastCol, FirstRow);
        else if (FirstCol)
            t += addr(FirstCol, FirstRow) + (fwd ? QLatin1String("-ROWFINISH") : QLatin1String("-ROWSTART"));
        else if (LastCol)
            t += (fwd ? QLatin1String("ROWSTART-") : QLatin1String("ROWFINISH-")) + addr(LastCol, FirstRow);
        else
            t += r + (fwd ? QLatin1String("-ROWFINISH") : QLatin1String("-ROWSTART"));
    }
    return t + QLatin1Char(';');
}

bool TMapRange::SameSheet(const TMapRange& o) const
{
    if (SheetRef != o.SheetRef)
        return false;
    if (SheetRef == msrNumber)
        return SheetNumber == o.SheetNumber;
    if (SheetRef == msrName)
        return QString::compare(SheetName, o.SheetName, Qt::CaseInsensitive) == 0;
    return true;
}

bool TMapRange::Contains(const QString& sheetName, int sheetNumber, int row, int col) const
{
    if (SheetRef == msrNumber && SheetNumber != sheetNumber)
        return false;
    if (SheetRef == msrName && QString::compare(SheetName, sheetName, Qt::CaseInsensitive) != 0)
        return false;
    switch (Shape) {
    case mshCell: return row == FirstRow && col == FirstCol;
    case mshCol: return col == FirstCol && axisContains(Direction, FirstRow, LastRow, row);
    case mshRow: return row == FirstRow && axisContains(Direction, FirstCol, LastCol, col);
    default: return false;
    }
}

void TMapRange::Resolve(const TxlsFile& file)
{
    UpdateShape();
    m_openEndFilled = false;
    int index = 0;
    if (SheetRef == msrNumber && SheetNumber > 0) {
        index = SheetNumber - 1;
    } else if (SheetRef == msrName) {
        index = file.findWorksheet(SheetName);
        if (index < 0)
            throw ExlsError(xlsFmt(SxlsSheetNotFound, {SheetName}));
    }
    Sheet = file.worksheet(index);
    const bool fwd = Direction != mdBackward;
    if (Shape == mshRow) {
        const int r = FirstRow - 1;
        if (r < Sheet->rowCount() && Sheet->Rows[size_t(r)].count() > 0) {
            const TxlsRow& row = Sheet->Rows[size_t(r)];
            const int lo = row.MinCol + 1, hi = row.MaxCol + 1;
            if (FirstCol == 0) {
                FirstCol = fwd ? lo : hi;
                m_openEndFilled = true;
            }
            if (LastCol == 0) {
                LastCol = fwd ? hi : lo;
                m_openEndFilled = true;
            }
        }
    } else if (Shape == mshCol) {
        const int c = FirstCol - 1;
        if (c < Sheet->colCount() && Sheet->Cols[size_t(c)].count() > 0) {
            const TxlsCol& col = Sheet->Cols[size_t(c)];
            const int lo = col.MinRow + 1, hi = col.MaxRow + 1;
            if (FirstRow == 0) {
                FirstRow = fwd ? 1 : hi;
                m_openEndFilled = true;
            }
            if (LastRow == 0) {
                LastRow = fwd ? hi : lo;
                m_openEndFilled = true;
            }
        }
    }
    UpdateShape();
}

void TMapRange::CalcCount(int skipR, int skipC)
{
    Count = 0;
    auto run = [&](int fixed, int skipFixed, int first, int last, int skipAxis) {
        // An end that stayed open (no data on that row or column) yields nothing.
        if (first == 0 || last == 0)
            return 0;
        // An end filled from the data that lies behind the set end (against
        // the direction) leaves nothing to read either.
        if (m_openEndFilled && Direction != mdNone && ((Direction == mdForward) != (last >= first)))
            return 0;
        if (!(skipFixed < fixed && (skipAxis < first || skipAxis < last)))
            return 0;
        if (first <= skipAxis)
            first = skipAxis + 1;
        if (last <= skipAxis)
            last = skipAxis + 1;
        return std::abs(last - first) + 1;
    };
    switch (Shape) {
    case mshCol: Count = run(FirstCol, skipC, FirstRow, LastRow, skipR); break;
    case mshRow: Count = run(FirstRow, skipR, FirstCol, LastCol, skipC); break;
    case mshCell: Count = (skipR < FirstRow && skipC < FirstCol) ? 1 : 0; break;
    default: Count = 0; break;
    }
}

void TMapRange::CellOf(int k, int skipR, int skipC, int& row, int& col) const
{
    const bool fwd = Direction != mdBackward;
    switch (Shape) {
    case mshCol:
        col = FirstCol;
        row = fwd ? std::max(FirstRow, skipR + 1) + k - 1 : FirstRow - k + 1;
        break;
    case mshRow:
        row = FirstRow;
        col = fwd ? std::max(FirstCol, skipC + 1) + k - 1 : FirstCol - k + 1;
        break;
    default:
        row = FirstRow;
        col = FirstCol;
        break;
    }
}

// ---------------------------------------------------------------- TMapRow

void TMapRow::Parse(const QString& text)
{
    Ranges = xlsParseMap(text);
    Total = 0;
}

void TMapRow::Resolve()
{
    Total = 0;
    for (TMapRange& r : Ranges) {
        r.Resolve(*m_list->File);
        r.CalcCount(m_list->SkipFirstRows, m_list->SkipFirstCols);
        Total += r.Count;
    }
}

TbiffCell* TMapRow::CellAt(int k) const
{
    if (!m_list || !m_list->File || k <= 0 || k > Total)
        return nullptr;
    for (const TMapRange& r : Ranges) {
        if (k > r.Count) {
            k -= r.Count;
            continue;
        }
        int row = 0, col = 0;
        r.CellOf(k, m_list->SkipFirstRows, m_list->SkipFirstCols, row, col);
        return r.Sheet ? r.Sheet->cell(row - 1, col - 1) : nullptr;
    }
    return nullptr;
}

QString TMapRow::Value(int k, const TxlsFormatSettings& fs) const
{
    const TbiffCell* c = CellAt(k);
    return c ? c->text(fs) : QString();
}

bool TMapRow::Contains(const QString& sheetName, int sheetNumber, int row, int col) const
{
    for (const TMapRange& r : Ranges)
        if (r.Contains(sheetName, sheetNumber, row, col))
            return true;
    return false;
}

TMapRow::TOutline TMapRow::Outline(const QString& sheetName, int sheetNumber, int row, int col) const
{
    TOutline o;
    o.Left = Contains(sheetName, sheetNumber, row, col - 1);
    o.Right = Contains(sheetName, sheetNumber, row, col + 1);
    o.Top = Contains(sheetName, sheetNumber, row - 1, col);
    o.Bottom = Contains(sheetName, sheetNumber, row + 1, col);
    return o;
}

void TMapRow::RemoveCell(const QString& sheetName, int sheetNumber, int row, int col)
{
    std::vector<TMapRange> out;
    for (const TMapRange& r : Ranges) {
        if (!r.Contains(sheetName, sheetNumber, row, col)) {
            out.push_back(r);
            continue;
        }
        if (r.Shape == mshCell)
            continue;
        const int v = r.Shape == mshRow ? col : row;
        const TAxis a = axisOf(r);
        const int step = r.Direction == mdBackward ? -1 : 1;
        TMapRange x = r;
        if (a.first && v == a.first) {
            setAxis(x, a.first + step, a.last);
            out.push_back(x);
        } else if (a.last && v == a.last) {
            setAxis(x, a.first, a.last - step);
            out.push_back(x);
        } else {
            TMapRange before = r, after = r;
            setAxis(before, a.first, v - step);
            setAxis(after, v + step, a.last);
            out.push_back(before);
            out.push_back(after);
        }
    }
    Parse(xlsMapText(out));
}

void TMapRow::JoinAdjacent()
{
    for (size_t j = Ranges.size(); j-- > 1;) {
        TMapRange& a = Ranges[j - 1];
        const TMapRange& b = Ranges[j];
        if (!a.SameSheet(b))
            continue;
        bool merged = false;
        if (a.Shape == mshCell && b.Shape == mshCell) {
            if (a.FirstCol == b.FirstCol && std::abs(a.FirstRow - b.FirstRow) == 1) {
                a.LastRow = b.FirstRow;
                a.Direction = b.FirstRow > a.FirstRow ? mdForward : mdBackward;
                merged = true;
            } else if (a.FirstRow == b.FirstRow && std::abs(a.FirstCol - b.FirstCol) == 1) {
                a.LastCol = b.FirstCol;
                a.Direction = b.FirstCol > a.FirstCol ? mdForward : mdBackward;
                merged = true;
            }
        } else if ((a.Shape == mshCol || a.Shape == mshRow || a.Shape == mshCell) &&
                   (b.Shape == mshCol || b.Shape == mshRow || b.Shape == mshCell)) {
            // One of the two is a line, the other a line of the same kind or a
            // single cell; the values must keep their order.
            const TMapShape line = a.Shape == mshCell ? b.Shape : a.Shape;
            if ((a.Shape != mshCell && a.Shape != line) || (b.Shape != mshCell && b.Shape != line))
                continue;
            auto fixed = [line](const TMapRange& r) { return line == mshCol ? r.FirstCol : r.FirstRow; };
            auto first = [line](const TMapRange& r) { return line == mshCol ? r.FirstRow : r.FirstCol; };
            auto last = [line](const TMapRange& r) { return line == mshCol ? r.LastRow : r.LastCol; };
            if (fixed(a) != fixed(b))
                continue;
            if (a.Shape != mshCell && b.Shape != mshCell) {
                if (a.Direction != b.Direction || !last(a) || !first(b))
                    continue;
                const int step = a.Direction == mdBackward ? -1 : 1;
                if (first(b) != last(a) + step)
                    continue;
                if (line == mshCol)
                    a.LastRow = b.LastRow;
                else
                    a.LastCol = b.LastCol;
                merged = true;
            } else if (a.Shape == mshCell) {
                // cell just before the first end of the following line
                if (!first(b))
                    continue;
                const int step = b.Direction == mdBackward ? -1 : 1;
                if (first(a) != first(b) - step)
                    continue;
                const TMapRange c = a;
                a = b;
                a.SheetRef = c.SheetRef;
                a.SheetNumber = c.SheetNumber;
                a.SheetName = c.SheetName;
                if (line == mshCol)
                    a.FirstRow = c.FirstRow;
                else
                    a.FirstCol = c.FirstCol;
                merged = true;
            } else {
                // line followed by the cell just past its last end
                if (!last(a))
                    continue;
                const int step = a.Direction == mdBackward ? -1 : 1;
                if (first(b) != last(a) + step)
                    continue;
                if (line == mshCol)
                    a.LastRow = b.FirstRow;
                else
                    a.LastCol = b.FirstCol;
                merged = true;
            }
        }
        if (merged) {
            a.UpdateShape();
            Ranges.erase(Ranges.begin() + std::ptrdiff_t(j));
        }
    }
    Parse(xlsMapText(Ranges));
}

int TMapRow::FindRange(const QString& text) const
{
    for (size_t i = 0; i < Ranges.size(); ++i)
        if (QString::compare(Ranges[i].Text(), text, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

// ---------------------------------------------------------------- TMapRowList

TMapRow& TMapRowList::Add(const QString& text)
{
    auto row = std::make_unique<TMapRow>(this);
    row->Parse(text);
    row->Resolve();
    Rows.push_back(std::move(row));
    return *Rows.back();
}

void TMapRowList::UpdateMinMax()
{
    MinIndex = MaxIndex = -1;
    for (size_t i = 0; i < Rows.size(); ++i) {
        if (MinIndex < 0 || Rows[i]->Total < Rows[size_t(MinIndex)]->Total)
            MinIndex = int(i);
        if (MaxIndex < 0 || Rows[i]->Total > Rows[size_t(MaxIndex)]->Total)
            MaxIndex = int(i);
    }
}

int TMapRowList::RecordCount(TImportRange range) const
{
    const int i = range == qirMax ? MaxIndex : MinIndex;
    if (i < 0 || size_t(i) >= Rows.size())
        throw ExlsError(xlsFmt(SxlsListIndex, {QString::number(i)}));
    return Rows[size_t(i)]->Total;
}

// ---------------------------------------------------------------- range editor

namespace {

QString prepareBox(const QString& text)
{
    QString s = text.trimmed();
    for (QChar& c : s)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 32);
    return s;
}

[[noreturn]] void boxExpected(const char* what, const QString& s, qsizetype i)
{
    if (i < s.size() && !isKnown(s[i]))
        throw EMapError(xlsFmt(SxlsUnknownSymbol, {QString(s[i]), QString::number(i + 1)}));
    const QString found = i < s.size() ? QString(s[i]) : xlsText(SxlsEndOfRange);
    throw EMapError(xlsFmt(std::strcmp(what, "Letter") == 0 ? SxlsLetterExpected : SxlsNumberExpected, {found, QString::number(i + 1)}));
}

int boxColumn(const QString& s, qsizetype& i)
{
    if (i >= s.size() || !isLetter(s[i]))
        boxExpected("Letter", s, i);
    const qsizetype start = i;
    while (i < s.size() && isLetter(s[i]))
        ++i;
    const QString l = s.mid(start, i - start);
    const int c = xlsColumnNumber(l);
    if (l.size() > 2 || c > kMaxCol)
        throw EMapError(xlsFmt(SxlsColumnOutOfRange, {QString::number(c), xlsColumnLetters(1), xlsColumnLetters(kMaxCol)}));
    return c;
}

int boxNumber(const QString& s, qsizetype& i)
{
    if (i >= s.size() || !isDigit(s[i]))
        boxExpected("Number", s, i);
    const qsizetype start = i;
    while (i < s.size() && isDigit(s[i]))
        ++i;
    bool ok = false;
    const QString d = s.mid(start, i - start);
    const int v = d.toInt(&ok);
    if (!ok)
        throw EMapError(xlsFmt(SxlsNotAnInteger, {d}));
    return v;
}

int boxRow(const QString& s, qsizetype& i)
{
    const int r = boxNumber(s, i);
    if (r < 1 || r > kMaxRow)
        throw EMapError(xlsFmt(SxlsRowOutOfRange, {QString::number(r), QStringLiteral("1"), QString::number(kMaxRow)}));
    return r;
}

} // namespace

int xlsCheckColumnBox(const QString& text)
{
    const QString s = prepareBox(text);
    if (s.isEmpty())
        throw EMapError(xlsText(SxlsColEmpty));
    qsizetype i = 0;
    const int c = boxColumn(s, i);
    if (i < s.size())
        throw EMapError(xlsText(SxlsLongCol));
    return c;
}

int xlsCheckRowBox(const QString& text)
{
    const QString s = prepareBox(text);
    if (s.isEmpty())
        throw EMapError(xlsText(SxlsRowEmpty));
    qsizetype i = 0;
    const int r = boxRow(s, i);
    if (i < s.size())
        throw EMapError(xlsText(SxlsLongRow));
    return r;
}

void xlsCheckCellBox(const QString& text, int& row, int& col)
{
    const QString s = prepareBox(text);
    if (s.isEmpty())
        throw EMapError(xlsText(SxlsCellEmpty));
    qsizetype i = 0;
    col = boxColumn(s, i);
    row = boxRow(s, i);
    if (i < s.size())
        throw EMapError(xlsText(SxlsLongCell));
}

int xlsCheckSheetNumberBox(const QString& text)
{
    const QString s = text.trimmed();
    if (s.isEmpty())
        throw EMapError(xlsText(SxlsSheetEmpty));
    qsizetype i = 0;
    const int n = boxNumber(s, i);
    if (i < s.size())
        throw EMapError(xlsText(SxlsLongSheet));
    return n;
}

QString xlsCheckSheetNameBox(const QString& text)
{
    if (text.isEmpty())
        throw EMapError(xlsText(SxlsSheetEmpty));
    for (qsizetype i = 0; i < text.size(); ++i)
        if (illegalInName(text[i]))
            throw EMapError(xlsFmt(SxlsIllegalSheetChar, {QString(text[i]), QString::number(i + 1)}));
    return text;
}

TMapRange xlsRangeFromChoice(const TMapRangeChoice& c)
{
    TMapRange r;
    r.SheetRef = c.Sheet;
    if (c.Sheet == msrNumber) {
        r.SheetNumber = c.SheetNumber;
        if (c.SheetNumber <= 0)
            r.SheetRef = msrDefault;
    } else if (c.Sheet == msrName) {
        r.SheetName = c.SheetName;
    }
    if (c.Type == mshCell) {
        r.FirstRow = r.LastRow = c.CellRow;
        r.FirstCol = r.LastCol = c.CellCol;
        r.Direction = mdNone;
    } else {
        const int first = c.Start, last = c.Finish;
        r.Direction = (first && last) ? (last >= first ? mdForward : mdBackward) : (c.Forward ? mdForward : mdBackward);
        if (c.Type == mshCol) {
            r.FirstCol = r.LastCol = c.Line;
            r.FirstRow = first;
            r.LastRow = last;
        } else {
            r.FirstRow = r.LastRow = c.Line;
            r.FirstCol = first;
            r.LastCol = last;
        }
        if (first && first == last)
            r.Direction = mdNone;
    }
    r.UpdateShape();
    return r;
}
