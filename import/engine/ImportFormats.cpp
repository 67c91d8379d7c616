#include "import/engine/ImportEngine.h"

TImportFormats::TImportFormats()
    : DecimalSeparator(QLatin1Char('.')),
      ThousandSeparator(QLatin1Char(',')),
      ShortDateFormat(QStringLiteral("M/d/yyyy")),
      LongDateFormat(QStringLiteral("dddd, MMMM d, yyyy")),
      DateSeparator(QLatin1Char('/')),
      ShortTimeFormat(QStringLiteral("h:mm AMPM")),
      LongTimeFormat(QStringLiteral("h:mm:ss AMPM")),
      TimeSeparator(QLatin1Char(':')),
      BooleanTrue{TImportLocale::Text(SBooleanTrue)},
      BooleanFalse{TImportLocale::Text(SBooleanFalse)},
      NullValues{TImportLocale::Text(SNullValue)} {}

TImportFormats TImportFormats::ProgramDefaults() {
    TImportFormats f;
    f.DecimalSeparator = QLatin1Char('.');
    f.ThousandSeparator = QChar(0x00A0);
    f.ShortDateFormat = QStringLiteral("d.M.yyyy");
    f.LongDateFormat = QStringLiteral("d. MMMM yyyy");
    f.DateSeparator = QLatin1Char('.');
    f.ShortTimeFormat = QStringLiteral("h:mm");
    f.LongTimeFormat = QStringLiteral("h:mm:ss");
    f.TimeSeparator = QLatin1Char(':');
    f.BooleanTrue = QStringList{QStringLiteral("True")};
    f.BooleanFalse = QStringList{QStringLiteral("False")};
    f.NullValues = QStringList{QStringLiteral("Null")};
    return f;
}

QString TImportReplacement::DisplayName() const {
    return ImportFmt(SReplacementDisplay, {TextToFind, ReplaceWith});
}

bool TImportFieldFormat::IsEmpty() const {
    return GeneratorValue == 0 && GeneratorStep == 0 && ConstantValue.isEmpty() && NullValue.isEmpty() &&
           DefaultValue.isEmpty() && LeftQuote.isEmpty() && RightQuote.isEmpty() && QuoteAction == qaNone &&
           CharCase == iccNone && CharSet == icsNone && Replacements.empty() && Functions == ifNone &&
           Script.isEmpty();
}

TImportFieldFormat* TImportFieldFormats::Find(const QString& fieldName) {
    for (auto& f : Items)
        if (f.FieldName.compare(fieldName, Qt::CaseInsensitive) == 0) return &f;
    return nullptr;
}

const TImportFieldFormat* TImportFieldFormats::Find(const QString& fieldName) const {
    return const_cast<TImportFieldFormats*>(this)->Find(fieldName);
}

TImportFieldFormat& TImportFieldFormats::Add(const QString& fieldName) {
    Items.emplace_back();
    Items.back().FieldName = fieldName;
    return Items.back();
}

// ---------------------------------------------------------------------------

TImportCol* TImportRow::ColByName(const QString& name) {
    auto it = m_byName.constFind(name);
    return it == m_byName.constEnd() ? nullptr : &m_cols[*it];
}

const TImportCol* TImportRow::ColByName(const QString& name) const {
    auto it = m_byName.constFind(name);
    return it == m_byName.constEnd() ? nullptr : &m_cols[*it];
}

int TImportRow::MapIndex(const QString& name) const { return m_mapIndex.value(name, -1); }

void TImportRow::ClearValues() {
    for (auto& c : m_cols) c.Value.clear();
}

bool TImportRow::SetValue(const QString& name, const QString& value) {
    TImportCol* c = ColByName(name);
    if (!c) return false;
    c->Value = value;
    return true;
}

QString TImportRow::Value(const QString& name) const {
    const TImportCol* c = ColByName(name);
    return c ? c->Value : QString();
}

void TImportRow::Clear(int expectedCount) {
    m_cols.clear();
    m_byName.clear();
    m_mapIndex.clear();
    m_cols.reserve(expectedCount);
    m_byName.reserve(expectedCount);
    m_mapIndex.reserve(expectedCount);
}

TImportCol& TImportRow::Add(const QString& name, int destinationIndex, int mapIndex) {
    m_cols.push_back(TImportCol{name, QString(), destinationIndex, false});
    m_byName.insert(name, (int)m_cols.size() - 1);
    if (mapIndex >= 0) m_mapIndex.insert(name, mapIndex);
    return m_cols.back();
}
