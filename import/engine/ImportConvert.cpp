// Converting cell texts into field values and the per-field formats.
#include "import/engine/ImportConvert.h"

#include "import/engine/ImportCharset.h"
#include "import/engine/ImportPlatform.h"

#include <QFileInfo>

#include <charconv>
#include <cstring>
#include <cmath>
#include <limits>
#include <utility>

namespace {

bool containsIgnoreCase(const QStringList& list, const QString& text) {
    for (const QString& s : list)
        if (s.compare(text, Qt::CaseInsensitive) == 0) return true;
    return false;
}

// The numeric text with the decimal separator as '.', or false when it
// holds characters a number cannot have.
bool toAsciiNumber(const QString& text, QChar decimalSeparator, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (QChar c : text) {
        ushort u = c.unicode();
        if (c == decimalSeparator) out += '.';
        else if (u == '.' && decimalSeparator != QLatin1Char('.')) return false;
        else if (u < 128) out += (char)u;
        else return false;
    }
    // blanks around the number are allowed
    size_t b = out.find_first_not_of(' ');
    if (b == std::string::npos) return false;
    size_t e = out.find_last_not_of(' ');
    out = out.substr(b, e - b + 1);
    return !out.empty();
}

bool parseDouble(const char* begin, size_t size, double& v) {
    const char* first = begin;
    const char* last = begin + size;
    if (first < last && *first == '+') ++first;
    if (first == last) return false;
    // digits, optional fraction, optional exponent; no hex, inf or nan
    const char* p = first;
    if (*p == '-') ++p;
    bool digits = false;
    while (p < last && *p >= '0' && *p <= '9') { ++p; digits = true; }
    if (p < last && *p == '.') {
        ++p;
        while (p < last && *p >= '0' && *p <= '9') { ++p; digits = true; }
    }
    if (!digits) return false;
    if (p < last && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < last && (*p == '+' || *p == '-')) ++p;
        bool expDigits = false;
        while (p < last && *p >= '0' && *p <= '9') { ++p; expDigits = true; }
        if (!expDigits) return false;
    }
    if (p != last) return false;
    auto res = std::from_chars(first, last, v);
    if (res.ec == std::errc() && res.ptr == last) return true;
    // from_chars wants a digit before the point: ".5", "-.5"
    char buf[160];
    size_t n = (size_t)(last - first);
    if (n + 2 > sizeof buf) return false;
    size_t k = 0;
    const char* q = first;
    if (*q == '-') buf[k++] = *q++;
    buf[k++] = '0';
    std::memcpy(buf + k, q, (size_t)(last - q));
    k += (size_t)(last - q);
    res = std::from_chars(buf, buf + k, v);
    return res.ec == std::errc() && res.ptr == buf + k;
}

bool parseDouble(const std::string& s, double& v) { return parseDouble(s.data(), s.size(), v); }


// Thousand separators removed, the first "." read as the decimal separator
// (when that is not "." itself), the decimal separator written as '.',
// blanks around the number dropped. False for texts no number can have.
bool normalizeNumber(QStringView text, QChar thousand, QChar decimal, char* out, size_t cap, size_t& len) {
    len = 0;
    bool firstDot = decimal != QLatin1Char('.');
    for (QChar c : text) {
        if (c == thousand) continue;
        if (c == QLatin1Char('.') && firstDot) {
            firstDot = false;
            c = decimal;
        } else if (c == QLatin1Char('.') && decimal != QLatin1Char('.')) {
            return false;
        }
        ushort u = c == decimal ? '.' : c.unicode();
        if (u >= 128 || len + 1 >= cap) return false;
        out[len++] = (char)u;
    }
    size_t b = 0;
    while (b < len && out[b] <= ' ') ++b;
    while (len > b && out[len - 1] <= ' ') --len;
    if (b == len) return false;
    if (b) std::memmove(out, out + b, len - b);
    len -= b;
    out[len] = 0;
    return true;
}

// The plain numbers nearly every cell holds: an optional sign, digits and at
// most one decimal point ("." or the decimal separator) with digits on both
// sides, thousand separators anywhere. Reads them in one pass without the
// general path's copy; false for every other text (blanks, exponents, more
// digits than `maxDigits`, ...), which the general path then decides. Where
// it succeeds the general path gives the same value.
struct TPlainNumber {
    quint64 Mantissa = 0;  // the digits without the point
    int Fraction = 0;      // digits after the point
    bool Point = false;
    bool Negative = false;
};

// Thousand and decimal separators that are digits or signs are left to the
// general path.
bool plainSeparator(char16_t c) { return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-'; }

[[gnu::always_inline]] inline bool scanPlainNumber(QStringView text, QChar thousand, QChar decimal, int maxDigits,
                                                   TPlainNumber& n) {
    const char16_t t = thousand.unicode();
    const char16_t d = decimal.unicode();
    if (plainSeparator(t) || plainSeparator(d)) return false;
    quint64 m = 0;  // wraps harmlessly past maxDigits, refused below
    int digits = 0, intDigits = 0;
    bool point = false, sign = false, negative = false;
    for (const char16_t* p = text.utf16(), *e = p + text.size(); p < e; ++p) {
        const char16_t c = *p;
        const unsigned k = unsigned(c) - u'0';
        if (k < 10) {
            m = m * 10 + k;
            ++digits;
        } else if (c == t) {
            // dropped wherever it stands
        } else if (c == u'.' || c == d) {
            // the general path reads both as the decimal point
            if (point || digits == 0) return false;
            point = true;
            intDigits = digits;
        } else if ((c == u'-' || c == u'+') && digits == 0 && !sign) {
            sign = true;
            negative = c == u'-';
        } else {
            return false;
        }
    }
    if (digits == 0 || digits > maxDigits || (point && digits == intDigits)) return false;
    n.Mantissa = m;
    n.Fraction = point ? digits - intDigits : 0;
    n.Point = point;
    n.Negative = negative;
    return true;
}

// Powers of ten that a double holds exactly.
constexpr double kExactPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
                                  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// At most 15 digits: the mantissa and the power of ten are exact doubles, so
// the one division is correctly rounded, as the general parse is.
constexpr int kPlainFloatDigits = 15;
static_assert(kPlainFloatDigits < int(sizeof kExactPow10 / sizeof kExactPow10[0]));

double plainDouble(const TPlainNumber& n) {
    const double v = double(n.Mantissa) / kExactPow10[n.Fraction];
    return n.Negative ? -v : v;
}

// Case-insensitive equality of a cell text and a word, for ASCII without a
// call into the Unicode folding; any other character goes the full way.
bool sameWordIgnoreCase(QStringView text, const QString& word) {
    if (text.size() != word.size()) return false;
    const char16_t* a = text.utf16();
    const char16_t* b = QStringView(word).utf16();
    for (qsizetype i = 0, n = text.size(); i < n; ++i) {
        char16_t x = a[i], y = b[i];
        if (x == y) continue;
        if ((x | y) >= 0x80) return text.compare(word, Qt::CaseInsensitive) == 0;
        if (x >= u'A' && x <= u'Z') x += 32;
        if (y >= u'A' && y <= u'Z') y += 32;
        if (x != y) return false;
    }
    return true;
}

// Stores a conversion result: one temporary fewer than an assignment.
template <class T>
void store(QVariant& value, const T& v) {
    QVariant result(v);
    value.swap(result);
}

QString replaceFirstDot(QString text, QChar decimalSeparator) {
    if (decimalSeparator != QLatin1Char('.')) {
        int i = text.indexOf(QLatin1Char('.'));
        if (i >= 0) text[i] = decimalSeparator;
    }
    return text;
}

int readToken(const QString& token) {
    bool ok;
    int v = token.toInt(&ok);
    if (ok && v != 0) return v;
    QString digits;
    for (QChar c : token)
        if (c.isDigit()) digits += c;
    v = digits.toInt(&ok);
    return ok ? v : 0;
}

bool hasDigit(const QString& token) {
    for (QChar c : token)
        if (c.isDigit()) return true;
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------

bool vaccoraTextToDouble(const QString& text, QChar decimalSeparator, double& value) {
    std::string ascii;
    return toAsciiNumber(text, decimalSeparator, ascii) && parseDouble(ascii, value);
}

double vaccoraParseDateByFormat(const QString& text, const QString& format) {
    if (text.isEmpty() || format.size() <= 4) return 0;
    QString f = format.toUpper();
    QString t = text;
    int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0, z = 0;
    bool pm = false, am = false;
    const char* const months[12] = {"January", "February", "March", "April", "May", "June",
                                     "July", "August", "September", "October", "November", "December"};
    auto take = [&](int count, QString& token) {
        if (t.isEmpty()) return false;
        token = t.left(count);
        t.remove(0, count);
        return true;
    };
    while (!f.isEmpty()) {
        QString token;
        const QChar c = f[0];
        if (f.startsWith(QLatin1String("YYYY")) || f.startsWith(QLatin1String("YY")) || c == QLatin1Char('Y')) {
            int len = f.startsWith(QLatin1String("YYYY")) ? 4 : f.startsWith(QLatin1String("YY")) ? 2 : 1;
            f.remove(0, len);
            if (!take(len, token)) return 0;
            y = readToken(token);
            if (y == 0) return 0;
            if (len == 2) y += y < 70 ? 2000 : 1900;
            else if (len == 1) y += 2000;
        } else if (f.startsWith(QLatin1String("MMM"))) {
            bool full = f.startsWith(QLatin1String("MMMM"));
            f.remove(0, full ? 4 : 3);
            if (t.isEmpty()) return 0;
            int found = 0;
            for (int i = 0; i < 12 && !found; ++i) {
                QString name = QString::fromLatin1(months[i]);
                if (!full) name = name.left(3);
                if (t.contains(name, Qt::CaseInsensitive)) {
                    found = i + 1;
                    t.remove(0, name.size());
                }
            }
            m = found;
            if (m == 0) return 0;
        } else if (c == QLatin1Char('M') || c == QLatin1Char('D') || c == QLatin1Char('H') ||
                   c == QLatin1Char('N') || c == QLatin1Char('S')) {
            int len = f.size() > 1 && f[1] == c ? 2 : 1;
            f.remove(0, len);
            if (!take(len, token)) return 0;
            int v = readToken(token);
            if (c == QLatin1Char('M')) { if ((m = v) == 0) return 0; }
            else if (c == QLatin1Char('D')) { if ((d = v) == 0) return 0; }
            else {
                if (!hasDigit(token)) return 0;
                (c == QLatin1Char('H') ? h : c == QLatin1Char('N') ? n : s) = v;
            }
        } else if (f.startsWith(QLatin1String("ZZZ"))) {
            f.remove(0, 3);
            if (!take(3, token)) return 0;
            if (!hasDigit(token)) return 0;
            z = readToken(token);
        } else if (f.startsWith(QLatin1String("AP"))) {
            f.remove(0, 2);
            if (!take(2, token)) return 0;
            if (token[0] == QLatin1Char('P') || token[0] == QLatin1Char('p')) pm = true;
            else am = true;
        } else {
            f.remove(0, 1);
            if (t.isEmpty() || t[0] != c) return 0;
            t.remove(0, 1);
        }
    }
    if (pm && h < 12) h += 12;
    else if (am && h == 12) h = 0;
    double v;
    if (!vaccoraTryEncodeDateTime(y, m, d, h, n, s, z, v)) return 0;
    return v;
}

// ---------------------------------------------------------------------------
// TImportEngine: conversions

void TImportEngine::TextToString(const QString& text, TFieldType, QVariant& value) { store(value, text); }

void TImportEngine::TextToBytes(const QString& text, QVariant& value) {
    value = QVariant(vaccoraEncodeSingleByte(text, vaccoraDesktopCodePages().Ansi));
}

namespace {

// The general number paths: every text the plain scan does not take.
double floatValue(const QString& text, const TImportFormats& formats) {
    char buf[128];
    size_t len;
    double v;
    if (normalizeNumber(text, formats.ThousandSeparator, formats.DecimalSeparator, buf, sizeof buf, len) &&
        parseDouble(buf, len, v))
        return v;
    QString t = text;
    t.remove(formats.ThousandSeparator);
    throw EImportError(ImportFmt(SNotAFloat, {replaceFirstDot(t, formats.DecimalSeparator)}));
}

qint64 integerValue(const QString& text, bool large, const TImportFormats& formats) {
    char buf[128];
    size_t len;
    bool ok = normalizeNumber(text, formats.ThousandSeparator, formats.DecimalSeparator, buf, sizeof buf, len);
    qint64 v = 0;
    if (ok) {
        const char* first = buf;
        if (*first == '+') ++first;
        auto res = std::from_chars(first, buf + len, v);
        if (res.ec != std::errc() || res.ptr != buf + len) {
            // a number with a fraction is rounded (half to even), as the
            // variant conversion does
            double d;
            ok = parseDouble(buf, len, d) && std::fabs(d) < 9.2e18;
            if (ok) v = (qint64)std::nearbyint(d);
        }
    }
    if (ok && !large && (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max()))
        ok = false;
    if (!ok) {
        if (containsIgnoreCase(formats.BooleanTrue, text)) v = 1;
        else if (containsIgnoreCase(formats.BooleanFalse, text)) v = 0;
        else {
            QString t = text;
            t.remove(formats.ThousandSeparator);
            throw EImportError(ImportFmt(SNotAnInteger, {replaceFirstDot(t, formats.DecimalSeparator)}));
        }
    }
    return v;
}

}  // namespace

void TImportEngine::TextToFloat(const QString& text, TFieldType, QVariant& value) {
    TPlainNumber plain;
    if (scanPlainNumber(text, Formats.ThousandSeparator, Formats.DecimalSeparator, kPlainFloatDigits, plain))
        store(value, plainDouble(plain));
    else
        store(value, floatValue(text, Formats));
}

void TImportEngine::TextToInteger(const QString& text, TFieldType type, QVariant& value) {
    const bool large = type == TFieldType::ftLargeint;
    TPlainNumber plain;
    qint64 v;
    // 18 digits always fit in 64 bits
    if (scanPlainNumber(text, Formats.ThousandSeparator, Formats.DecimalSeparator, 18, plain) && !plain.Point &&
        (large || plain.Mantissa <= quint64(std::numeric_limits<qint32>::max())))
        v = plain.Negative ? -qint64(plain.Mantissa) : qint64(plain.Mantissa);
    else
        v = integerValue(text, large, Formats);
    if (large) store(value, qlonglong(v));
    else store(value, int(v));
}

namespace {

// A day number as a field value: the wall-clock date and time without any
// zone lookup (the database stores date() and time() as they are).
QVariant dateValue(double days) {
    QDate date;
    QTime time;
    vaccoraDecodeDays(days, date, time);
    return QVariant(QDateTime(date, time, Qt::UTC));
}

}  // namespace

void TImportEngine::TextToDateTime(const QString& text, QVariant& value) {
    QDate date;
    if (vaccoraTryPlainDate(text, Formats, date)) {
        store(value, QDateTime(date, QTime::fromMSecsSinceStartOfDay(0), Qt::UTC));
        return;
    }
    double v = 0;
    if (vaccoraTryStrToDateTime(text, Formats, v) || (v = vaccoraParseDateByFormat(text, Formats.ShortDateFormat)) != 0) {
        value = dateValue(v);
        return;
    }
    int nbsp = text.indexOf(QChar(0x00A0));
    if (nbsp >= 0) {
        QString t = text;
        t[nbsp] = QLatin1Char(' ');
        if (vaccoraTryStrToDateTime(t, Formats, v)) {
            value = dateValue(v);
            return;
        }
    }
    if (vaccoraTextToDouble(text, Formats.DecimalSeparator, v) && std::fabs(v) < 2958466.0) {
        value = dateValue(v);
        return;
    }
    throw EImportError(ImportFmt(SWrongDateFormat, {text}));
}

namespace {

[[gnu::noinline]] bool booleanValue(const QString& text, const TImportFormats& formats) {
    if (containsIgnoreCase(formats.BooleanTrue, text)) return true;
    if (containsIgnoreCase(formats.BooleanFalse, text)) return false;
    throw EImportError(ImportFmt(SNotABoolean, {text}));
}

[[noreturn, gnu::noinline]] void unknownFieldType() { throw EImportError(TImportLocale::Text(SUnknownFieldType)); }

}  // namespace

QVariant TImportEngine::ConvertText(const QString& text, TFieldType type) {
    QVariant value;  // the one result object of every path
    const char16_t* first = QStringView(text).utf16();
    const char16_t* last = first + text.size();
    while (first < last && *first <= 32) ++first;
    while (last > first && last[-1] <= 32) --last;
    const QStringView trimmed(first, last - first);
    const QString* words = Formats.NullValues.constData();
    for (qsizetype i = 0, n = Formats.NullValues.size(); i < n; ++i)
        if (words[i].size() == trimmed.size() && sameWordIgnoreCase(trimmed, words[i])) return value;
    const bool isText = type == TFieldType::ftString || type == TFieldType::ftBlob;
    if (!isText && trimmed.isEmpty()) return value;
    switch (type) {
    case TFieldType::ftString:
    case TFieldType::ftBlob:
        TextToString(text, type, value);
        break;
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftLargeint:
        TextToInteger(text, type, value);
        break;
    case TFieldType::ftBoolean:
        store(value, booleanValue(text, Formats));
        break;
    case TFieldType::ftFloat:
        TextToFloat(text, type, value);
        break;
    case TFieldType::ftDate:
    case TFieldType::ftTime:
    case TFieldType::ftDateTime:
        TextToDateTime(text, value);
        break;
    default:
        unknownFieldType();
    }
    return value;
}

// ---------------------------------------------------------------------------
// Field formats

namespace {

QString quotedEmpty(const QString& v) { return v == QLatin1String("''") ? QString() : v; }

QString controlCodes(QString s) {
    s.replace(QLatin1String("#10"), QStringLiteral("\n"));
    s.replace(QLatin1String("#13"), QStringLiteral("\r"));
    return s;
}

}  // namespace

void vaccoraApplyReplacements(QString& value, const TImportReplacements& replacements) {
    for (const TImportReplacement& r : replacements) {
        QString find = controlCodes(r.TextToFind);
        if (find.isEmpty()) continue;
        value.replace(find, controlCodes(r.ReplaceWith), r.IgnoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive);
    }
}

void TImportEngine::ApplyFieldFormat(TImportCol& col) {
    const TImportFieldFormat* f = FieldFormats.Find(col.Name);
    if (!f) return;
    QString& value = col.Value;
    if (!f->Script.isEmpty() && ScriptEngine) {
        TImportScriptEngine& se = *ScriptEngine;
        se.Script = f->Script.join(QLatin1Char('\n'));
        se.InputValue = QVariant(value);
        se.InputValueFlag = QLatin1Char('%') + col.Name + QLatin1Char('%');
        QString literal;
        se.MakeLiteral(value, literal);
        QString expression = se.Script;
        expression.replace(se.InputValueFlag, literal);
        QString result;
        if (se.Evaluate(expression, result)) {
            value = result;
        } else {
            TImportScriptError error;
            se.LastError(error);
            bool raise = false;
            QString message = error.Description;
            if (OnScriptExecuteError) {
                OnScriptExecuteError(*this, error, col.Name, raise, message);
                if (raise) throw EImportError(message);
            }
        }
        vaccoraApplyReplacements(value, f->Replacements);
        return;
    }
    for (TGenerator& g : m_generators) {
        if (g.FieldName.compare(col.Name, Qt::CaseInsensitive) != 0) continue;
        if (g.First) g.First = false;
        else g.Value += g.Step;
        value = QString::number(g.Value);
        return;
    }
    bool skipReplacements = false;
    if (!f->DefaultValue.isEmpty() && !f->NullValue.isEmpty() &&
        ((f->NullValue == QLatin1String("''") && value.isEmpty()) ||
         value.compare(f->NullValue, Qt::CaseInsensitive) == 0)) {
        value = quotedEmpty(f->DefaultValue);
        skipReplacements = true;
    }
    if (!f->ConstantValue.isEmpty()) {
        value = quotedEmpty(f->ConstantValue);
        skipReplacements = true;
    }
    switch (f->Functions) {
    case ifNone: break;
    case ifDate:
        value = vaccoraFormatDateTime(Formats.ShortDateFormat, vaccoraDateTimeToDays(QDateTime::currentDateTime()), Formats);
        break;
    case ifTime:
        value = vaccoraFormatDateTime(Formats.LongTimeFormat, vaccoraDateTimeToDays(QDateTime::currentDateTime()), Formats);
        break;
    case ifDateTime: {
        double now = vaccoraDateTimeToDays(QDateTime::currentDateTime());
        value = vaccoraFormatDateTime(Formats.ShortDateFormat, now, Formats) + QLatin1Char(' ') +
                vaccoraFormatDateTime(Formats.LongTimeFormat, now, Formats);
        break;
    }
    case ifLongFileName: value = FileName(); break;
    case ifShortFileName: value = QFileInfo(FileName()).fileName(); break;
    }
    if (!skipReplacements) vaccoraApplyReplacements(value, f->Replacements);
    if (f->QuoteAction == qaAdd) {
        value = f->LeftQuote + value + f->RightQuote;
    } else if (f->QuoteAction == qaRemove) {
        if (!f->LeftQuote.isEmpty() && value.startsWith(f->LeftQuote)) value.remove(0, f->LeftQuote.size());
        if (!f->RightQuote.isEmpty() && value.endsWith(f->RightQuote)) value.chop(f->RightQuote.size());
    }
    switch (f->CharCase) {
    case iccNone: break;
    case iccUpper: value = value.toUpper(); break;
    case iccLower: value = value.toLower(); break;
    case iccUpperFirst:
        value = value.toLower();
        if (!value.isEmpty()) value[0] = value[0].toUpper();
        break;
    case iccUpperFirstWord:
        for (int i = 0; i < value.size(); ++i)
            if (i == 0 || value[i - 1] == QLatin1Char(' ')) value[i] = value[i].toUpper();
        break;
    }
    if (value.isEmpty()) return;
    if (f->CharSet == icsAnsi) value = vaccoraOemToAnsi(value);
    else if (f->CharSet == icsOem) value = vaccoraAnsiToOem(value);
}
