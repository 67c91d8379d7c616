#include "import/engine/ImportSetup.h"

#include "import/engine/ImportIni.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

const char* const kMapSection[kAllowedImportCount] = {"XLS_MAP", "DBF_MAP", "XML_MAP", "TXT_MAP",
                                                       "CSV_MAP", "ACCESS_MAP", "HTML_MAP", "XML_DOC_MAP",
                                                       "XLSX_MAP", "DOCX_MAP", "ODS_MAP", "ODT_MAP"};
const char* const kOptionSection[kAllowedImportCount] = {
    "XLS_OPTIONS", "DBF_OPTIONS", "XML_OPTIONS", "ASCII_OPTIONS", "CSV_OPTIONS", "ACCESS_OPTIONS",
    "HTML_OPTIONS", "XML_DOC_OPTIONS", "XLSX_OPTIONS", "DOCX_OPTIONS", "ODS_OPTIONS", "ODT_OPTIONS"};

QString S(const char* s) { return QString::fromLatin1(s); }

constexpr int kDataFormatsPrefixLength = 13;  // "DATA_FORMATS_"

bool positiveNumber(const QString& s) {
    bool ok;
    int v = s.trimmed().toInt(&ok);
    return ok && v > 0;
}

bool positiveLength(const QString& s) {
    int semi = s.indexOf(QLatin1Char(';'));
    if (semi < 0) return false;
    bool ok;
    int len = s.mid(semi + 1).trimmed().toInt(&ok);
    return ok && len > 0;
}

// Whether a map entry of a kind is written / handed over.
bool mapped(TAllowedImport kind, const QString& locator) {
    switch (kind) {
    case aiTXT: return positiveLength(locator);
    case aiCSV:
    case aiHTML:
    case aiXMLDoc: return positiveNumber(locator) || (kind == aiXMLDoc && !locator.trimmed().isEmpty());
    default: return !locator.trimmed().isEmpty();
    }
}

QString boolText(bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); }

}  // namespace

// ---------------------------------------------------------------------------

QString TImportKindSetup::Locator(const QString& field) const {
    for (const auto& p : Map)
        if (p.first.compare(field, Qt::CaseInsensitive) == 0) return p.second;
    return QString();
}

void TImportKindSetup::SetLocator(const QString& field, const QString& locator) {
    for (auto it = Map.begin(); it != Map.end(); ++it) {
        if (it->first.compare(field, Qt::CaseInsensitive) == 0) {
            if (locator.isEmpty()) Map.erase(it);
            else it->second = locator;
            return;
        }
    }
    if (!locator.isEmpty()) Map.emplace_back(field, locator);
}

TImportSetup::TImportSetup() : Formats(TImportFormats::ProgramDefaults()) {
    // starting values of the option pages
    Kinds[aiTXT].Options.insert(S("Delimiter"), QString(QChar(0)));
    Kinds[aiTXT].Options.insert(S("Quote"), S("\""));
    Kinds[aiCSV].Options.insert(S("Delimiter"), S(","));
    Kinds[aiCSV].Options.insert(S("Quote"), S("\""));
    Kinds[aiDBF].Options.insert(S("SkipDeleted"), S("1"));
    Kinds[aiXlsx].Options.insert(S("SheetName"), S("Sheet1"));
    Kinds[aiODS].Options.insert(S("SheetName"), S("Sheet1"));
    Kinds[aiODT].Options.insert(S("SheetName"), S("Table1"));
}

bool TImportSetup::acceptsField(const QString& name) const {
    return DestinationFields.isEmpty() || DestinationFields.contains(name, Qt::CaseInsensitive);
}

QString TImportSetup::destinationName(const QString& name) const {
    for (const QString& f : DestinationFields)
        if (f.compare(name, Qt::CaseInsensitive) == 0) return f;
    return name;
}

QStringList TImportSetup::MapLines() const {
    QStringList lines;
    for (const auto& p : Current().Map)
        if (mapped(Kind, p.second)) lines << p.first + QLatin1Char('=') + p.second.trimmed();
    return lines;
}

bool TImportSetup::MappingUsable() const {
    if (Kind == aiAccess) {
        const TImportOptions& o = Current().Options;
        bool source = o.value(S("SourceType")).toInt() == 1 ? !AccessSQL.join(QString()).trimmed().isEmpty()
                                                            : !o.value(S("TableName")).isEmpty();
        return source && !MapLines().isEmpty();
    }
    return !MapLines().isEmpty();
}

// ---- saving -----------------------------------------------------------------------

void TImportSetup::SaveTemplate(const QString& fileName) const {
    if (fileName.trimmed().isEmpty()) return;
    TImportIniFile ini(fileName);
    ini.Clear();
    WriteTemplate(ini);
    ini.SaveAs(fileName);
}

void TImportSetup::WriteTemplate(TImportIniFile& ini) const {
    const QString first = S("FIRST_STEP");
    ini.WriteInteger(first, S("ImportType"), (int)Kind);
    ini.WriteString(first, S("FileName"), FileName);
    ini.WriteBool(first, S("GoToLastPage"), GoToLastPage);
    ini.WriteBool(first, S("AutoSaveTemplate"), AutoSaveTemplate);

    const TImportKindSetup& k = Current();
    const QString mapSec = S(kMapSection[Kind]);
    const QString optSec = S(kOptionSection[Kind]);
    auto opt = [&](const char* key) { return k.Options.value(S(key)); };
    auto optInt = [&](const char* key) { return opt(key).toInt(); };
    auto optBool = [&](const char* key) { return opt(key).toInt() != 0; };
    auto optChar = [&](const char* key, QChar def) {
        QString v = opt(key);
        return v.isEmpty() ? def : v[0];
    };
    auto writeMap = [&]() {
        if (Kind == aiXMLDoc) {
            int n = 0;
            for (const auto& p : k.Map)
                if (mapped(Kind, p.second))
                    ini.WriteString(mapSec, S("IW_XML_DOC_MAP_LINE_") + QString::number(n++),
                                    p.first + QLatin1Char('=') + p.second);
            return;
        }
        for (const auto& p : k.Map)
            if (mapped(Kind, p.second)) ini.WriteString(mapSec, p.first, p.second);
    };
    switch (Kind) {
    case aiXLS:
        writeMap();
        ini.WriteInteger(optSec, S("SkipCols"), optInt("SkipCols"));
        ini.WriteInteger(optSec, S("SkipRows"), optInt("SkipRows"));
        break;
    case aiDBF:
        ini.WriteBool(optSec, S("SkipDeleted"), optBool("SkipDeleted"));
        writeMap();
        break;
    case aiXML:
        ini.WriteBool(optSec, S("WriteOnFly"), optBool("WriteOnFly"));
        writeMap();
        break;
    case aiTXT:
        writeMap();
        ini.WriteInteger(optSec, S("SkipLines"), optInt("SkipLines"));
        ini.WriteInteger(optSec, S("Encoding"), optInt("Encoding"));
        break;
    case aiCSV:
        writeMap();
        ini.WriteInteger(optSec, S("SkipLines"), optInt("SkipLines"));
        ini.WriteChar(optSec, S("Delimiter"), optChar("Delimiter", QLatin1Char(',')));
        ini.WriteChar(optSec, S("Quote"), optChar("Quote", QLatin1Char('"')));
        // the encoding, so that a reloaded CSV template decodes its letters
        ini.WriteInteger(optSec, S("Encoding"), optInt("Encoding"));
        break;
    case aiAccess:
        ini.WriteString(optSec, S("Password"), opt("Password"));
        ini.WriteInteger(optSec, S("SourceType"), optInt("SourceType"));
        if (optInt("SourceType") == 0 && !opt("TableName").isEmpty())
            ini.WriteString(optSec, S("TableName"), opt("TableName"));
        writeMap();
        for (int i = 0; i < AccessSQL.size(); ++i)
            ini.WriteString(S("ACCESS_SQL"), S("Line_") + QString::number(i), AccessSQL[i]);
        break;
    case aiHTML:
        writeMap();
        ini.WriteInteger(optSec, S("SkipLines"), optInt("SkipLines"));
        break;
    case aiXMLDoc:
        ini.WriteString(optSec, S("IW_XML_DOC_XPATH"), opt("XPath"));
        ini.WriteString(optSec, S("IW_XML_DOC_DATALOCATION"), opt("DataLocation"));
        ini.WriteInteger(optSec, S("IW_XML_DOC_SKIPLINES"), optInt("SkipLines"));
        writeMap();
        break;
    case aiXlsx:
        writeMap();
        ini.WriteInteger(optSec, S("SkipLines"), optInt("SkipLines"));
        ini.WriteString(optSec, S("SheetName"), opt("SheetName"));
        ini.WriteBool(optSec, S("NeedFillMerge"), optBool("NeedFillMerge"));
        ini.WriteBool(optSec, S("LoadHiddenSheet"), optBool("LoadHiddenSheet"));
        break;
    case aiDocx:
        writeMap();
        ini.WriteInteger(optSec, S("SkipLines"), optInt("SkipLines"));
        ini.WriteInteger(optSec, S("TableNumber"), optInt("TableNumber"));
        break;
    case aiODS:
        writeMap();
        ini.WriteInteger(optSec, S("SkipLines"), optInt("SkipLines"));
        ini.WriteString(optSec, S("SheetName"), opt("SheetName"));
        break;
    case aiODT:
        writeMap();
        ini.WriteInteger(optSec, S("SkipLines"), optInt("SkipLines"));
        ini.WriteString(optSec, S("SheetName"), opt("SheetName"));
        ini.WriteBool(optSec, S("UseHeader"), optBool("UseHeader"));
        break;
    }

    vaccoraWriteBaseFormats(ini, Formats);

    for (const TImportFieldFormat& f : FieldFormats.Items) {
        const QString name = f.FieldName.toUpper();
        const QString sec = S("DATA_FORMATS_") + name;
        if (f.GeneratorStep != 0) {
            ini.WriteInteger(sec, S("GeneratorValue"), f.GeneratorValue);
            ini.WriteInteger(sec, S("GeneratorStep"), f.GeneratorStep);
            continue;
        }
        if (!f.ConstantValue.isEmpty()) ini.WriteString(sec, S("ConstantValue"), f.ConstantValue);
        else if (!f.NullValue.isEmpty() && !f.DefaultValue.isEmpty()) {
            ini.WriteString(sec, S("NullValue"), f.NullValue);
            ini.WriteString(sec, S("DefaultValue"), f.DefaultValue);
        }
        if (!f.LeftQuote.isEmpty()) ini.WriteString(sec, S("LeftQuote"), f.LeftQuote);
        if (!f.RightQuote.isEmpty()) ini.WriteString(sec, S("RightQuote"), f.RightQuote);
        if (f.QuoteAction != qaNone) ini.WriteInteger(sec, S("QuoteAction"), (int)f.QuoteAction);
        if (f.CharCase != iccNone) ini.WriteInteger(sec, S("CharCase"), (int)f.CharCase);
        if (f.CharSet != icsNone) ini.WriteInteger(sec, S("CharSet"), (int)f.CharSet);
        for (size_t i = 0; i < f.Replacements.size(); ++i) {
            const QString rs = S("REPLACEMENTS_") + name + QLatin1Char('_') + QString::number(i);
            ini.WriteString(rs, S("TextToFind"), f.Replacements[i].TextToFind);
            ini.WriteString(rs, S("ReplaceWith"), f.Replacements[i].ReplaceWith);
            ini.WriteBool(rs, S("IgnoreCase"), f.Replacements[i].IgnoreCase);
        }
    }

    const QString last = S("LAST_STEP");
    ini.WriteBool(last, S("CommitAfterDone"), CommitAfterDone);
    ini.WriteInteger(last, S("CommitRecCount"), CommitRecCount);
    ini.WriteInteger(last, S("ImportRecCount"), ImportRecCount);
    ini.WriteBool(last, S("CloseAfterImport"), CloseAfterImport);
    ini.WriteBool(last, S("EnableErrorLog"), ErrorLog);
    ini.WriteString(last, S("ErrorLogFileName"), ErrorLogFileName);
    ini.WriteBool(last, S("RewriteErrorLogFile"), RewriteErrorLogFile);
    ini.WriteBool(last, S("ShowErrorLog"), ShowErrorLog);
    ini.WriteBool(last, S("AutoTrimValue"), AutoTrimValue);
    ini.WriteBool(last, S("ImportEmptyRows"), ImportEmptyRows);
    ini.WriteInteger(last, S("ImportMode"), (int)ImportMode);
    ini.WriteInteger(last, S("AddType"), (int)AddType);
    for (const QString& k : KeyColumns) ini.WriteString(S("KeyColumns"), k, QString());
}

// ---- loading -------------------------------------------------------------------------

void TImportSetup::LoadTemplate(const QString& fileName) {
    if (!QFileInfo(fileName).isFile()) throw EImportError(ImportFmt(SFileDoesNotExist, {fileName}));
    TImportIniFile ini(fileName);
    ReadTemplate(ini);
}

void TImportSetup::ReadTemplate(const TImportIniFile& ini) {
    const QString first = S("FIRST_STEP");
    FileName = ini.ReadString(first, S("FileName"), FileName);
    if (!Component.GoToLastPage) GoToLastPage = ini.ReadBool(first, S("GoToLastPage"), false);
    if (!Component.AutoSaveTemplate) AutoSaveTemplate = ini.ReadBool(first, S("AutoSaveTemplate"), false);
    int type = ini.ReadInteger(first, S("ImportType"), 0);
    Kind = type >= 0 && type < kAllowedImportCount ? (TAllowedImport)type : aiXLS;

    TImportKindSetup& k = Current();
    const QString mapSec = S(kMapSection[Kind]);
    const QString optSec = S(kOptionSection[Kind]);
    TImportOptions& o = k.Options;
    auto readInt = [&](const char* key, const char* to = nullptr) {
        o.insert(S(to ? to : key), QString::number(ini.ReadInteger(optSec, S(key), 0)));
    };
    auto readBool = [&](const char* key, bool def = false) {
        o.insert(S(key), boolText(ini.ReadBool(optSec, S(key), def)));
    };
    auto readText = [&](const char* key, const QString& def, const char* to = nullptr) {
        o.insert(S(to ? to : key), ini.ReadString(optSec, S(key), def));
    };

    k.Map.clear();
    if (Kind == aiXMLDoc) {
        for (const QString& key : ini.Keys(mapSec)) {
            if (!key.startsWith(S("IW_XML_DOC_MAP_LINE_"), Qt::CaseInsensitive)) continue;
            QString line = ini.ReadString(mapSec, key, QString());
            int eq = line.indexOf(QLatin1Char('='));
            if (eq <= 0) continue;
            QString field = line.left(eq).trimmed();
            if (acceptsField(field)) k.SetLocator(destinationName(field), line.mid(eq + 1));
        }
    } else {
        for (const QString& key : ini.Keys(mapSec))
            if (acceptsField(key)) k.SetLocator(destinationName(key), ini.ReadString(mapSec, key, QString()));
    }

    switch (Kind) {
    case aiXLS: readInt("SkipCols"); readInt("SkipRows"); break;
    case aiDBF: readBool("SkipDeleted", true); break;
    case aiXML: readBool("WriteOnFly"); break;
    case aiTXT: readInt("SkipLines"); readInt("Encoding"); break;
    case aiCSV: {
        readInt("SkipLines");
        QString delim = o.value(S("Delimiter"));
        QChar cur = delim.isEmpty() ? QLatin1Char(',') : delim[0];
        o.insert(S("Delimiter"), QString(ini.ReadChar(optSec, S("Delimiter"), cur)));
        // a missing or empty quote means the double quote
        QString q = ini.ReadString(optSec, S("Quote"), QString());
        o.insert(S("Quote"), QString(TImportIniFile::DecodeChar(q, QLatin1Char('"'))));
        // a template without the encoding keeps the current one
        if (ini.ValueExists(optSec, S("Encoding")))
            o.insert(S("Encoding"), QString::number(ini.ReadInteger(optSec, S("Encoding"), o.value(S("Encoding")).toInt())));
        break;
    }
    case aiAccess: {
        readText("Password", QString());
        readInt("SourceType");
        readText("TableName", QString());
        AccessSQL.clear();
        for (int i = 0;; ++i) {
            QString key = S("Line_") + QString::number(i);
            if (!ini.ValueExists(S("ACCESS_SQL"), key)) break;
            AccessSQL << ini.ReadString(S("ACCESS_SQL"), key, QString());
        }
        break;
    }
    case aiHTML: readInt("SkipLines"); break;
    case aiXMLDoc:
        readText("IW_XML_DOC_XPATH", QString(), "XPath");
        readText("IW_XML_DOC_DATALOCATION", o.value(S("DataLocation")), "DataLocation");
        o.insert(S("SkipLines"), QString::number(ini.ReadInteger(optSec, S("IW_XML_DOC_SKIPLINES"),
                                                                 o.value(S("SkipLines")).toInt())));
        break;
    case aiXlsx:
        readInt("SkipLines");
        readText("SheetName", S("Sheet1"));
        readBool("NeedFillMerge");
        readBool("LoadHiddenSheet");
        break;
    case aiDocx: readInt("SkipLines"); readInt("TableNumber"); break;
    case aiODS: readInt("SkipLines"); readText("SheetName", S("Sheet1")); break;
    case aiODT:
        readInt("SkipLines");
        readText("SheetName", S("Table1"));
        readBool("UseHeader");
        break;
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
    Formats.BooleanTrue = ini.Keys(S("BOOLEAN_TRUE"));
    Formats.BooleanFalse = ini.Keys(S("BOOLEAN_FALSE"));
    Formats.NullValues = ini.Keys(S("NULL_VALUES"));

    const QStringList sections = ini.Sections();
    auto formatFor = [&](const QString& field) -> TImportFieldFormat* {
        if (field.isEmpty() || !acceptsField(field)) return nullptr;
        QString name = destinationName(field);
        TImportFieldFormat* f = FieldFormats.Find(name);
        return f ? f : &FieldFormats.Add(name);
    };
    for (const QString& sec : sections) {
        if (!sec.contains(S("DATA_FORMATS_"), Qt::CaseInsensitive)) continue;
        int at = sec.indexOf(S("DATA_FORMATS_"), 0, Qt::CaseInsensitive);
        TImportFieldFormat* f = formatFor(sec.mid(at + kDataFormatsPrefixLength));
        if (!f) continue;
        f->Replacements.clear();
        f->GeneratorValue = ini.ReadInt64(sec, S("GeneratorValue"), f->GeneratorValue);
        f->GeneratorStep = ini.ReadInteger(sec, S("GeneratorStep"), f->GeneratorStep);
        f->ConstantValue = ini.ReadString(sec, S("ConstantValue"), f->ConstantValue);
        f->NullValue = ini.ReadString(sec, S("NullValue"), f->NullValue);
        f->DefaultValue = ini.ReadString(sec, S("DefaultValue"), f->DefaultValue);
        f->LeftQuote = ini.ReadString(sec, S("LeftQuote"), f->LeftQuote);
        f->RightQuote = ini.ReadString(sec, S("RightQuote"), f->RightQuote);
        int qa = ini.ReadInteger(sec, S("QuoteAction"), f->QuoteAction);
        if (qa >= qaNone && qa <= qaRemove) f->QuoteAction = (TQuoteAction)qa;
        int cc = ini.ReadInteger(sec, S("CharCase"), f->CharCase);
        if (cc >= iccNone && cc <= iccUpperFirstWord) f->CharCase = (TImportCharCase)cc;
        int cs = ini.ReadInteger(sec, S("CharSet"), f->CharSet);
        if (cs >= icsNone && cs <= icsOem) f->CharSet = (TImportCharSet)cs;
    }
    for (const QString& sec : sections) {
        if (!sec.startsWith(S("REPLACEMENTS_"), Qt::CaseInsensitive)) continue;
        int lastUnderscore = sec.lastIndexOf(QLatin1Char('_'));
        const int prefix = 13;  // "REPLACEMENTS_"
        if (lastUnderscore < prefix) continue;
        TImportFieldFormat* f = formatFor(sec.mid(prefix, lastUnderscore - prefix));
        if (!f) continue;
        TImportReplacement r;
        r.TextToFind = ini.ReadString(sec, S("TextToFind"), QString());
        r.ReplaceWith = ini.ReadString(sec, S("ReplaceWith"), QString());
        r.IgnoreCase = ini.ReadBool(sec, S("IgnoreCase"), false);
        bool present = false;
        for (const auto& x : f->Replacements) present = present || x == r;
        if (!present) f->Replacements.push_back(r);
    }

    const QString last = S("LAST_STEP");
    CommitRecCount = ini.ReadInteger(last, S("CommitRecCount"), CommitRecCount);
    ImportRecCount = ini.ReadInteger(last, S("ImportRecCount"), ImportRecCount);
    ErrorLog = ini.ReadBool(last, S("EnableErrorLog"), ErrorLog);
    ErrorLogFileName = ini.ReadString(last, S("ErrorLogFileName"), ErrorLogFileName);
    AutoTrimValue = ini.ReadBool(last, S("AutoTrimValue"), AutoTrimValue);
    ImportEmptyRows = ini.ReadBool(last, S("ImportEmptyRows"), ImportEmptyRows);
    int mode = ini.ReadInteger(last, S("ImportMode"), ImportMode);
    if (mode >= qimInsertAll && mode <= qimDeleteOrInsert) ImportMode = (TImportMode)mode;
    int add = ini.ReadInteger(last, S("AddType"), AddType);
    if (add == qatAppend || add == qatInsert) AddType = (TImportAddType)add;
    if (!Component.CommitAfterDone) CommitAfterDone = ini.ReadBool(last, S("CommitAfterDone"), false);
    if (!Component.CloseAfterImport) CloseAfterImport = ini.ReadBool(last, S("CloseAfterImport"), false);
    if (!Component.RewriteErrorLogFile) RewriteErrorLogFile = ini.ReadBool(last, S("RewriteErrorLogFile"), false);
    if (!Component.ShowErrorLog) ShowErrorLog = ini.ReadBool(last, S("ShowErrorLog"), true);

    KeyColumns = ini.Keys(S("KeyColumns"));
}

// ---- configuring an engine ---------------------------------------------------------------

QString TImportSetup::ResolvedErrorLogFileName() const {
    const QString& name = ErrorLogFileName;
    if (name.isEmpty()) return name;
    QFileInfo info(name);
    bool hasDir = name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'));
    if (hasDir && info.absoluteDir().exists()) return name;
    QString dir = ProgramDirectory;
    if (dir.isEmpty())
        dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    return QDir(dir).filePath(info.isRelative() ? name : info.fileName());
}

void TImportSetup::ConfigureEngine(TImportEngine& e, TIBTable* dataSet, TImportScriptEngine* scriptEngine) const {
    e.DataSet = dataSet;
    e.AutoTrimValue = AutoTrimValue;
    e.ImportEmptyRows = ImportEmptyRows;
    e.ScriptEngine = scriptEngine;
    e.ImportDestination = qidDataSet;
    e.GridCaptionRow = -1;
    e.GridStartRow = -1;
    e.SetFileName(FileName);
    TImportOptions options = Current().Options;
    if (Kind == aiTXT) options.insert(S("Delimiter"), QString(QChar(0)));  // fixed width
    if (Kind == aiAccess) options.insert(S("SQL"), AccessSQL.join(QLatin1Char('\n')));
    e.ApplyOptions(Kind, options);
    e.Map = MapLines();
    e.KeyColumns = KeyColumns;
    e.Formats = Formats;
    for (const TImportFieldFormat& f : FieldFormats.Items) {
        if (TImportFieldFormat* existing = e.FieldFormats.Find(f.FieldName)) *existing = f;
        else if (!f.IsEmpty()) e.FieldFormats.Items.push_back(f);
    }
    e.CommitAfterDone = CommitAfterDone;
    e.CommitRecCount = CommitRecCount;
    e.ImportRecCount = ImportRecCount;
    e.ErrorLog = ErrorLog;
    e.ErrorLogFileName = ResolvedErrorLogFileName();
    e.ProgramDirectory = ProgramDirectory;
    e.RewriteErrorLogFile = RewriteErrorLogFile;
    e.ShowErrorLog = ShowErrorLog;
    e.ImportMode = ImportMode;
    e.AddType = AddType;
}
