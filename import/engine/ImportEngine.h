// The import engine: the abstract base of every import source, the import
// row, the base and per-field formats, the message table and the events.
//
// A source derives from TImportEngine, implements the seven abstract row
// operations (BeginRows ... EndRows) and may override the others. The engine
// owns validation, preparation, the row loop, the import modes, posting into
// the destination, error capture, the error log, commit requests and events.
//
// Strings are QString (16-bit text). Field values travel as QVariant; an
// invalid QVariant is NULL. Dates are QDateTime in wall-clock form.
#pragma once

#include "data/Database.h"

#include <QChar>
#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <vector>

class TImportIniFile;  // import/engine/ImportIni.h
class TImportEngine;

// ---------------------------------------------------------------------------
// Message table

// Numbers of the message table entries used by the engine, the wizard and
// the sources. Sources with many reader texts of their own may register
// further entries (numbers from 43000 up) with TImportLocale::Register.
enum TImportMessage : int {
    // engine settings checks
    SDataSetNotDefined = 42000,         // "DataSet is not defined"
    SDBGridNotDefined,                  // "DBGrid is not defined"
    SListViewNotDefined,                // "ListView is not defined"
    SStringGridNotDefined,              // "StrinGrid is not defined"
    SFileNameNotSpecified,              // "File name is not specified"
    SFileDoesNotExist,                  // "File %s does not exist"
    SMapIsEmpty,                        // "Map is empty"
    SColumnNotFoundInDestination,       // "Column %s is defined in the MAP is not found in the import destination"
    SKeyColumnsNotDefined,              // "Key columns are not defined"
    SKeyColumnNotFound,                 // "Key column %s is not found in the import destination"
    SGridCaptionRowGreater,             // "GridCaptionRow cannot be greater than GridStartRow"
    // error log
    SErrorLine,                         // "%s - Line %d: %s"
    SImportStarted,                     // "%s - Import process started"
    SImportFinished,                    // "%s - Import process finished"
    SNoErrorFound,                      // "No error found"
    SErrorsFound,                       // "%d error(s) found"
    // conversion
    SBooleanTrue,                       // "True"
    SBooleanFalse,                      // "False"
    SNullValue,                         // "Null"
    SUnknownFieldType,                  // "Unknown field type"
    SWrongDateFormat,                   // "Wrong date format "%s""
    SNotABoolean,                       // "The value "%s" is not a boolean value"
    SReplacementDisplay,                // "%s - %s"
    SNotAnInteger,                      // ""%s" is not a valid integer value"
    SNotAFloat,                         // ""%s" is not a valid floating point value"
    // wizard
    SAbortImportQuestion,               // "Are you sure you want to abort import?"
    SAbortImportCaption,                // "Are you sure..."
    SWrongFileType,                     // "Wrong file type, must be "%s""
    SClosedDestination,                 // "Cannot perform this operation on a closed Import Destination"
    SAllowedImportsEmpty,               // "Property AllowedImports can not contain empty set"
    SWizardUserDefined,                 // "Wizard does not work correctly if ImportDestination parameter equals to qidUserDefined value"
    SQuitQuestion,                      // "Do you want to quit?"
    SQuestionCaption,                   // "Question"
    STextToFindNotDefined,              // "Text to find must be defined"
    SWizardCaption,                     // "Import data wizard"
    SImportFrom,                        // "Import from"
    SStepOf,                            // "Step %d of %d"
    SStatePreparing,                    // "Preparing"
    SStateImporting,                    // "Importing..."
    SStateAborted,                      // "Aborted"
    SStateFinished,                     // "Finished"
    SStatePaused,                       // "Paused"
    SImportFinishedCaption,             // "Import finished"
    STemplateFilter,                    // "Import template files (*.imp)| *.imp|All files (*.*)|*.*"
    // text sources
    SMissingMapDefinition,              // "Missing definition of map"
    SFailedToResetFile,                 // "Failed to reset file."
    SFileNameNotDefined,                // "File name is not defined"
    SFileNotFound,                      // "File %s not found"
    SEncodingWithoutCodePage,           // "Encoding %s has no code page and cannot be read"
    // command line
    SSourceNotBuilt,                    // "Import from %s is not available in this build"
    SLastEngineMessage
};

// The one locale object through which every message text is read.
class TImportLocale {
public:
    // Text of entry `id`; an unknown number gives "#<id>".
    static QString Text(int id);
    // Adds or replaces an entry (sources' own reader texts). Not thread-safe;
    // call at registration time only.
    static void Register(int id, const QString& text);
};

// Fills the place holders %s and %d (also %x, %2x, %.3d and the like) of a
// message in order with the given texts, as the message formatting of this
// program does. "%%" is one percent sign.
QString ImportFmt(const QString& fmt, std::initializer_list<QString> args);
inline QString ImportFmt(int id, std::initializer_list<QString> args) {
    return ImportFmt(TImportLocale::Text(id), args);
}

// ---------------------------------------------------------------------------
// Errors

// Settings errors and every error an import raises carry the message text.
class EImportError : public std::runtime_error {
public:
    explicit EImportError(const QString& msg) : std::runtime_error(msg.toStdString()), Message(msg) {}
    QString Message;
};

// ---------------------------------------------------------------------------
// Enumerations

enum TAllowedImport : int {
    aiXLS = 0, aiDBF, aiXML, aiTXT, aiCSV, aiAccess, aiHTML, aiXMLDoc, aiXlsx, aiDocx, aiODS, aiODT
};
constexpr int kAllowedImportCount = 12;

enum TImportDestination : int { qidDataSet = 0, qidDBGrid, qidListView, qidStringGrid, qidUserDefined };
enum TImportMode : int { qimInsertAll = 0, qimInsertNew, qimUpdate, qimUpdateOrInsert, qimDelete, qimDeleteOrInsert };
enum TImportAddType : int { qatAppend = 0, qatInsert };
enum TQuoteAction : int { qaNone = 0, qaAdd, qaRemove };
enum TImportCharCase : int { iccNone = 0, iccUpper, iccLower, iccUpperFirst, iccUpperFirstWord };
enum TImportCharSet : int { icsNone = 0, icsAnsi, icsOem };
enum TImportFunctions : int { ifNone = 0, ifDate, ifTime, ifDateTime, ifLongFileName, ifShortFileName };

// What the current row did to the destination (the progress window's codes).
enum TImportLastAction : int { ilaNone = 0, ilaInserted = 1, ilaEdited = 2, ilaDeleted = 3 };

// Outcome of WriteRow: Done (0), Failed (1), Stop (2).
enum class TImportResult : int { Done = 0, Failed = 1, Stop = 2 };

// ---------------------------------------------------------------------------
// Formats

struct TImportFormats {
    TImportFormats();  // the system values (see ImportFormats.cpp)
    QChar DecimalSeparator;
    QChar ThousandSeparator;
    QString ShortDateFormat;
    QString LongDateFormat;
    QChar DateSeparator;
    QString ShortTimeFormat;
    QString LongTimeFormat;
    QChar TimeSeparator;
    QStringList BooleanTrue;
    QStringList BooleanFalse;
    QStringList NullValues;

    // The program's configuration: ".", no-break space, "d.M.yyyy",
    // "d. MMMM yyyy", ".", "h:mm", "h:mm:ss", ":", True/False/Null.
    static TImportFormats ProgramDefaults();
    bool operator==(const TImportFormats&) const = default;
};

struct TImportReplacement {
    QString TextToFind;
    QString ReplaceWith;
    bool IgnoreCase = false;
    QString DisplayName() const;  // "%s - %s"
    bool operator==(const TImportReplacement&) const = default;
};
using TImportReplacements = std::vector<TImportReplacement>;

struct TImportFieldFormat {
    QString FieldName;
    qint64 GeneratorValue = 0;
    qint32 GeneratorStep = 0;
    QString ConstantValue;
    QString NullValue;
    QString DefaultValue;
    QString LeftQuote;
    QString RightQuote;
    TQuoteAction QuoteAction = qaNone;
    TImportCharCase CharCase = iccNone;
    TImportCharSet CharSet = icsNone;
    TImportReplacements Replacements;
    TImportFunctions Functions = ifNone;
    QStringList Script;

    bool IsEmpty() const;  // every field at its default (the name aside)
    bool operator==(const TImportFieldFormat&) const = default;
};

// Collection of field formats; items are found by FieldName ignoring case.
class TImportFieldFormats {
public:
    std::vector<TImportFieldFormat> Items;
    int Count() const { return (int)Items.size(); }
    TImportFieldFormat* Find(const QString& fieldName);
    const TImportFieldFormat* Find(const QString& fieldName) const;
    TImportFieldFormat& Add(const QString& fieldName);
    void Clear() { Items.clear(); }
    bool operator==(const TImportFieldFormats&) const = default;
};

// ---------------------------------------------------------------------------
// Import row

struct TImportCol {
    QString Name;              // the map key, trimmed
    QString Value;             // current value
    int DestinationIndex = -1; // destination column, -1 when none
    bool Marked = false;       // free for sources
};

// The ordered columns of one source row with two lookups by column name:
// name to column and name to the index of its map line.
class TImportRow {
public:
    int Count() const { return (int)m_cols.size(); }
    TImportCol& operator[](int i) { return m_cols[i]; }
    const TImportCol& operator[](int i) const { return m_cols[i]; }
    TImportCol* ColByName(const QString& name);             // nullptr when absent
    const TImportCol* ColByName(const QString& name) const;
    int MapIndex(const QString& name) const;                 // map line of the column, -1 when none
    void ClearValues();                                      // every value becomes empty
    bool SetValue(const QString& name, const QString& value); // false when no such column
    QString Value(const QString& name) const;

    // building (engine)
    void Clear(int expectedCount = 0);
    TImportCol& Add(const QString& name, int destinationIndex, int mapIndex);

private:
    std::vector<TImportCol> m_cols;
    QHash<QString, int> m_byName;
    QHash<QString, int> m_mapIndex;
};

// ---------------------------------------------------------------------------
// Value scripts

struct TImportScriptError {
    int Line = 0;
    int Column = 0;
    int Number = 0;
    QString Description;
    QString Text;
};

class TImportScriptEngine {
public:
    virtual ~TImportScriptEngine() = default;
    QString Script;
    QVariant InputValue;
    QString InputValueFlag;
    // evaluate: false when the evaluation raised (see LastError)
    virtual bool Evaluate(const QString& expression, QString& result) = 0;
    // fetch and clear the last error
    virtual void LastError(TImportScriptError& error) = 0;
    virtual void MakeLiteral(const QString& text, QString& literal) = 0;
};

// Expression evaluator on QJSEngine (the JScript role).
class TImportJScriptEngine : public TImportScriptEngine {
public:
    TImportJScriptEngine();
    ~TImportJScriptEngine() override;
    bool Evaluate(const QString& expression, QString& result) override;
    void LastError(TImportScriptError& error) override;
    void MakeLiteral(const QString& text, QString& literal) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// ---------------------------------------------------------------------------
// Kind-specific source options as the import setup hands them over.
//
// Keys per kind (values are texts; booleans "1"/"0"; characters are the
// character itself, possibly QChar(0)):
//   XLS    "SkipRows", "SkipCols"
//   DBF    "SkipDeleted"
//   XML    "WriteOnFly"
//   TXT    "SkipLines", "Encoding", "Delimiter" (QChar(0): fixed width), "Quote"
//   CSV    "SkipLines", "Encoding", "Delimiter", "Quote"
//   Access "Password", "SourceType", "TableName", "SQL" (lines joined by '\n')
//   HTML   "SkipLines", "TableNumber"
//   XMLDoc "XPath", "DataLocation", "SkipLines"
//   XLSX   "SkipLines", "SheetName", "NeedFillMerge", "LoadHiddenSheet"
//   DOCX   "SkipLines", "TableNumber"
//   ODS    "SkipLines", "SheetName"
//   ODT    "SkipLines", "SheetName", "UseHeader"
using TImportOptions = QHash<QString, QString>;

// ---------------------------------------------------------------------------
// The engine

class TImportEngine {
public:
    TImportEngine();
    virtual ~TImportEngine();
    TImportEngine(const TImportEngine&) = delete;
    TImportEngine& operator=(const TImportEngine&) = delete;

    // ---- the source contract, in this order --------------------------------
    virtual void UserDefinedRow();                     // 1  raises OnUserDefinedImport
    virtual void RowComplete();                        // 2  raises OnImportRowComplete
    virtual void PrepareImport();                      // 3  source: open, set TotalCount, then call base
    virtual void BeginRows() = 0;                      // 4
    virtual bool HasRow() = 0;                         // 5
    virtual bool SkipRow() = 0;                        // 6
    virtual void ReadRow() = 0;                        // 7
    virtual TImportResult WriteRow() = 0;              // 8  usually: return WriteRowPattern(...)
    virtual void NextRow() = 0;                        // 9
    virtual void EndRows() = 0;                        // 10 usually: FinalCommitRequest(), release readers
    virtual void CleanupImport();                      // 11 source: call base, then release files
    virtual void FileNameChanged();                    // 12
    virtual bool ValidateSettings();                   // 13 source: base first, then own checks
    virtual bool WantsRowComplete();                   // 14
    virtual void ReadSettings(TImportIniFile& ini);    // 15 source: base first, then own section
    virtual void WriteSettings(TImportIniFile& ini);   // 16 source: base first, then own section
    virtual void TextToFloat(const QString& text, TFieldType type, QVariant& value);    // 17
    virtual void TextToInteger(const QString& text, TFieldType type, QVariant& value);  // 18
    virtual void TextToDateTime(const QString& text, QVariant& value);                  // 19
    virtual void TextToString(const QString& text, TFieldType type, QVariant& value);   // 20
    virtual void TextToBytes(const QString& text, QVariant& value);                     // 21

    // ---- configuration hook (not part of the row contract) -----------------
    // Applies the kind's options of the import setup (keys above). The base
    // takes "SkipLines" / "SkipRows" into SkipFirstRows; a source overrides,
    // calls the base and takes its own keys. Missing keys keep the current value.
    virtual void ApplyOptions(TAllowedImport kind, const TImportOptions& options);

    // ---- run ------------------------------------------------------------------
    // Runs the import; true when it took place. Settings errors and failures
    // before the first row are raised as EImportError.
    bool Execute();

    // ---- settings ---------------------------------------------------------------
    const QString& FileName() const { return m_fileName; }
    void SetFileName(const QString& name);  // calls FileNameChanged when it differs

    QStringList Map;  // "column=locator" lines
    int SkipFirstRows = 0;
    TImportDestination ImportDestination = qidDataSet;
    TIBTable* DataSet = nullptr;
    int GridCaptionRow = -1;
    int GridStartRow = -1;
    TImportMode ImportMode = qimInsertAll;
    TImportAddType AddType = qatInsert;
    QStringList KeyColumns;
    bool AllowDuplicates = true;
    bool ImportEmptyRows = true;
    bool AutoTrimValue = false;
    int ImportRecCount = 0;
    int CommitRecCount = 1000;
    bool CommitAfterDone = false;
    bool ErrorLog = false;
    QString ErrorLogFileName = QStringLiteral("error.log");
    bool RewriteErrorLogFile = true;
    bool ShowErrorLog = false;
    TImportFormats Formats;
    TImportFieldFormats FieldFormats;
    TImportScriptEngine* ScriptEngine = nullptr;

    // Directory that a log name without a directory part goes to; empty
    // means the program's directory (QCoreApplication::applicationDirPath).
    QString ProgramDirectory;

    // ---- events ---------------------------------------------------------------
    std::function<void(TImportEngine&)> OnBeforeImport;
    std::function<void(TImportEngine&)> OnAfterImport;
    std::function<void(TImportEngine&, TImportRow&)> OnImportRowComplete;
    std::function<void(TImportEngine&, TImportRow&, bool& accept)> OnBeforePost;
    std::function<void(TImportEngine&, TImportRow&)> OnAfterPost;
    std::function<void(TImportEngine&)> OnImportRecord;
    std::function<void(TImportEngine&)> OnImportError;
    std::function<void(TImportEngine&)> OnImportErrorAdv;
    std::function<void(TImportEngine&)> OnNeedCommit;
    std::function<void(TImportEngine&, bool& continueImport)> OnImportCancel;
    std::function<void(TImportEngine&, const QStringList& keyColumns, TImportRow& row,
                       QString& keyFields, QVariant& keyValues)> OnDestinationLocate;
    std::function<void(TImportEngine&, TImportRow&)> OnUserDefinedImport;
    std::function<void(TImportEngine&, const TImportScriptError& error, const QString& colName,
                       bool& raiseError, QString& errorMessage)> OnScriptExecuteError;
    // Called with the path of the written log when ShowErrorLog is on (the
    // shell's open verb); without a handler the log is opened with the
    // desktop's default viewer when a display is available.
    std::function<void(const QString& path)> OnShowErrorLog;

    // ---- run state (read by sources, the wizard and the command line) ---------
    int LineNumber = 1;
    int HandledCount = 0;
    int TotalCount = 0;
    bool Canceled = false;   // set by the progress window's Cancel
    bool RowEmpty = true;
    TImportLastAction LastAction = ilaNone;
    int ErrorCount() const { return (int)m_errors.size(); }
    const QStringList& Errors() const { return m_errors; }
    int ValueErrorCount() const { return m_valueErrors; }  // conversion error lines of the last run
    TImportRow& Row() { return m_row; }
    bool RowFailed() const { return m_rowFailed; }
    QString ErrorLogPath() const { return m_logPath; }  // the resolved log file of the last run

    // ---- engine operations a source calls --------------------------------------
    void ApplyFieldFormat(TImportCol& col);
    void ImportRowToDestination();
    bool AskContinue();
    void CancelDestination();
    void ReportError(const std::exception& e);
    void ReportError(const QString& message);
    void RequestCommit();

    // The common WriteRow: cancellation test, ImportRowToDestination, error
    // capture, periodic commit request. `streaming` adds the Stop after
    // ImportRecCount rows for sources that cannot bound their rows.
    TImportResult WriteRowPattern(bool streaming);
    // The final commit request of EndRows (nothing when Canceled).
    void FinalCommitRequest();

    // Map helpers: name and locator of map line i ("name=locator").
    QString MapName(int i) const;
    QString MapValue(int i) const;
    // Locator of the map line of a row column, empty when none.
    QString MapValueOf(const QString& colName) const;

    // Destination columns (dataset: field list; user-defined: none).
    int DestinationColumnCount() const;
    QString DestinationColumnName(int i) const;
    int DestinationColumnIndex(const QString& name) const;

    // Converts one text for a destination field type (null words, empty
    // texts, the category's TextTo... operation). Throws on failure.
    QVariant ConvertText(const QString& text, TFieldType type);

    // A time stamp as in the log: short date, one space, short time.
    QString TimeStamp() const;

private:
    void buildRow();
    void openErrorLog();
    void closeErrorLog();
    void writeLogLine(const QString& line);
    void setValues();
    bool locate(bool duplicateTest);
    void convertKeys(const QStringList& fields, QVariantList& values);
    void logValueError(const QString& message);
    void runRows();

    QString m_fileName;
    TImportRow m_row;
    QStringList m_errors;
    int m_valueErrors = 0;
    bool m_rowFailed = false;
    QStringList m_duplicateCols;
    struct TGenerator {
        QString FieldName;
        qint64 Value = 0;
        qint64 Step = 0;
        bool First = true;
    };
    std::vector<TGenerator> m_generators;
    std::unique_ptr<QFile> m_log;
    QString m_logPath;
};
