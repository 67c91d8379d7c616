#include "import/sources/text/ImportASCII.h"

#include "import/engine/ImportIni.h"

#include <QLocale>

#include <cstring>

namespace {

const QString kSection = QStringLiteral("ASCII_OPTIONS");

// Strict integer reading of a map part: optional sign and decimal digits,
// blanks around allowed.
bool readInteger(QStringView text, qint64& value)
{
    text = vaccoraTrimBlank(text);
    if (text.isEmpty() || text.size() > 19)
        return false;
    qsizetype i = 0;
    bool negative = false;
    if (text[0] == u'+' || text[0] == u'-') {
        negative = text[0] == u'-';
        ++i;
    }
    if (i == text.size())
        return false;
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        v = v * 10 + (c - u'0');
    }
    value = negative ? -v : v;
    return true;
}

inline void assignValue(QString& dst, QStringView v)
{
    // Reuses the column's buffer from the previous row when it can.
    dst.resize(v.size());
    if (!v.isEmpty())
        std::memcpy(dst.data(), v.data(), size_t(v.size()) * sizeof(QChar));
}

char toChar8(QChar c, char current) { return c.unicode() <= 0xFF ? char(c.unicode()) : current; }

}  // namespace

TImportASCII::TImportASCII() : Comma(DefaultComma()) {}

TImportASCII::~TImportASCII() = default;

char TImportASCII::DefaultComma()
{
    const QString dp = QLocale::system().decimalPoint();
    return dp == QLatin1String(",") ? ';' : ',';
}

bool TImportASCII::ParseFieldNumber(const QString& spec, qint64& number)
{
    return readInteger(spec, number);
}

bool TImportASCII::ParseStartLength(const QString& spec, qint64& start, qint64& length)
{
    const qsizetype semi = spec.indexOf(u';');
    if (semi < 0)
        return false;
    return readInteger(QStringView(spec).left(semi), start) && readInteger(QStringView(spec).mid(semi + 1), length);
}

bool TImportASCII::ValidateSettings()
{
    const bool ok = TImportEngine::ValidateSettings();
    for (int i = 0; i < Map.size(); ++i) {
        const QString spec = MapValue(i);
        qint64 a = 0, b = 0;
        const bool good = FixedWidth() ? ParseStartLength(spec, a, b) : ParseFieldNumber(spec, a);
        if (!good)
            throw EImportError(TImportLocale::Text(SMissingMapDefinition));
    }
    // Encodings without a code page cannot be decoded; refuse them before
    // anything is opened.
    if (!vaccoraIsCharset(Encoding) || vaccoraCharsetCodePage(Encoding) == 0
        || (vaccoraCharsetCodePage(Encoding) != cpUtf8 && vaccoraCharsetCodePage(Encoding) != cpUtf16
            && vaccoraCharsetCodePage(Encoding) != cpUtf32 && !vaccoraCodePageIconvName(vaccoraCharsetCodePage(Encoding)))) {
        const QString name = vaccoraIsCharset(Encoding) ? vaccoraCharsetDisplayText(Encoding) : QString::number(int(Encoding));
        throw EImportError(ImportFmt(SEncodingWithoutCodePage, {name}));
    }
    return ok;
}

void TImportASCII::BeginRows()
{
    release();
    m_skipped = 0;
    m_reader = std::make_unique<TTextLineReader>();
    m_reader->SetCodePage(vaccoraCharsetCodePage(Encoding));
    m_reader->Open(FileName());
    m_records = std::make_unique<TTextRecordReader>(*m_reader, Comma, Quote);

    TImportRow& row = Row();
    m_specs.assign(size_t(row.Count()), TColumnSpec());
    for (int i = 0; i < row.Count(); ++i) {
        const int mapLine = row.MapIndex(row[i].Name);
        if (mapLine < 0)
            continue;
        TColumnSpec& spec = m_specs[size_t(i)];
        spec.Mapped = true;
        const QString text = MapValue(mapLine);
        if (FixedWidth()) {
            const qsizetype semi = text.indexOf(u';');
            const QStringView v(text);
            if (!readInteger(semi < 0 ? v : v.left(semi), spec.Start))
                spec.Start = 0;
            if (semi < 0 || !readInteger(v.mid(semi + 1), spec.Length))
                spec.Length = 0;
        } else if (!readInteger(text, spec.Field)) {
            spec.Field = 0;
        }
    }
}

bool TImportASCII::HasRow() { return m_reader && !m_reader->Eof(); }

bool TImportASCII::SkipRow()
{
    bool read;
    if (FixedWidth()) {
        read = m_reader->ReadLine(m_line);
        vaccoraExpandTabs(m_line, m_record);
    } else {
        read = m_records->ReadRecord(m_record);
    }
    if (!read)
        m_record.resize(0);
    if (SkipFirstRows >= 1 && m_skipped < SkipFirstRows) {
        ++m_skipped;
        return true;
    }
    return vaccoraTrimBlank(m_record).isEmpty();
}

void TImportASCII::ReadRow()
{
    TImportRow& row = Row();
    if (!FixedWidth())
        vaccoraSplitTextRecord(m_record, Comma, Quote, m_fields);
    RowEmpty = true;
    const qint64 recordLength = m_record.size();
    for (int i = 0; i < row.Count(); ++i) {
        TImportCol& col = row[i];
        const TColumnSpec& spec = i < int(m_specs.size()) ? m_specs[size_t(i)] : TColumnSpec();
        if (!spec.Mapped) {
            col.Value.resize(0);
            continue;
        }
        QStringView value;
        if (FixedWidth()) {
            const qint64 from = std::max<qint64>(spec.Start, 0);
            const qint64 to = std::min<qint64>(spec.Start + spec.Length, recordLength);
            if (spec.Length > 0 && from < to)
                value = QStringView(m_record).mid(from, to - from);
        } else if (spec.Field >= 1 && spec.Field <= m_fields.Count()) {
            value = m_fields.Field(int(spec.Field - 1));
        }
        if (AutoTrimValue)
            value = vaccoraTrimBlank(value);
        assignValue(col.Value, value);
        if (!value.isEmpty())
            RowEmpty = false;
    }
    for (int i = 0; i < row.Count(); ++i)
        ApplyFieldFormat(row[i]);
}

TImportResult TImportASCII::WriteRow() { return WriteRowPattern(true); }

void TImportASCII::NextRow() {}

void TImportASCII::EndRows()
{
    struct Release {
        TImportASCII* self;
        ~Release() { self->release(); }
    } guard{this};
    FinalCommitRequest();
}

void TImportASCII::CleanupImport()
{
    struct Release {
        TImportASCII* self;
        ~Release() { self->release(); }
    } guard{this};
    TImportEngine::CleanupImport();
}

void TImportASCII::release()
{
    m_records.reset();
    m_reader.reset();
    m_specs.clear();
    m_fields.Clear();
    m_line.clear();
    m_record.clear();
}

void TImportASCII::ReadSettings(TImportIniFile& ini)
{
    TImportEngine::ReadSettings(ini);
    SkipFirstRows = ini.ReadInteger(kSection, QStringLiteral("SkipLines"), SkipFirstRows);
    const int enc = ini.ReadInteger(kSection, QStringLiteral("Encoding"), int(Encoding));
    if (vaccoraIsCharset(enc))
        Encoding = TCharsetType(enc);
    Comma = toChar8(ini.ReadChar(kSection, QStringLiteral("Comma"), QChar(uchar(Comma))), Comma);
    Quote = toChar8(ini.ReadChar(kSection, QStringLiteral("Quote"), QChar(uchar(Quote))), Quote);
}

void TImportASCII::WriteSettings(TImportIniFile& ini)
{
    TImportEngine::WriteSettings(ini);
    ini.WriteInteger(kSection, QStringLiteral("SkipLines"), SkipFirstRows);
    ini.WriteInteger(kSection, QStringLiteral("Encoding"), int(Encoding));
    ini.WriteChar(kSection, QStringLiteral("Comma"), QChar(uchar(Comma)));
    ini.WriteChar(kSection, QStringLiteral("Quote"), QChar(uchar(Quote)));
}

void TImportASCII::ApplyOptions(TAllowedImport kind, const TImportOptions& options)
{
    TImportEngine::ApplyOptions(kind, options);
    auto it = options.find(QStringLiteral("Encoding"));
    if (it != options.end()) {
        bool ok = false;
        const int enc = it->toInt(&ok);
        if (ok && vaccoraIsCharset(enc))
            Encoding = TCharsetType(enc);
    }
    it = options.find(QStringLiteral("Delimiter"));
    if (it != options.end())
        Comma = it->isEmpty() ? char(0) : toChar8(it->at(0), Comma);
    it = options.find(QStringLiteral("Quote"));
    if (it != options.end())
        Quote = it->isEmpty() ? char(0) : toChar8(it->at(0), Quote);
}
