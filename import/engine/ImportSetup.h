// The import setup: everything the import wizard's pages hold, without any
// user interface — source kind and file, each kind's options and map, base
// and field formats, the last page's options, key columns and the two
// template switches. It is saved to and loaded from template files (.imp)
// and configures the engine object of the chosen kind before a run. The
// wizard window and `vaccora import` share it.
#pragma once

#include "import/engine/ImportEngine.h"

#include <QPair>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

class TImportIniFile;

// One kind's page: its map (destination field -> locator, in field order)
// and its options (keys as listed with TImportOptions).
struct TImportKindSetup {
    std::vector<QPair<QString, QString>> Map;
    TImportOptions Options;

    QString Locator(const QString& field) const;  // empty when unmapped
    void SetLocator(const QString& field, const QString& locator);  // empty removes
};

// The wizard component's own switches, which decide how templates load.
// Values of the program's configuration.
struct TImportComponentSwitches {
    bool GoToLastPage = false;
    bool AutoSaveTemplate = false;
    bool CommitAfterDone = true;
    bool CloseAfterImport = false;
    bool RewriteErrorLogFile = true;
    bool ShowErrorLog = false;
};

class TImportSetup {
public:
    // Starts with the program's configuration of the wizard component.
    TImportSetup();

    TAllowedImport Kind = aiXLS;
    QString FileName;
    bool GoToLastPage = false;
    bool AutoSaveTemplate = false;
    std::array<TImportKindSetup, kAllowedImportCount> Kinds;
    QStringList AccessSQL;  // the Access page's query lines

    TImportFormats Formats;
    TImportFieldFormats FieldFormats;

    bool CommitAfterDone = true;
    int CommitRecCount = 1000;
    int ImportRecCount = 0;  // 0: import all records
    bool CloseAfterImport = false;
    bool ErrorLog = false;
    QString ErrorLogFileName = QStringLiteral("error.log");
    bool RewriteErrorLogFile = true;
    bool ShowErrorLog = false;
    bool AutoTrimValue = false;
    bool ImportEmptyRows = true;
    TImportMode ImportMode = qimInsertAll;
    TImportAddType AddType = qatInsert;
    QStringList KeyColumns;

    TImportComponentSwitches Component;
    // Destination fields (names of KU); map entries and field formats of
    // other names are ignored when loading. Empty: every name is accepted.
    QStringList DestinationFields;
    // Where log names are placed (empty: the program's directory).
    QString ProgramDirectory;

    TImportKindSetup& Current() { return Kinds[Kind]; }
    const TImportKindSetup& Current() const { return Kinds[Kind]; }

    // The kind's map as the engine's Map lines, in the page's order, with
    // the page's filter (lengths / numbers above 0, non-empty locators).
    QStringList MapLines() const;
    // Whether the kind's mapping page counts as usable.
    bool MappingUsable() const;

    // Saves the template (every existing section of the file erased first).
    // A name that is empty after trimming saves nothing.
    void SaveTemplate(const QString& fileName) const;
    // Loads a template; "File %s does not exist" when missing.
    void LoadTemplate(const QString& fileName);
    void WriteTemplate(TImportIniFile& ini) const;
    void ReadTemplate(const TImportIniFile& ini);

    // Copies the settings into the engine object of the kind, as the
    // wizard's Execute does; `dataSet` is the destination.
    void ConfigureEngine(TImportEngine& engine, TIBTable* dataSet, TImportScriptEngine* scriptEngine = nullptr) const;
    // The log file name as handed to the engine.
    QString ResolvedErrorLogFileName() const;

private:
    bool acceptsField(const QString& name) const;
    QString destinationName(const QString& name) const;  // the field's own spelling
};
