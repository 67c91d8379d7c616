// The engine's own settings file (ReadSettings / WriteSettings): "BASE",
// "MAP", the formats and word lists, field formats and key columns. Sources
// add their own section after these.
#include "import/engine/ImportEngine.h"

#include "import/engine/ImportIni.h"

namespace {

QString S(const char* s) { return QString::fromLatin1(s); }
QString hex(const QString& s) { return QString::fromLatin1(s.toUtf8().toHex().toUpper()); }
QString unhex(const QString& s) { return QString::fromUtf8(QByteArray::fromHex(s.toLatin1())); }

}  // namespace

// "BASE_FORMATS" and the three word lists, as engine settings files and
// import templates both keep them.
void vaccoraWriteBaseFormats(TImportIniFile& ini, const TImportFormats& Formats) {
    const QString bf = S("BASE_FORMATS");
    ini.WriteChar(bf, S("DecimalSeparator"), Formats.DecimalSeparator);
    ini.WriteChar(bf, S("ThousandSeparator"), Formats.ThousandSeparator);
    ini.WriteString(bf, S("ShortDateFormat"), Formats.ShortDateFormat);
    ini.WriteString(bf, S("LongDateFormat"), Formats.LongDateFormat);
    ini.WriteChar(bf, S("DateSeparator"), Formats.DateSeparator);
    ini.WriteString(bf, S("ShortTimeFormat"), Formats.ShortTimeFormat);
    ini.WriteString(bf, S("LongTimeFormat"), Formats.LongTimeFormat);
    ini.WriteChar(bf, S("TimeSeparator"), Formats.TimeSeparator);
    for (const QString& w : Formats.BooleanTrue) ini.WriteString(S("BOOLEAN_TRUE"), w, QString());
    for (const QString& w : Formats.BooleanFalse) ini.WriteString(S("BOOLEAN_FALSE"), w, QString());
    for (const QString& w : Formats.NullValues) ini.WriteString(S("NULL_VALUES"), w, QString());
}

void TImportEngine::WriteSettings(TImportIniFile& ini) {
    const QString b = S("BASE");
    ini.WriteString(b, S("FileName"), m_fileName);
    ini.WriteBool(b, S("CommitAfterDone"), CommitAfterDone);
    ini.WriteInteger(b, S("CommitRecCount"), CommitRecCount);
    ini.WriteInteger(b, S("ImportRecCount"), ImportRecCount);
    ini.WriteBool(b, S("ErrorLog"), ErrorLog);
    ini.WriteString(b, S("ErrorLogFileName"), ErrorLogFileName);
    ini.WriteBool(b, S("RewriteErrorLogFile"), RewriteErrorLogFile);
    ini.WriteBool(b, S("ShowErrorLog"), ShowErrorLog);
    ini.WriteInteger(b, S("ImportDestination"), ImportDestination);
    ini.WriteInteger(b, S("ImportMode"), ImportMode);
    ini.WriteInteger(b, S("AddType"), AddType);
    ini.WriteInteger(b, S("GridCaptionRow"), GridCaptionRow);
    ini.WriteInteger(b, S("GridStartRow"), GridStartRow);
    ini.WriteBool(b, S("AutoTrimValue"), AutoTrimValue);
    ini.WriteBool(b, S("ImportEmptyRows"), ImportEmptyRows);
    ini.WriteBool(b, S("AllowDuplicates"), AllowDuplicates);
    for (int i = 0; i < Map.size(); ++i) ini.WriteString(S("MAP"), MapName(i), MapValue(i));
    vaccoraWriteBaseFormats(ini, Formats);
    for (const TImportFieldFormat& f : FieldFormats.Items) {
        const QString name = f.FieldName.toUpper();
        const QString sec = S("DATA_FORMATS_") + name;
        ini.WriteInteger(sec, S("GeneratorValue"), f.GeneratorValue);
        ini.WriteInteger(sec, S("GeneratorStep"), f.GeneratorStep);
        ini.WriteString(sec, S("ConstantValue"), f.ConstantValue);
        ini.WriteString(sec, S("NullValue"), f.NullValue);
        ini.WriteString(sec, S("DefaultValue"), f.DefaultValue);
        ini.WriteString(sec, S("LeftQuote"), f.LeftQuote);
        ini.WriteString(sec, S("RightQuote"), f.RightQuote);
        ini.WriteInteger(sec, S("QuoteAction"), f.QuoteAction);
        ini.WriteInteger(sec, S("CharCase"), f.CharCase);
        ini.WriteInteger(sec, S("CharSet"), f.CharSet);
        ini.WriteInteger(sec, S("Functions"), f.Functions);
        for (size_t i = 0; i < f.Replacements.size(); ++i) {
            const QString rs = S("REPLACEMENTS_") + name + QLatin1Char('_') + QString::number(i);
            ini.WriteString(rs, S("TextToFind"), f.Replacements[i].TextToFind);
            ini.WriteString(rs, S("TextToFindHex"), hex(f.Replacements[i].TextToFind));
            ini.WriteString(rs, S("ReplaceWith"), f.Replacements[i].ReplaceWith);
            ini.WriteString(rs, S("ReplaceWithHex"), hex(f.Replacements[i].ReplaceWith));
            ini.WriteBool(rs, S("IgnoreCase"), f.Replacements[i].IgnoreCase);
        }
    }
    for (const QString& k : KeyColumns) ini.WriteString(S("KeyColumns"), k, QString());
}

void TImportEngine::ReadSettings(TImportIniFile& ini) {
    const QString b = S("BASE");
    SetFileName(ini.ReadString(b, S("FileName"), m_fileName));
    CommitAfterDone = ini.ReadBool(b, S("CommitAfterDone"), CommitAfterDone);
    CommitRecCount = ini.ReadInteger(b, S("CommitRecCount"), CommitRecCount);
    ImportRecCount = ini.ReadInteger(b, S("ImportRecCount"), ImportRecCount);
    ErrorLog = ini.ReadBool(b, S("ErrorLog"), ErrorLog);
    ErrorLogFileName = ini.ReadString(b, S("ErrorLogFileName"), ErrorLogFileName);
    RewriteErrorLogFile = ini.ReadBool(b, S("RewriteErrorLogFile"), RewriteErrorLogFile);
    ShowErrorLog = ini.ReadBool(b, S("ShowErrorLog"), ShowErrorLog);
    int dest = ini.ReadInteger(b, S("ImportDestination"), ImportDestination);
    if (dest >= qidDataSet && dest <= qidUserDefined) ImportDestination = (TImportDestination)dest;
    int mode = ini.ReadInteger(b, S("ImportMode"), ImportMode);
    if (mode >= qimInsertAll && mode <= qimDeleteOrInsert) ImportMode = (TImportMode)mode;
    int add = ini.ReadInteger(b, S("AddType"), AddType);
    if (add == qatAppend || add == qatInsert) AddType = (TImportAddType)add;
    GridCaptionRow = ini.ReadInteger(b, S("GridCaptionRow"), GridCaptionRow);
    GridStartRow = ini.ReadInteger(b, S("GridStartRow"), GridStartRow);
    AutoTrimValue = ini.ReadBool(b, S("AutoTrimValue"), AutoTrimValue);
    ImportEmptyRows = ini.ReadBool(b, S("ImportEmptyRows"), ImportEmptyRows);
    AllowDuplicates = ini.ReadBool(b, S("AllowDuplicates"), AllowDuplicates);
    if (ini.SectionExists(S("MAP"))) {
        Map.clear();
        for (const QString& k : ini.Keys(S("MAP"))) Map << k + QLatin1Char('=') + ini.ReadString(S("MAP"), k, QString());
    }
    const QString bf = S("BASE_FORMATS");
    Formats.DecimalSeparator = ini.ReadChar(bf, S("DecimalSeparator"), Formats.DecimalSeparator);
    Formats.ThousandSeparator = ini.ReadChar(bf, S("ThousandSeparator"), Formats.ThousandSeparator);
    Formats.ShortDateFormat = ini.ReadString(bf, S("ShortDateFormat"), Formats.ShortDateFormat);
    Formats.LongDateFormat = ini.ReadString(bf, S("LongDateFormat"), Formats.LongDateFormat);
    Formats.DateSeparator = ini.ReadChar(bf, S("DateSeparator"), Formats.DateSeparator);
    Formats.ShortTimeFormat = ini.ReadString(bf, S("ShortTimeFormat"), Formats.ShortTimeFormat);
    Formats.LongTimeFormat = ini.ReadString(bf, S("LongTimeFormat"), Formats.LongTimeFormat);
    Formats.TimeSeparator = ini.ReadChar(bf, S("TimeSeparator"), Formats.TimeSeparator);
    if (ini.SectionExists(S("BOOLEAN_TRUE"))) Formats.BooleanTrue = ini.Keys(S("BOOLEAN_TRUE"));
    if (ini.SectionExists(S("BOOLEAN_FALSE"))) Formats.BooleanFalse = ini.Keys(S("BOOLEAN_FALSE"));
    if (ini.SectionExists(S("NULL_VALUES"))) Formats.NullValues = ini.Keys(S("NULL_VALUES"));
    const QStringList sections = ini.Sections();
    for (const QString& sec : sections) {
        if (!sec.startsWith(S("DATA_FORMATS_"), Qt::CaseInsensitive)) continue;
        QString field = sec.mid(13);
        TImportFieldFormat* f = FieldFormats.Find(field);
        if (!f) f = &FieldFormats.Add(field);
        f->Replacements.clear();
        f->GeneratorValue = ini.ReadInt64(sec, S("GeneratorValue"), f->GeneratorValue);
        f->GeneratorStep = ini.ReadInteger(sec, S("GeneratorStep"), f->GeneratorStep);
        f->ConstantValue = ini.ReadString(sec, S("ConstantValue"), f->ConstantValue);
        f->NullValue = ini.ReadString(sec, S("NullValue"), f->NullValue);
        f->DefaultValue = ini.ReadString(sec, S("DefaultValue"), f->DefaultValue);
        f->LeftQuote = ini.ReadString(sec, S("LeftQuote"), f->LeftQuote);
        f->RightQuote = ini.ReadString(sec, S("RightQuote"), f->RightQuote);
        f->QuoteAction = (TQuoteAction)qBound(0, ini.ReadInteger(sec, S("QuoteAction"), f->QuoteAction), 2);
        f->CharCase = (TImportCharCase)qBound(0, ini.ReadInteger(sec, S("CharCase"), f->CharCase), 4);
        f->CharSet = (TImportCharSet)qBound(0, ini.ReadInteger(sec, S("CharSet"), f->CharSet), 2);
        f->Functions = (TImportFunctions)qBound(0, ini.ReadInteger(sec, S("Functions"), f->Functions), 5);
    }
    for (const QString& sec : sections) {
        if (!sec.startsWith(S("REPLACEMENTS_"), Qt::CaseInsensitive)) continue;
        int last = sec.lastIndexOf(QLatin1Char('_'));
        if (last < 13) continue;
        TImportFieldFormat* f = FieldFormats.Find(sec.mid(13, last - 13));
        if (!f) continue;
        TImportReplacement r;
        r.TextToFind = ini.ValueExists(sec, S("TextToFindHex")) ? unhex(ini.ReadString(sec, S("TextToFindHex"), QString()))
                                                               : ini.ReadString(sec, S("TextToFind"), QString());
        r.ReplaceWith = ini.ValueExists(sec, S("ReplaceWithHex")) ? unhex(ini.ReadString(sec, S("ReplaceWithHex"), QString()))
                                                                 : ini.ReadString(sec, S("ReplaceWith"), QString());
        r.IgnoreCase = ini.ReadBool(sec, S("IgnoreCase"), false);
        f->Replacements.push_back(r);
    }
    if (ini.SectionExists(S("KeyColumns"))) KeyColumns = ini.Keys(S("KeyColumns"));
}
