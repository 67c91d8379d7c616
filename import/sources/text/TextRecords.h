// Text routines of the text source shared with the wizard's previews:
// record assembly across line breaks inside quotes, field splitting,
// tab expansion of fixed-width lines, and the blank trim.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

class TTextLineReader;

// Fields of one split record, held back to back in one buffer so that a
// record costs no allocation once the buffers have grown.
class TTextFields {
public:
    void Clear() { m_text.resize(0); m_spans.clear(); }
    int Count() const { return int(m_spans.size()); }
    QStringView Field(int i) const  // 0-based
    {
        const Span& s = m_spans[size_t(i)];
        return QStringView(m_text).mid(s.start, s.length);
    }
    QStringList ToList() const;

private:
    friend void vaccoraSplitTextRecord(QStringView, char, char, TTextFields&);
    struct Span { qsizetype start, length; };
    QString m_text;
    std::vector<Span> m_spans;
};

// Whether a line leaves a quoted field open and so continues on the next
// physical line. comma is the separator, quote the quoting character (NUL:
// no quoting, nothing continues).
bool vaccoraTextLineContinues(QStringView line, char comma, char quote);

// Splits one record at comma with quote as quoting character; always at
// least one field.
void vaccoraSplitTextRecord(QStringView record, char comma, char quote, TTextFields& fields);
QStringList vaccoraSplitTextRecord(QStringView record, char comma, char quote);

// Replaces every TAB of a fixed-width line by spaces, counting 1-based
// positions on the expanded line.
void vaccoraExpandTabs(QStringView line, QString& out);
QString vaccoraExpandTabs(QStringView line);

// The text without every character of code 32 and below at both ends.
QStringView vaccoraTrimBlank(QStringView text);

// Reads delimited records from a line reader: one physical line, or several
// joined by CR LF while a quoted field is open.
class TTextRecordReader {
public:
    TTextRecordReader(TTextLineReader& reader, char comma, char quote)
        : m_reader(reader), m_comma(comma), m_quote(quote) {}
    // False at end of file.
    bool ReadRecord(QString& record);

private:
    TTextLineReader& m_reader;
    char m_comma, m_quote;
    QString m_line;
};
