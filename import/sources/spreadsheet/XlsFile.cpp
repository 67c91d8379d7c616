#include "import/sources/spreadsheet/XlsFile.h"

#include "import/sources/spreadsheet/XlsCompound.h"
#include "import/sources/spreadsheet/XlsMessages.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

inline uint16_t rd16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t rd32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline double rdDouble(const uint8_t* p) {
    uint64_t bits = uint64_t(rd32(p)) | (uint64_t(rd32(p + 4)) << 32);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

std::string hex(unsigned v, bool pad2)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, pad2 ? "%02X" : "%X", v);
    return buf;
}

[[noreturn]] void invalidRecord(uint16_t id)
{
    throw ExlsFileError(xlsFmt(SxlsInvalidRecord, {QString::fromStdString(hex(id, false))}));
}

[[noreturn]] void errorReadingRecord() { throw ExlsFileError(xlsText(SxlsErrorReadingRecord)); }

struct TxlsSegment {
    const uint8_t* data;
    size_t size;
};

// One record as read from the stream: its body and the bodies of the
// CONTINUE records chained to it. Points into the memory stream.
struct TxlsRaw {
    uint16_t id = 0;
    uint16_t size = 0;
    const uint8_t* body = nullptr;
    std::vector<TxlsSegment> continues;
    std::vector<uint8_t> copy() const { return std::vector<uint8_t>(body, body + size); }
};

class TxlsRecordReader {
public:
    TxlsRecordReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    // Reads a record header; false when fewer than 4 bytes are left.
    bool header(uint16_t& id, uint16_t& size)
    {
        if (m_pos + 4 > m_size)
            return false;
        id = rd16(m_data + m_pos);
        size = rd16(m_data + m_pos + 2);
        m_pos += 4;
        return true;
    }

    void body(uint16_t id, uint16_t size, TxlsRaw& r)
    {
        if (m_pos + size > m_size)
            throw ExlsError(xlsText(SxlsFileInvalid));
        r.id = id;
        r.size = size;
        r.body = m_data + m_pos;
        r.continues.clear();
        m_pos += size;
        if ((id == xlsBOF || id == xlsBOF2) && (size < 2 || rd16(r.body) != 0x0600))
            throw ExlsError(xlsText(SxlsInvalidVersion));
        // Look-ahead: chain CONTINUEs; a STRING may only follow a formula.
        while (m_pos + 4 <= m_size) {
            const uint16_t next = rd16(m_data + m_pos);
            if (next == xlsCONTINUE) {
                const uint16_t n = rd16(m_data + m_pos + 2);
                if (m_pos + 4 + n > m_size)
                    throw ExlsError(xlsText(SxlsFileInvalid));
                r.continues.push_back({m_data + m_pos + 4, n});
                m_pos += 4 + size_t(n);
                continue;
            }
            // ARRAY and TABLE stand between a formula and its STRING result
            // in files Excel writes, so they are accepted as well.
            if (next == xlsSTRING && id != xlsFORMULA && id != xlsSHRFMLA && id != xlsARRAY && id != xlsTABLE)
                throw ExlsFileError(xlsText(SxlsFileInvalid));
            break;
        }
    }

    void record(TxlsRaw& r)
    {
        uint16_t id, size;
        if (!header(id, size))
            throw ExlsFileError(xlsText(SxlsFileInvalid));
        body(id, size, r);
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Reads across a record and its CONTINUE chain.
class TxlsCursor {
public:
    TxlsCursor(const TxlsRaw& r, size_t offset) : m_raw(r), m_p(r.body), m_n(r.size), m_pos(offset)
    {
        if (offset > r.size)
            errorReadingRecord();
    }

    uint8_t byte()
    {
        while (m_pos >= m_n)
            nextOrFail();
        return m_p[m_pos++];
    }
    uint16_t word() { uint16_t lo = byte(); return uint16_t(lo | (byte() << 8)); }
    uint32_t dword() { uint32_t lo = word(); return lo | (uint32_t(word()) << 16); }
    void skip(uint64_t n)
    {
        while (n > 0) {
            while (m_pos >= m_n)
                nextOrFail();
            const uint64_t take = std::min<uint64_t>(n, m_n - m_pos);
            m_pos += take;
            n -= take;
        }
    }

    TxlsString string(int countWidth)
    {
        TxlsString s;
        s.LengthWidth = uint8_t(countWidth);
        s.CharCount = countWidth == 1 ? byte() : word();
        s.Options = byte();
        const uint16_t runs = (s.Options & 0x08) ? word() : 0;
        const uint32_t phonetic = (s.Options & 0x04) ? dword() : 0;
        bool wide = s.Options & 0x01;
        s.Wide = wide;
        const size_t count = s.CharCount;
        size_t got = 0;
        if (!wide && m_pos + count <= m_n) {
            s.Text = QString::fromLatin1(reinterpret_cast<const char*>(m_p + m_pos), qsizetype(count));
            m_pos += count;
            got = count;
        } else if (count) {
            s.Text.reserve(qsizetype(count));
        }
        while (got < count) {
            if (m_pos >= m_n) {
                nextOrFail();
                if (got > 0)
                    wide = byte() & 0x01;
                continue;
            }
            const size_t avail = wide ? (m_n - m_pos) / 2 : (m_n - m_pos);
            if (avail == 0)
                errorReadingRecord();
            const size_t take = std::min(avail, count - got);
            if (wide) {
                s.Wide = true;
                for (size_t i = 0; i < take; ++i)
                    s.Text.append(QChar(rd16(m_p + m_pos + 2 * i)));
                m_pos += 2 * take;
            } else {
                s.Text.append(QLatin1StringView(reinterpret_cast<const char*>(m_p + m_pos), qsizetype(take)));
                m_pos += take;
            }
            got += take;
        }
        skip(uint64_t(runs) * 4 + phonetic);
        return s;
    }

private:
    void nextOrFail()
    {
        if (m_seg >= m_raw.continues.size())
            errorReadingRecord();
        m_p = m_raw.continues[m_seg].data;
        m_n = m_raw.continues[m_seg].size;
        ++m_seg;
        m_pos = 0;
    }

    const TxlsRaw& m_raw;
    const uint8_t* m_p;
    size_t m_n;
    size_t m_pos;
    size_t m_seg = 0;
};

const char* const kMonthShort[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kMonthLong[12] = {"January", "February", "March", "April", "May", "June", "July",
                                    "August", "September", "October", "November", "December"};
const char* const kDayShort[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char* const kDayLong[7] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};

constexpr double kMaxDateTime = 2958466.0; // 1 January 10000

void appendNumber(QString& out, int v, int width)
{
    char buf[16];
    int n = 0;
    unsigned u = unsigned(v < 0 ? -v : v);
    do {
        buf[n++] = char('0' + u % 10);
        u /= 10;
    } while (u);
    while (n < width)
        buf[n++] = '0';
    if (v < 0)
        out.append(QLatin1Char('-'));
    while (n)
        out.append(QLatin1Char(buf[--n]));
}

inline char16_t asciiLower(QChar c)
{
    const char16_t u = c.unicode();
    return u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u;
}

// Text of ASCII bytes, with the decimal separator put in at `sepAt`.
QString latin1(const char* p, int n, int sepAt, QChar sep)
{
    QString t(n, Qt::Uninitialized);
    QChar* d = t.data();
    for (int i = 0; i < n; ++i)
        d[i] = QLatin1Char(p[i]);
    if (sepAt >= 0)
        d[sepAt] = sep;
    return t;
}

} // namespace

ETokenException::ETokenException(uint8_t token)
    : ExlsError(xlsFmt(SxlsTokenNotSupported, {QString::fromStdString(hex(token, true))})), m_token(token)
{
}

// ---------------------------------------------------------------- text forms

QString xlsFloatToText(double x, QChar sep)
{
    if (std::isnan(x))
        return QStringLiteral("NAN");
    if (std::isinf(x))
        return x > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    char buf[64];
    const double ax = std::fabs(x);
    if (x == std::trunc(x) && ax < 1e15) {
        auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(x));
        return latin1(buf, int(r.ptr - buf), -1, sep);
    }
    if (ax >= 1e-5 && ax < 1e15) {
        // Fixed notation of the shortest digits that read back; right as it
        // stands when those are at most 15 significant digits.
        auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed);
        int sig = 0, dot = -1;
        bool leading = true;
        for (const char* q = buf; q < r.ptr; ++q) {
            if (*q == '.') {
                dot = int(q - buf);
                continue;
            }
            if (*q < '0' || *q > '9')
                continue;
            if (leading && *q == '0')
                continue;
            leading = false;
            ++sig;
        }
        if (sig <= 15)
            return latin1(buf, int(r.ptr - buf), dot, sep);
    }
    // 15 significant digits: [-]d.dddddddddddddde[+-]XX. The shortest form
    // that reads back is the same digits whenever it has at most 15 of them.
    auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific);
    int sig = 0;
    for (const char* q = buf; q < r.ptr && *q != 'e'; ++q)
        sig += (*q >= '0' && *q <= '9');
    if (sig > 15)
        r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 14);
    *r.ptr = 0;
    const bool negative = buf[0] == '-';
    const char* p = buf + (negative ? 1 : 0);
    char digits[20];
    int nd = 0;
    for (; *p && *p != 'e'; ++p)
        if (*p != '.')
            digits[nd++] = *p;
    int exp = 0;
    const bool expNegative = p[1] == '-';
    for (const char* q = p + 2; *q; ++q)
        exp = exp * 10 + (*q - '0');
    if (expNegative)
        exp = -exp;
    while (nd > 1 && digits[nd - 1] == '0')
        --nd;
    char out[48];
    int o = 0, sepAt = -1;
    if (negative)
        out[o++] = '-';
    if (exp >= 15 || exp < -5) {
        out[o++] = digits[0];
        if (nd > 1) {
            sepAt = o;
            out[o++] = '.';
            for (int i = 1; i < nd; ++i)
                out[o++] = digits[i];
        }
        out[o++] = 'E';
        o += std::snprintf(out + o, sizeof out - size_t(o), "%d", exp);
    } else if (exp >= 0) {
        const int intDigits = exp + 1;
        for (int i = 0; i < intDigits; ++i)
            out[o++] = i < nd ? digits[i] : '0';
        if (nd > intDigits) {
            sepAt = o;
            out[o++] = '.';
            for (int i = intDigits; i < nd; ++i)
                out[o++] = digits[i];
        }
    } else {
        out[o++] = '0';
        sepAt = o;
        out[o++] = '.';
        for (int i = 0; i < -exp - 1; ++i)
            out[o++] = '0';
        for (int i = 0; i < nd; ++i)
            out[o++] = digits[i];
    }
    return latin1(out, o, sepAt, sep);
}

QString xlsFormatDateTime(const QString& pattern, double value, const TxlsFormatSettings& fs)
{
    if (!std::isfinite(value) || std::fabs(value) >= kMaxDateTime)
        return QString();
    const double dayPart = std::trunc(value);
    static const qint64 kEpoch = QDate(1899, 12, 30).toJulianDay();
    int year = 0, month = 0, day = 0;
    const QDate date = QDate::fromJulianDay(kEpoch + qint64(dayPart));
    date.getDate(&year, &month, &day);
    qint64 ms = qint64(std::llround(std::fabs(value - dayPart) * 86400000.0));
    if (ms >= 86400000)
        ms = 86399999;
    const int hour = int(ms / 3600000), minute = int(ms / 60000 % 60), second = int(ms / 1000 % 60),
              msec = int(ms % 1000);
    bool twelveHour = false;
    for (qsizetype i = 0; i < pattern.size() && !twelveHour; ++i) {
        if (pattern[i] != QLatin1Char('a') && pattern[i] != QLatin1Char('A'))
            continue;
        const QStringView rest = QStringView(pattern).mid(i);
        twelveHour = rest.startsWith(QLatin1String("am/pm"), Qt::CaseInsensitive) ||
                     rest.startsWith(QLatin1String("a/p"), Qt::CaseInsensitive) ||
                     rest.startsWith(QLatin1String("ampm"), Qt::CaseInsensitive);
    }
    QString out;
    out.reserve(pattern.size() + 16);
    bool lastWasHour = false;
    const qsizetype n = pattern.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = pattern[i];
        const char16_t l = asciiLower(c);
        qsizetype run = 1;
        while (i + run < n && asciiLower(pattern[i + run]) == l)
            ++run;
        switch (l) {
        case u'"':
        case u'\'': {
            qsizetype j = i + 1;
            while (j < n && pattern[j] != c)
                out.append(pattern[j++]);
            i = j < n ? j + 1 : j;
            continue;
        }
        case u'd':
            if (run == 1 || run == 2)
                appendNumber(out, day, int(run));
            else if (run == 3)
                out.append(QLatin1StringView(kDayShort[date.dayOfWeek() - 1]));
            else
                out.append(QLatin1StringView(kDayLong[date.dayOfWeek() - 1]));
            lastWasHour = false;
            break;
        case u'm':
            if (lastWasHour && run <= 2)
                appendNumber(out, minute, int(run));
            else if (run <= 2)
                appendNumber(out, month, int(run));
            else if (run == 3)
                out.append(QLatin1StringView(kMonthShort[month - 1]));
            else
                out.append(QLatin1StringView(kMonthLong[month - 1]));
            lastWasHour = false;
            break;
        case u'y':
            if (run <= 2)
                appendNumber(out, year % 100, 2);
            else
                appendNumber(out, year, 4);
            lastWasHour = false;
            break;
        case u'h': {
            int h = hour;
            if (twelveHour) {
                h %= 12;
                if (h == 0)
                    h = 12;
            }
            appendNumber(out, h, run >= 2 ? 2 : 1);
            lastWasHour = true;
            break;
        }
        case u'n':
            appendNumber(out, minute, run >= 2 ? 2 : 1);
            lastWasHour = false;
            break;
        case u's':
            appendNumber(out, second, run >= 2 ? 2 : 1);
            lastWasHour = false;
            break;
        case u'z':
            appendNumber(out, msec, run >= 3 ? 3 : 1);
            break;
        case u'a': {
            const QStringView rest = QStringView(pattern).mid(i);
            if (rest.startsWith(QLatin1String("am/pm"), Qt::CaseInsensitive)) {
                out.append(hour < 12 ? QLatin1String("am") : QLatin1String("pm"));
                i += 5;
                continue;
            }
            if (rest.startsWith(QLatin1String("a/p"), Qt::CaseInsensitive)) {
                out.append(hour < 12 ? QLatin1Char('a') : QLatin1Char('p'));
                i += 3;
                continue;
            }
            if (rest.startsWith(QLatin1String("ampm"), Qt::CaseInsensitive)) {
                out.append(hour < 12 ? QLatin1String("AM") : QLatin1String("PM"));
                i += 4;
                continue;
            }
            out.append(QStringView(pattern).mid(i, run));
            break;
        }
        case u'/':
            for (qsizetype k = 0; k < run; ++k)
                out.append(fs.DateSeparator);
            break;
        case u':':
            for (qsizetype k = 0; k < run; ++k)
                out.append(fs.TimeSeparator);
            break;
        default:
            out.append(QStringView(pattern).mid(i, run));
            break;
        }
        i += run;
    }
    return out;
}

double xlsRKToDouble(uint32_t rk)
{
    double d;
    if (rk & 0x02) {
        d = double(int32_t(rk) >> 2);
    } else {
        const uint64_t bits = uint64_t(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&d, &bits, 8);
    }
    if (rk & 0x01)
        d /= 100;
    return d;
}

double xlsSerialToDateTime(double serial)
{
    return std::trunc(serial) == 1 ? serial + 1 : serial;
}

// ---------------------------------------------------------------- records

uint16_t TbiffBOF::version() const { return m_body.size() >= 2 ? rd16(m_body.data()) : 0; }
uint16_t TbiffBOF::substreamType() const { return m_body.size() >= 4 ? rd16(m_body.data() + 2) : 0; }
uint16_t TbiffFormat::formatNumber() const { return m_body.size() >= 2 ? rd16(m_body.data()) : 0; }
uint16_t TbiffXF::formatIndex() const { return rd16(m_body.data() + 2); }
uint32_t TbiffShrFmla::key() const
{
    return m_body.size() >= 5 ? uint32_t(rd16(m_body.data())) + 65536u * m_body[4] : 0;
}

void TbiffXF::setFormat(const TbiffFormat* f)
{
    m_format = f;
    if (!f) {
        const uint16_t n = formatIndex();
        m_isDate = n >= 14 && n <= 22;
        return;
    }
    m_isDate = false;
    const QString& s = f->formatString();
    static const char16_t kLetters[] = u"ymdhsYMDHS";
    for (qsizetype i = 0; i + 1 < s.size(); ++i) {
        const char16_t a = s[i].unicode();
        if (!std::char_traits<char16_t>::find(kLetters, 10, a))
            continue;
        const char16_t b = s[i + 1].unicode();
        if (b == a || b == u'/' || b == u'\\' || b == u';') {
            m_isDate = true;
            return;
        }
    }
}

const TbiffXF& TbiffCell::xf() const
{
    const auto& xfs = m_sheet->workbook()->globals().XFs;
    if (m_xf >= xfs.size())
        throw ExlsError(xlsFmt(SxlsListIndex, {QString::number(m_xf)}));
    return *xfs[m_xf];
}

QString TbiffBoolErr::text(const TxlsFormatSettings&) const
{
    if (!m_isError)
        return m_value ? QStringLiteral("true") : QStringLiteral("false");
    switch (m_value) {
    case 0x07: return QStringLiteral("#DIV/0!");
    case 0x0F: return QStringLiteral("#VALUE!");
    case 0x17: return QStringLiteral("#REF!");
    case 0x1D: return QStringLiteral("#NAME?");
    case 0x24: return QStringLiteral("#NUM!");
    case 0x2A: return QStringLiteral("#N/A");
    default: return QStringLiteral("#NULL!");
    }
}

TxlsValueKind TbiffNumberCell::valueKind() const
{
    return xf().isDateFormat() ? TxlsValueKind::vkDateTime : TxlsValueKind::vkNumber;
}

double TbiffNumberCell::asDateTime() const { return xlsSerialToDateTime(m_value); }

QString TbiffNumberCell::text(const TxlsFormatSettings& fs) const
{
    if (!xf().isDateFormat())
        return xlsFloatToText(m_value, fs.DecimalSeparator);
    const double dt = xlsSerialToDateTime(m_value);
    if (!std::isfinite(dt) || std::fabs(dt) >= kMaxDateTime)
        return xlsFloatToText(m_value, fs.DecimalSeparator);
    const double day = std::trunc(dt);
    if (dt == day)
        return xlsFormatDateTime(fs.ShortDateFormat, dt, fs);
    if (day == 0)
        return xlsFormatDateTime(fs.LongTimeFormat, dt, fs);
    return xlsFormatDateTime(fs.ShortDateFormat, dt, fs) + QLatin1Char(' ') +
           xlsFormatDateTime(fs.LongTimeFormat, dt, fs);
}

TbiffFormula::TbiffFormula(std::vector<uint8_t> body, TxlsWorkSheet* s)
    : TbiffCell(xlsFORMULA, uint16_t(body.size()), rd16(body.data()), rd16(body.data() + 2), rd16(body.data() + 4), s),
      m_body(std::move(body))
{
    const uint8_t* b = m_body.data();
    if (rd16(b + 12) == 0xFFFF) {
        switch (b[6]) {
        case 0: m_kind = TxlsFormulaResult::frText; break;
        case 1: m_kind = TxlsFormulaResult::frBoolean; m_bool = b[8] == 1; break;
        default: m_kind = TxlsFormulaResult::frNull; break;
        }
    } else {
        m_kind = TxlsFormulaResult::frNumber;
        m_number = rdDouble(b + 6);
    }
}

QString TbiffFormula::text(const TxlsFormatSettings& fs) const
{
    switch (m_kind) {
    case TxlsFormulaResult::frNumber: return xlsFloatToText(m_number, fs.DecimalSeparator);
    case TxlsFormulaResult::frBoolean: return m_bool ? QStringLiteral("True") : QStringLiteral("False");
    case TxlsFormulaResult::frText: return m_text;
    default: return QString();
    }
}

// ---------------------------------------------------------------- lists

TbiffCellList::TbiffCellList(TbiffCellList&& o) noexcept
    : m_cells(std::move(o.m_cells)), m_sorted(o.m_sorted), m_byColumn(o.m_byColumn)
{
    o.m_cells.clear();
}

void TbiffCellList::sort() const
{
    if (m_sorted)
        return;
    if (m_byColumn)
        std::stable_sort(m_cells.begin(), m_cells.end(),
                         [](const TbiffCell* a, const TbiffCell* b) { return a->column() < b->column(); });
    else
        std::stable_sort(m_cells.begin(), m_cells.end(),
                         [](const TbiffCell* a, const TbiffCell* b) { return a->row() < b->row(); });
    m_sorted = true;
}

const std::vector<TbiffCell*>& TbiffCellList::cells() const
{
    sort();
    return m_cells;
}

TbiffCell* TbiffCellList::find(int key) const
{
    sort();
    // dense lists: the entry at the key's own position is the usual hit
    if (key >= 0 && size_t(key) < m_cells.size()) {
        TbiffCell* c = m_cells[size_t(key)];
        if ((m_byColumn ? c->column() : c->row()) == key &&
            (key == 0 || (m_byColumn ? m_cells[size_t(key) - 1]->column() : m_cells[size_t(key) - 1]->row()) < key))
            return c;
    }
    auto it = m_byColumn ? std::lower_bound(m_cells.begin(), m_cells.end(), key,
                                            [](const TbiffCell* c, int k) { return c->column() < k; })
                         : std::lower_bound(m_cells.begin(), m_cells.end(), key,
                                            [](const TbiffCell* c, int k) { return c->row() < k; });
    if (it == m_cells.end())
        return nullptr;
    return ((m_byColumn ? (*it)->column() : (*it)->row()) == key) ? *it : nullptr;
}

// ---------------------------------------------------------------- sections

void TxlsGlobals::clear()
{
    BoundSheets.clear();
    Names.clear();
    SST.clear();
    XFs.clear();
    Formats.clear();
}

void TxlsGlobals::resolveFormats()
{
    for (auto& xf : XFs) {
        xf->setFormat(nullptr);
        for (auto& f : Formats)
            if (f->formatNumber() == xf->formatIndex()) {
                xf->setFormat(f.get());
                break;
            }
    }
}

QString TxlsSheet::name() const
{
    const auto& bs = m_workbook->globals().BoundSheets;
    return Position >= 0 && size_t(Position) < bs.size() ? bs[size_t(Position)]->name() : QString();
}

TxlsWorkSheet::TxlsWorkSheet(TxlsWorkbook* wb)
    : TxlsSheet(wb), m_arena(std::make_unique<std::pmr::monotonic_buffer_resource>(64 * 1024))
{
}

TxlsWorkSheet::~TxlsWorkSheet() { clear(); }

void TxlsWorkSheet::clear()
{
    for (TbiffCell* c : m_destroy)
        c->~TbiffCell();
    m_destroy.clear();
    m_arena->release();
    m_rowCellHint = 16;
    m_colCellHint = 256;
    Rows.clear();
    Cols.clear();
    ShrFmlas.clear();
    Formulas.clear();
    LastFormula = nullptr;
}

void TxlsWorkSheet::addCell(TbiffCell* cell)
{
    const int r = cell->row(), c = cell->column();
    if (Rows.size() <= size_t(r))
        Rows.resize(size_t(r) + 1);
    TxlsRow& row = Rows[size_t(r)];
    row.add(cell, m_rowCellHint);
    if (Cols.size() <= size_t(c))
        Cols.resize(size_t(c) + 1);
    if (row.Number < 0)
        row.Number = r;
    if (row.MinCol < 0 || c < row.MinCol)
        row.MinCol = c;
    if (c > row.MaxCol)
        row.MaxCol = c;
    TxlsCol& col = Cols[size_t(c)];
    col.add(cell, m_colCellHint);
    if (col.Number < 0)
        col.Number = c;
    if (col.MinRow < 0 || r < col.MinRow)
        col.MinRow = r;
    if (r > col.MaxRow)
        col.MaxRow = r;
}

void TxlsWorkSheet::reserveHint(uint32_t rows, uint32_t cols)
{
    rows = std::min<uint32_t>(rows, 65536);
    cols = std::min<uint32_t>(cols, 256);
    if (rows == 0 || cols == 0)
        return;
    Rows.reserve(rows);
    Cols.reserve(cols);
    m_rowCellHint = std::min<size_t>(cols, 32);
    // at most 16 MB of column lists in all
    m_colCellHint = std::max<size_t>(16, std::min<size_t>(rows, (size_t(16) << 20) / (8 * size_t(cols))));
}

TbiffCell* TxlsWorkSheet::cell(int row, int col) const
{
    if (row < 0 || row > 65535)
        throw ExlsFileError(xlsFmt(SxlsInvalidRow, {QString::number(row)}));
    if (col < 0 || col > 255)
        throw ExlsFileError(xlsFmt(SxlsInvalidColumn, {QString::number(col)}));
    if (row >= rowCount() || col >= colCount())
        return nullptr;
    TbiffCell* c = Rows[size_t(row)].find(col);
    if (c && c->row() == row && c->column() == col)
        return c;
    c = Cols[size_t(col)].find(row);
    if (c && c->row() == row && c->column() == col)
        return c;
    return nullptr;
}

namespace {

// Walks the tokens of an expanded shared formula and makes its references
// absolute for the formula's own cell.
void walkTokens(std::vector<uint8_t>& b, size_t pos, int row, int col)
{
    auto fixRow = [&](size_t at, uint16_t colWord) {
        if (colWord & 0x8000) {
            const int16_t rel = int16_t(rd16(&b[at]));
            const uint16_t abs = uint16_t(row + rel);
            b[at] = uint8_t(abs);
            b[at + 1] = uint8_t(abs >> 8);
        }
    };
    auto fixCol = [&](size_t at) {
        const uint16_t w = rd16(&b[at]);
        uint16_t c = w & 0x3FFF;
        if (w & 0x4000)
            c = uint16_t((col + int8_t(uint8_t(w & 0xFF))) & 0xFF);
        b[at] = uint8_t(c);
        b[at + 1] = uint8_t(c >> 8);
    };
    const size_t n = b.size();
    while (pos < n) {
        uint8_t t = b[pos];
        size_t len = 0;
        if (t >= 0x03 && t <= 0x16) {
            len = 1;
        } else if (t == 0x17) {
            if (pos + 3 > n)
                return;
            const uint8_t count = b[pos + 1], opt = b[pos + 2];
            len = 3 + size_t(count) * ((opt & 1) ? 2 : 1);
            if (opt & 0x08) {
                if (pos + 5 > n)
                    return;
                len += 2 + 4 * size_t(rd16(&b[pos + 3]));
            }
            if (opt & 0x04) {
                const size_t at = pos + 3 + ((opt & 0x08) ? 2 : 0);
                if (at + 4 > n)
                    return;
                len += 4 + size_t(rd32(&b[at]));
            }
        } else if (t == 0x19) {
            len = 4;
            if (pos + 4 <= n && (b[pos + 1] & 0x04))
                len += 2 * (size_t(rd16(&b[pos + 2])) + 1);
        } else if (t == 0x1C || t == 0x1D) {
            len = 2;
        } else if (t == 0x1E || t == 0x21 || t == 0x41 || t == 0x61) {
            len = 3;
        } else if (t == 0x22 || t == 0x42 || t == 0x62) {
            len = 4;
        } else if (t == 0x1F) {
            len = 9;
        } else if (t == 0x20 || t == 0x40 || t == 0x60) {
            len = 8;
        } else if (t == 0x23 || t == 0x43 || t == 0x63) {
            len = 5;
        } else if (t == 0x2C || t == 0x4C || t == 0x6C || t == 0x24 || t == 0x2A || t == 0x44 || t == 0x4A ||
                   t == 0x64 || t == 0x6A) {
            if (t == 0x2C || t == 0x4C || t == 0x6C)
                b[pos] = t = uint8_t(t - 8);
            len = 5;
            if (pos + len <= n) {
                fixRow(pos + 1, rd16(&b[pos + 3]));
                fixCol(pos + 3);
            }
        } else if (t == 0x2D || t == 0x4D || t == 0x6D || t == 0x25 || t == 0x2B || t == 0x45 || t == 0x4B ||
                   t == 0x65 || t == 0x6B) {
            if (t == 0x2D || t == 0x4D || t == 0x6D)
                b[pos] = t = uint8_t(t - 8);
            len = 9;
            if (pos + len <= n) {
                fixRow(pos + 1, rd16(&b[pos + 5]));
                fixRow(pos + 3, rd16(&b[pos + 7]));
                fixCol(pos + 5);
                fixCol(pos + 7);
            }
        } else if (t == 0x39 || t == 0x59 || t == 0x79) {
            len = 7;
        } else if (t == 0x3A || t == 0x3C || t == 0x5A || t == 0x5C || t == 0x7A || t == 0x7C) {
            len = 7;
            if (pos + len <= n) {
                fixRow(pos + 3, rd16(&b[pos + 5]));
                fixCol(pos + 5);
            }
        } else if (t == 0x3B || t == 0x3D || t == 0x5B || t == 0x5D || t == 0x7B || t == 0x7D) {
            len = 11;
            if (pos + len <= n) {
                fixRow(pos + 3, rd16(&b[pos + 7]));
                fixRow(pos + 5, rd16(&b[pos + 9]));
                fixCol(pos + 7);
                fixCol(pos + 9);
            }
        } else {
            throw ETokenException(t);
        }
        pos += len;
    }
}

} // namespace

void TxlsWorkSheet::expandSharedFormulas()
{
    std::stable_sort(ShrFmlas.begin(), ShrFmlas.end(),
                     [](const auto& a, const auto& b) { return a->key() < b->key(); });
    if (Formulas.empty())
        return;
    // row by row, in each row in the order of its cells
    std::vector<TbiffFormula*> order = Formulas;
    std::stable_sort(order.begin(), order.end(),
                     [](const TbiffFormula* a, const TbiffFormula* b) { return a->row() < b->row(); });
    {
        for (TbiffFormula* f : order) {
            std::vector<uint8_t>& b = f->body();
            if (b.size() != 27 || rd16(&b[20]) != 5 || b[22] != 0x01)
                continue;
            const uint32_t key = uint32_t(rd16(&b[23])) + 65536u * rd16(&b[25]);
            auto it = std::lower_bound(ShrFmlas.begin(), ShrFmlas.end(), key,
                                       [](const auto& s, uint32_t k) { return s->key() < k; });
            if (it == ShrFmlas.end() || (*it)->key() != key)
                throw ExlsError(xlsText(SxlsSharedFormulaNotFound));
            const std::vector<uint8_t>& sb = (*it)->body();
            b.resize(20);
            if (sb.size() > 8)
                b.insert(b.end(), sb.begin() + 8, sb.end());
            try {
                walkTokens(b, 22, f->row(), f->column());
            } catch (const ETokenException& e) {
                throw ExlsError(xlsFmt(SxlsFormulaNotSupported, {QString::number(f->row() + 1), QString::number(f->column() + 1),
                                                               QString::fromStdString(hex(e.token(), true))}));
            }
        }
    }
}

// ---------------------------------------------------------------- workbook

TxlsWorkbook::TxlsWorkbook(TxlsFile* file) : m_file(file), m_globals(this) {}

void TxlsWorkbook::clear()
{
    WorkSheets.clear();
    Sheets.clear();
    m_globals.clear();
}

namespace {

void globalsLoop(TxlsGlobals& g, TxlsRecordReader& rd, TxlsRaw& r)
{
    g.clear();
    for (;;) {
        rd.record(r);
        switch (r.id) {
        case xlsEOF:
            return;
        case xlsBOUNDSHEET: {
            TxlsCursor c(r, 6);
            TxlsString name = c.string(1);
            g.BoundSheets.push_back(std::make_unique<TbiffBoundSheet>(r.copy(), std::move(name)));
            break;
        }
        case xlsNAME:
            g.Names.push_back(std::make_unique<TbiffName>(xlsNAME, r.copy()));
            break;
        case xlsXF:
            if (r.size < 4)
                invalidRecord(r.id);
            g.XFs.push_back(std::make_unique<TbiffXF>(xlsXF, r.copy()));
            break;
        case xlsSST: {
            TxlsCursor c(r, 4);
            const uint32_t count = c.dword();
            for (uint32_t i = 0; i < count; ++i) {
                auto e = std::make_unique<TxlsSSTEntry>();
                e->Value = c.string(2);
                g.SST.push_back(std::move(e));
            }
            break;
        }
        case xlsFORMAT: {
            TxlsCursor c(r, 2);
            TxlsString s = c.string(2);
            g.Formats.push_back(std::make_unique<TbiffFormat>(r.copy(), std::move(s)));
            break;
        }
        case xlsBOF:
            throw ExlsFileError(xlsText(SxlsFileInvalid));
        default:
            break;
        }
    }
}

void requireSize(const TxlsRaw& r, size_t n)
{
    if (r.size < 4 || r.size < n)
        invalidRecord(r.id);
}

void worksheetLoop(TxlsWorkSheet& sh, const TxlsGlobals& g, TxlsRecordReader& rd, TxlsRaw& r)
{
    sh.clear();
    for (;;) {
        rd.record(r);
        const uint8_t* b = r.body;
        switch (r.id) {
        case xlsEOF:
            sh.expandSharedFormulas();
            return;
        case xlsBLANK:
            requireSize(r, 6);
            sh.addCell(sh.make<TbiffBlank>(r.id, r.size, rd16(b), rd16(b + 2), rd16(b + 4), &sh));
            break;
        case xlsNUMBER:
            requireSize(r, 14);
            sh.addCell(sh.make<TbiffNumber>(r.id, r.size, rd16(b), rd16(b + 2), rd16(b + 4), &sh, rdDouble(b + 6)));
            break;
        case xlsRK:
            requireSize(r, 10);
            sh.addCell(sh.make<TbiffRK>(r.id, r.size, rd16(b), rd16(b + 2), rd16(b + 4), &sh, xlsRKToDouble(rd32(b + 6))));
            break;
        case xlsBOOLERR:
            requireSize(r, 8);
            sh.addCell(sh.make<TbiffBoolErr>(r.size, rd16(b), rd16(b + 2), rd16(b + 4), &sh, b[6], b[7] == 1));
            break;
        case xlsLABEL: {
            requireSize(r, 6);
            TxlsCursor c(r, 6);
            TxlsString s = c.string(2);
            sh.addCell(sh.make<TbiffLabel>(r.size, rd16(b), rd16(b + 2), rd16(b + 4), &sh, std::move(s)));
            break;
        }
        case xlsLABELSST: {
            requireSize(r, 10);
            const uint32_t index = rd32(b + 6);
            if (index >= g.SST.size())
                throw ExlsFileError(xlsText(SxlsFileInvalid));
            sh.addCell(sh.make<TbiffLabelSST>(r.size, rd16(b), rd16(b + 2), rd16(b + 4), &sh, g.SST[index].get()));
            break;
        }
        case xlsFORMULA: {
            requireSize(r, 20);
            auto* f = sh.make<TbiffFormula>(r.copy(), &sh);
            sh.addCell(f);
            sh.Formulas.push_back(f);
            sh.LastFormula = f;
            break;
        }
        case xlsMULRK: {
            requireSize(r, 4);
            const int count = r.size >= 6 ? (r.size - 6) / 6 : 0;
            const uint16_t row = rd16(b), first = rd16(b + 2);
            for (int i = 0; i < count; ++i) {
                const uint8_t* g6 = b + 4 + 6 * i;
                sh.addCell(sh.make<TbiffRK>(xlsRK, 10, row, uint16_t(first + i), rd16(g6), &sh, xlsRKToDouble(rd32(g6 + 2))));
            }
            break;
        }
        case xlsMULBLANK: {
            requireSize(r, 4);
            const int count = r.size >= 6 ? (r.size - 6) / 2 : 0;
            const uint16_t row = rd16(b), first = rd16(b + 2);
            for (int i = 0; i < count; ++i)
                sh.addCell(sh.make<TbiffBlank>(xlsBLANK, 6, row, uint16_t(first + i), rd16(b + 4 + 2 * i), &sh));
            break;
        }
        case 0x0200: // DIMENSIONS: only a capacity hint
            if (r.size >= 12)
                sh.reserveHint(rd32(b + 4), rd16(b + 10));
            break;
        case xlsSHRFMLA:
            sh.ShrFmlas.push_back(std::make_unique<TbiffShrFmla>(xlsSHRFMLA, r.copy()));
            break;
        case xlsSTRING: {
            if (!sh.LastFormula)
                throw ExlsFileError(xlsText(SxlsFileInvalid));
            TxlsCursor c(r, 0);
            sh.LastFormula->setTextResult(c.string(2).Text);
            break;
        }
        case xlsBOF:
        case xlsBOF2:
            throw ExlsFileError(xlsText(SxlsFileInvalid));
        default:
            break;
        }
    }
}

} // namespace

void TxlsWorkbook::load(const uint8_t* data, size_t size)
{
    clear();
    TxlsRecordReader rd(data, size);
    TxlsRaw r;
    // Position among the sheet substreams (worksheets and chart sheets), so
    // that a sheet's BOUNDSHEET entry stays right when chart sheets precede it.
    int sheetPosition = 0;
    for (;;) {
        uint16_t id, len;
        if (!rd.header(id, len) || id == xlsEOF || id == 0)
            break;
        rd.body(id, len, r);
        if (r.id != xlsBOF && r.id != xlsBOF2)
            throw ExlsFileError(xlsText(SxlsFileInvalid));
        if (r.size < 4)
            throw ExlsFileError(xlsText(SxlsFileInvalid));
        auto bof = std::make_unique<TbiffBOF>(r.id, r.copy());
        switch (bof->substreamType()) {
        case 0x0005:
            m_globals.m_bof = std::move(bof);
            globalsLoop(m_globals, rd, r);
            m_globals.m_eof = std::make_unique<TbiffEOF>(xlsEOF, r.copy());
            m_globals.resolveFormats();
            break;
        case 0x0010: {
            auto sheet = std::make_unique<TxlsWorkSheet>(this);
            TxlsWorkSheet* ws = sheet.get();
            ws->Position = sheetPosition++;
            ws->m_bof = std::move(bof);
            Sheets.push_back(std::move(sheet));
            WorkSheets.push_back(ws);
            worksheetLoop(*ws, m_globals, rd, r);
            ws->m_eof = std::make_unique<TbiffEOF>(xlsEOF, r.copy());
            break;
        }
        case 0x0020: {
            // Chart sheet: no sheet is made; its substream is passed over.
            ++sheetPosition;
            int depth = 1;
            while (depth > 0) {
                rd.record(r);
                if (r.id == xlsBOF || r.id == xlsBOF2)
                    ++depth;
                else if (r.id == xlsEOF)
                    --depth;
            }
            break;
        }
        default:
            throw ExlsFileError(xlsText(SxlsFileInvalid));
        }
    }
}

// ---------------------------------------------------------------- file

TxlsFile::TxlsFile() : m_workbook(std::make_unique<TxlsWorkbook>(this)) {}
TxlsFile::TxlsFile(const QString& fileName) : TxlsFile() { FileName = fileName; }
TxlsFile::~TxlsFile() { close(); }

void TxlsFile::close()
{
    m_workbook->clear();
    m_loaded = false;
}

void TxlsFile::loadStream(const uint8_t* data, size_t size)
{
    if (m_loaded)
        close();
    m_loaded = false;
    if (xlsIsCompoundFile(data, size)) {
        std::vector<uint8_t> stream;
        TxlsCompoundFile cf(data, size, FileName.toStdString());
        if (!cf.readRootStream(u"Workbook", stream))
            throw ExlsFileError(xlsFmt(SxlsNotAWorkbook, {FileName}));
        m_workbook->load(stream.data(), stream.size());
    } else {
        m_workbook->load(data, size);
    }
    m_loaded = true;
}

void TxlsFile::open()
{
    if (FileName.isEmpty())
        throw ExlsFileError(xlsText(SxlsFileNameNotDefined));
    if (!QFileInfo(FileName).isFile())
        throw ExlsFileError(xlsFmt(SxlsFileDoesNotExist, {FileName}));
    QFile f(FileName);
    if (!f.open(QIODevice::ReadOnly))
        throw ExlsError(xlsFmt(SxlsCannotOpen, {FileName, f.errorString()}));
    const qint64 size = f.size();
    if (size <= 0) {
        loadStream(nullptr, 0);
        return;
    }
    // The file is mapped read-only for the time of the load; a file that
    // cannot be mapped is read whole instead.
    if (const uchar* map = f.map(0, size)) {
        loadStream(map, size_t(size));
        return;
    }
    const QByteArray bytes = f.readAll();
    if (bytes.size() != size)
        throw ExlsError(xlsFmt(SxlsCannotRead, {FileName, f.errorString()}));
    loadStream(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
}

void TxlsFile::openBytes(const std::vector<uint8_t>& bytes) { loadStream(bytes.data(), bytes.size()); }

TxlsWorkSheet* TxlsFile::worksheet(int index) const
{
    if (index < 0 || index >= worksheetCount())
        throw ExlsError(xlsFmt(SxlsListIndex, {QString::number(index)}));
    return m_workbook->WorkSheets[size_t(index)];
}

QString TxlsFile::worksheetName(int index) const { return worksheet(index)->name(); }

int TxlsFile::findWorksheet(const QString& name) const
{
    for (int i = 0; i < worksheetCount(); ++i)
        if (QString::compare(m_workbook->WorkSheets[size_t(i)]->name(), name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

TbiffCell* TxlsFile::cell(int sheet, int row, int col) const { return worksheet(sheet)->cell(row, col); }
