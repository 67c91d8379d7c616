#include "import/engine/ImportPlatform.h"

#include <QDate>
#include <QTime>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

const char* const kMonthLong[12] = {"January", "February", "March", "April", "May", "June",
                                     "July", "August", "September", "October", "November", "December"};
const char* const kMonthShort[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kDayLong[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kDayShort[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

const qint64 kBaseJulian = QDate(1899, 12, 30).toJulianDay();
constexpr double kMsPerDay = 86400000.0;

enum class TDateOrder { DMY, MDY, YMD };

TDateOrder dateOrder(const QString& shortDateFormat) {
    bool quoted = false;
    QChar q;
    for (QChar c : shortDateFormat) {
        if (quoted) { if (c == q) quoted = false; continue; }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) { quoted = true; q = c; continue; }
        const char16_t u = c.unicode();
        switch (u < 128 ? (u >= u'a' && u <= u'z' ? char16_t(u - 32) : u) : c.toUpper().unicode()) {
        case 'Y': return TDateOrder::YMD;
        case 'M': return TDateOrder::MDY;
        case 'D': return TDateOrder::DMY;
        default: break;
        }
    }
    return TDateOrder::MDY;
}

struct TScanner {
    const QString& s;
    int pos = 0;
    void blanks() { while (pos < s.size() && s[pos] == QLatin1Char(' ')) ++pos; }
    bool number(int& value, int& digits) {
        blanks();
        int start = pos;
        qint64 v = 0;
        while (pos < s.size() && s[pos] >= QLatin1Char('0') && s[pos] <= QLatin1Char('9') && pos - start < 9) {
            v = v * 10 + (s[pos].unicode() - '0');
            ++pos;
        }
        digits = pos - start;
        if (digits == 0) return false;
        value = (int)v;
        return true;
    }
    bool character(QChar c) {
        blanks();
        if (pos < s.size() && s[pos] == c) { ++pos; return true; }
        return false;
    }
    bool atEnd() { blanks(); return pos >= s.size(); }
    // AM/PM marker: 0 none, 1 am, 2 pm
    int timeMarker() {
        blanks();
        auto starts = [&](const char* w) {
            QString word = QString::fromLatin1(w);
            return s.mid(pos, word.size()).compare(word, Qt::CaseInsensitive) == 0 ? (int)word.size() : 0;
        };
        int n;
        if ((n = starts("AM")) || (n = starts("A"))) { pos += n; return 1; }
        if ((n = starts("PM")) || (n = starts("P"))) { pos += n; return 2; }
        return 0;
    }
};

int expandYear(int y, int digits) {
    if (digits > 2) return y;
    // two-digit years: a century window of 50 years back from now
    int current = QDate::currentDate().year();
    int threshold = current - 50;
    y += threshold / 100 * 100;
    if (y < threshold) y += 100;
    return y;
}

bool scanDate(TScanner& sc, const TImportFormats& fmt, double& date) {
    int n1, n2, n3, l1, l2, l3;
    if (!sc.number(n1, l1) || !sc.character(fmt.DateSeparator) || !sc.number(n2, l2)) return false;
    int y, m, d;
    TDateOrder order = dateOrder(fmt.ShortDateFormat);
    if (sc.character(fmt.DateSeparator)) {
        if (!sc.number(n3, l3)) {
            // "d.M." form: a trailing separator without year
            y = QDate::currentDate().year();
            if (order == TDateOrder::DMY) { d = n1; m = n2; } else { m = n1; d = n2; }
        } else {
            switch (order) {
            case TDateOrder::DMY: d = n1; m = n2; y = expandYear(n3, l3); break;
            case TDateOrder::MDY: m = n1; d = n2; y = expandYear(n3, l3); break;
            default: y = expandYear(n1, l1); m = n2; d = n3; break;
            }
            sc.character(fmt.DateSeparator);  // a trailing separator is allowed
        }
    } else {
        y = QDate::currentDate().year();
        if (order == TDateOrder::DMY) { d = n1; m = n2; } else { m = n1; d = n2; }
    }
    return vaccoraTryEncodeDateTime(y, m, d, 0, 0, 0, 0, date);
}

bool scanTime(TScanner& sc, const TImportFormats& fmt, bool needSeparator, double& time) {
    int h, n = 0, s = 0, z = 0, l;
    int marker = sc.timeMarker();  // leading marker ("PM 3:00")
    if (!sc.number(h, l)) return false;
    bool sep = false;
    if (sc.character(fmt.TimeSeparator)) {
        sep = true;
        if (!sc.number(n, l)) return false;
        if (sc.character(fmt.TimeSeparator)) {
            if (!sc.number(s, l)) return false;
            if (sc.character(fmt.DecimalSeparator) || sc.character(QLatin1Char('.'))) {
                if (!sc.number(z, l)) return false;
            }
        }
    }
    if (marker == 0) marker = sc.timeMarker();
    if (needSeparator && !sep && marker == 0) return false;
    if (marker != 0) {
        if (h > 12 || h == 0) return false;
        if (marker == 1 && h == 12) h = 0;
        else if (marker == 2 && h < 12) h += 12;
    }
    if (h > 23 || n > 59 || s > 59 || z > 999) return false;
    time = (h * 3600000.0 + n * 60000.0 + s * 1000.0 + z) / kMsPerDay;
    return true;
}

QString pad(int v, int width) { return QString::number(v).rightJustified(width, QLatin1Char('0')); }

struct TDecoded {
    int y, m, d, h, n, s, z, dow;
};

TDecoded decode(double value) {
    QDate date;
    QTime time;
    vaccoraDecodeDays(value, date, time);
    return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(), time.msec(),
            date.dayOfWeek() % 7};
}

void formatInto(QString& out, const QString& format, const TDecoded& v, const TImportFormats& fmt, int depth) {
    // 12-hour clock when the format holds an AM/PM marker
    const QString upper = format.toUpper();
    const bool twelve = upper.contains(QLatin1String("AM/PM")) || upper.contains(QLatin1String("A/P")) ||
                        upper.contains(QLatin1String("AMPM"));
    bool lastWasHour = false;
    const int len = format.size();
    int i = 0;
    auto runOf = [&](QChar c) {
        int j = i;
        while (j < len && format[j].toUpper() == c.toUpper()) ++j;
        return j - i;
    };
    while (i < len) {
        QChar c = format[i];
        char u = (char)c.toUpper().unicode();
        if (c.unicode() > 127) u = 0;
        switch (u) {
        case '\'':
        case '"': {
            int j = i + 1;
            while (j < len && format[j] != c) out += format[j++];
            i = j < len ? j + 1 : j;
            break;
        }
        case 'Y': {
            int n = runOf(c);
            out += n <= 2 ? pad(v.y % 100, 2) : pad(v.y, 4);
            i += n;
            lastWasHour = false;
            break;
        }
        case 'M': {
            int n = runOf(c);
            if (lastWasHour && n <= 2) {
                out += n == 1 ? QString::number(v.n) : pad(v.n, 2);
            } else if (n == 1) out += QString::number(v.m);
            else if (n == 2) out += pad(v.m, 2);
            else if (n == 3) out += QLatin1String(kMonthShort[v.m - 1]);
            else out += QLatin1String(kMonthLong[v.m - 1]);
            i += n;
            lastWasHour = false;
            break;
        }
        case 'D': {
            int n = runOf(c);
            if (n == 1) out += QString::number(v.d);
            else if (n == 2) out += pad(v.d, 2);
            else if (n == 3) out += QLatin1String(kDayShort[v.dow]);
            else if (n == 4) out += QLatin1String(kDayLong[v.dow]);
            else if (n == 5) { if (depth < 2) formatInto(out, fmt.ShortDateFormat, v, fmt, depth + 1); }
            else { if (depth < 2) formatInto(out, fmt.LongDateFormat, v, fmt, depth + 1); }
            i += n;
            lastWasHour = false;
            break;
        }
        case 'H': {
            int n = runOf(c);
            int h = v.h;
            if (twelve) { h %= 12; if (h == 0) h = 12; }
            out += n == 1 ? QString::number(h) : pad(h, 2);
            i += n;
            lastWasHour = true;
            break;
        }
        case 'N': {
            int n = runOf(c);
            out += n == 1 ? QString::number(v.n) : pad(v.n, 2);
            i += n;
            lastWasHour = false;
            break;
        }
        case 'S': {
            int n = runOf(c);
            out += n == 1 ? QString::number(v.s) : pad(v.s, 2);
            i += n;
            lastWasHour = false;
            break;
        }
        case 'Z': {
            int n = runOf(c);
            out += n == 1 ? QString::number(v.z) : pad(v.z, 3);
            i += n;
            lastWasHour = false;
            break;
        }
        case 'T': {
            int n = runOf(c);
            if (depth < 2) formatInto(out, n == 1 ? fmt.ShortTimeFormat : fmt.LongTimeFormat, v, fmt, depth + 1);
            i += n;
            lastWasHour = false;
            break;
        }
        case 'C': {
            if (depth < 2) {
                formatInto(out, fmt.ShortDateFormat, v, fmt, depth + 1);
                if (v.h || v.n || v.s || v.z) {
                    out += QLatin1Char(' ');
                    formatInto(out, fmt.LongTimeFormat, v, fmt, depth + 1);
                }
            }
            ++i;
            lastWasHour = false;
            break;
        }
        case 'A': {
            QString rest = format.mid(i, 5);
            if (rest.compare(QLatin1String("AM/PM"), Qt::CaseInsensitive) == 0) {
                QString am = v.h < 12 ? QStringLiteral("am") : QStringLiteral("pm");
                out += format[i].isUpper() ? am.toUpper() : am;
                i += 5;
            } else if (format.mid(i, 3).compare(QLatin1String("A/P"), Qt::CaseInsensitive) == 0) {
                QString ap = v.h < 12 ? QStringLiteral("a") : QStringLiteral("p");
                out += format[i].isUpper() ? ap.toUpper() : ap;
                i += 3;
            } else if (format.mid(i, 4).compare(QLatin1String("AMPM"), Qt::CaseInsensitive) == 0) {
                out += v.h < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
                i += 4;
            } else {
                out += c;
                ++i;
            }
            break;
        }
        case '/':
            out += fmt.DateSeparator;
            ++i;
            break;
        case ':':
            out += fmt.TimeSeparator;
            ++i;
            break;
        default:
            out += c;
            ++i;
            break;
        }
    }
}

}  // namespace

bool vaccoraTryPlainDate(QStringView text, const TImportFormats& fmt, QDate& date) {
    const char16_t sep = fmt.DateSeparator.unicode();
    if (sep == u' ' || (sep >= u'0' && sep <= u'9')) return false;
    int n[3], len[3];
    const char16_t* p = text.utf16();
    const char16_t* const e = p + text.size();
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (p == e || *p != sep) return false;
            ++p;
        }
        int v = 0, l = 0;
        for (; p < e && l < 5; ++p, ++l) {
            const unsigned k = unsigned(*p) - u'0';
            if (k >= 10) break;
            v = v * 10 + int(k);
        }
        if (l == 0 || l > 4) return false;
        n[i] = v;
        len[i] = l;
    }
    if (p != e) return false;
    int y, m, d, yearDigits;
    switch (dateOrder(fmt.ShortDateFormat)) {
    case TDateOrder::DMY: d = n[0]; m = n[1]; y = n[2]; yearDigits = len[2]; break;
    case TDateOrder::MDY: m = n[0]; d = n[1]; y = n[2]; yearDigits = len[2]; break;
    default: y = n[0]; m = n[1]; d = n[2]; yearDigits = len[0]; break;
    }
    // two-digit years depend on the current date: the general parse
    if (yearDigits < 3 || y < 1 || m < 1 || m > 12 || d < 1) return false;
    static constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > kMonthDays[m - 1] + (m == 2 && leap)) return false;
    // Julian day of the proleptic Gregorian date, as QDate counts
    const int ya = y - (m <= 2);
    const int era = ya / 400;
    const int yoe = ya - era * 400;
    const int doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    date = QDate::fromJulianDay(qint64(era) * 146097 + doe - 719468 + 2440588);
    return true;
}

bool vaccoraTryEncodeDateTime(int y, int m, int d, int h, int n, int s, int z, double& value) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return false;
    if (h < 0 || h > 23 || n < 0 || n > 59 || s < 0 || s > 59 || z < 0 || z > 999) return false;
    QDate date(y, m, d);
    if (!date.isValid()) return false;
    double days = (double)(date.toJulianDay() - kBaseJulian);
    double time = (h * 3600000.0 + n * 60000.0 + s * 1000.0 + z) / kMsPerDay;
    value = days < 0 ? days - time : days + time;
    return true;
}

double vaccoraDateTimeToDays(const QDateTime& dt) {
    QDate date = dt.date();
    QTime time = dt.time();
    double v;
    if (!vaccoraTryEncodeDateTime(date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(),
                                  time.msec(), v))
        return 0;
    return v;
}

void vaccoraDecodeDays(double days, QDate& date, QTime& time) {
    double whole = std::trunc(days);
    qint64 ms = std::llround(std::fabs(days - whole) * kMsPerDay);
    qint64 day = (qint64)whole;
    if (ms >= (qint64)kMsPerDay) { ms = 0; day += days < 0 ? -1 : 1; }
    date = QDate::fromJulianDay(kBaseJulian + day);
    time = QTime::fromMSecsSinceStartOfDay((int)ms);
}

QDateTime vaccoraDaysToDateTime(double days) {
    QDate date;
    QTime time;
    vaccoraDecodeDays(days, date, time);
    return QDateTime(date, time);
}

bool vaccoraTryStrToDateTime(const QString& text, const TImportFormats& fmt, double& value) {
    {
        TScanner sc{text};
        double date = 0, time = 0;
        if (scanDate(sc, fmt, date)) {
            if (sc.atEnd()) { value = date; return true; }
            if (scanTime(sc, fmt, false, time) && sc.atEnd()) {
                value = date < 0 ? date - time : date + time;
                return true;
            }
        }
    }
    TScanner sc{text};
    double time = 0;
    if (scanTime(sc, fmt, true, time) && sc.atEnd()) { value = time; return true; }
    return false;
}

QString vaccoraFormatDateTime(const QString& format, double value, const TImportFormats& fmt) {
    QString out;
    TDecoded v = decode(value);
    formatInto(out, format.isEmpty() ? QStringLiteral("c") : format, v, fmt, 0);
    return out;
}

QString vaccoraFloatToStr(double value, QChar decimalSeparator) {
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0) return QStringLiteral("0");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", value);  // d.ddddddddddddddE±x: 15 significant digits
    const char* p = buf;
    bool negative = false;
    if (*p == '-') { negative = true; ++p; }
    std::string digits;
    for (; *p && *p != 'e'; ++p)
        if (*p != '.') digits += *p;
    int exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out;
    if (negative) out += '-';
    const char sep = decimalSeparator.unicode() < 128 ? (char)decimalSeparator.unicode() : '.';
    if (exponent >= 15 || exponent < -5) {
        out += digits[0];
        if (digits.size() > 1) { out += sep; out += digits.substr(1); }
        out += 'E';
        out += std::to_string(exponent);
    } else if (exponent < 0) {
        out += '0';
        out += sep;
        out += std::string(-exponent - 1, '0');
        out += digits;
    } else {
        size_t intLen = (size_t)exponent + 1;
        if (digits.size() <= intLen) {
            out += digits;
            out += std::string(intLen - digits.size(), '0');
        } else {
            out += digits.substr(0, intLen);
            out += sep;
            out += digits.substr(intLen);
        }
    }
    QString result = QString::fromLatin1(out);
    if (decimalSeparator.unicode() >= 128) result.replace(QLatin1Char('.'), decimalSeparator);
    return result;
}
