#include "import/sources/text/TextRecords.h"

#include "import/sources/text/TextLineReader.h"

#include <cstring>

namespace {

inline char16_t unit(char c) { return char16_t(static_cast<unsigned char>(c)); }

}  // namespace

QStringList TTextFields::ToList() const
{
    QStringList list;
    list.reserve(Count());
    for (int i = 0; i < Count(); ++i)
        list.append(Field(i).toString());
    return list;
}

bool vaccoraTextLineContinues(QStringView line, char comma, char quote)
{
    if (quote == 0)
        return false;
    const char16_t S = unit(comma), Q = unit(quote);
    const qsizetype n = line.size();
    const char16_t* s = reinterpret_cast<const char16_t*>(line.data());
    // Last separator-quote pair.
    qsizetype pair = -1;
    for (qsizetype i = n - 2; i >= 0; --i) {
        if (s[i] == S && s[i + 1] == Q) {
            pair = i;
            break;
        }
    }
    if (pair < 0)
        return false;
    const qsizetype open = pair + 1;
    bool foundQuote = false;
    for (qsizetype i = open + 1; i < n;) {
        if (s[i] != Q) {
            ++i;
            continue;
        }
        foundQuote = true;
        if (i + 1 < n && s[i + 1] == Q) {  // escaped pair
            i += 2;
            continue;
        }
        return false;  // closing quote
    }
    if (!foundQuote && open + 1 < n && s[open + 1] == S) {
        qsizetype total = 0;
        for (qsizetype i = 0; i < n; ++i)
            total += s[i] == Q;
        if (total % 2 == 0)
            return false;  // the pair closed an earlier quoted field
    }
    qsizetype before = 0;
    for (qsizetype i = 0; i <= pair; ++i)
        before += s[i] == Q;
    if (before % 2 != 0)
        return false;  // the pair lies inside an earlier quoted field
    return true;
}

void vaccoraSplitTextRecord(QStringView record, char comma, char quote, TTextFields& fields)
{
    // One pass over the states field start, unquoted, quoted, quote seen and
    // after close, with the runs between two interesting characters copied
    // whole. The quote is tested before the separator everywhere.
    const char16_t S = unit(comma), Q = unit(quote);
    const bool quoting = quote != 0;
    fields.Clear();
    const qsizetype n = record.size();
    fields.m_text.resize(n);  // fields never exceed the record
    char16_t* const out = reinterpret_cast<char16_t*>(fields.m_text.data());
    const char16_t* const s = reinterpret_cast<const char16_t*>(record.data());
    qsizetype len = 0, i = 0;
    auto copy = [&](qsizetype from, qsizetype to) {
        if (to > from) {
            std::memcpy(out + len, s + from, size_t(to - from) * sizeof(char16_t));
            len += to - from;
        }
    };
    for (;;) {  // field start
        const qsizetype start = len;
        if (quoting && i < n && s[i] == Q) {
            ++i;
            for (;;) {  // quoted
                qsizetype j = i;
                while (j < n && s[j] != Q)
                    ++j;
                copy(i, j);
                i = j;
                if (i >= n)
                    break;
                ++i;  // quote seen
                if (i < n && s[i] == Q) {
                    out[len++] = Q;
                    ++i;
                    continue;
                }
                break;
            }
            while (i < n && s[i] != S)  // after close: dropped up to the separator
                ++i;
        } else {
            qsizetype j = i;
            while (j < n && s[j] != S)
                ++j;
            copy(i, j);
            i = j;
        }
        fields.m_spans.push_back({start, len - start});
        if (i >= n)
            break;
        ++i;  // the separator
    }
    fields.m_text.resize(len);
}

QStringList vaccoraSplitTextRecord(QStringView record, char comma, char quote)
{
    TTextFields fields;
    vaccoraSplitTextRecord(record, comma, quote, fields);
    return fields.ToList();
}

void vaccoraExpandTabs(QStringView line, QString& out)
{
    out.resize(0);
    const qsizetype n = line.size();
    qsizetype tabs = 0;
    for (qsizetype i = 0; i < n; ++i)
        tabs += line[i] == u'\t';
    if (tabs == 0) {
        out.append(line);
        return;
    }
    out.reserve(n + tabs * 8);
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = line[i];
        if (c != u'\t') {
            out.append(c);
            continue;
        }
        const qsizetype p = out.size() + 1;  // position of the TAB on the expanded line
        const qsizetype spaces = p % 8 != 0 ? 9 - p % 8 : 9 - p % 9;
        out.append(QString(spaces, u' '));
    }
}

QString vaccoraExpandTabs(QStringView line)
{
    QString out;
    vaccoraExpandTabs(line, out);
    return out;
}

QStringView vaccoraTrimBlank(QStringView text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && text[b].unicode() <= 32)
        ++b;
    while (e > b && text[e - 1].unicode() <= 32)
        --e;
    return text.mid(b, e - b);
}

bool TTextRecordReader::ReadRecord(QString& record)
{
    if (!m_reader.ReadLine(m_line))
        return false;
    if (!vaccoraTextLineContinues(m_line, m_comma, m_quote)) {
        record.swap(m_line);
        return true;
    }
    const QChar Q = QChar(unit(m_quote));
    record.resize(0);
    while (!m_reader.Eof()) {
        record.append(m_line);
        record.append(u"\r\n");
        m_reader.ReadLine(m_line);
        if (m_line.contains(Q))
            break;
    }
    record.append(m_line);
    return true;
}
