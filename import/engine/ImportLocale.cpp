#include "import/engine/ImportEngine.h"

#include <QHash>

namespace {

QHash<int, QString>& table() {
    static QHash<int, QString> t = [] {
        QHash<int, QString> m;
        auto add = [&m](int id, const char* text) { m.insert(id, QString::fromUtf8(text)); };
        add(SDataSetNotDefined, "DataSet is not defined");
        add(SDBGridNotDefined, "DBGrid is not defined");
        add(SListViewNotDefined, "ListView is not defined");
        add(SStringGridNotDefined, "StrinGrid is not defined");
        add(SFileNameNotSpecified, "File name is not specified");
        add(SFileDoesNotExist, "File %s does not exist");
        add(SMapIsEmpty, "Map is empty");
        add(SColumnNotFoundInDestination, "Column %s is defined in the MAP is not found in the import destination");
        add(SKeyColumnsNotDefined, "Key columns are not defined");
        add(SKeyColumnNotFound, "Key column %s is not found in the import destination");
        add(SGridCaptionRowGreater, "GridCaptionRow cannot be greater than GridStartRow");
        add(SErrorLine, "%s - Line %d: %s");
        add(SImportStarted, "%s - Import process started");
        add(SImportFinished, "%s - Import process finished");
        add(SNoErrorFound, "No error found");
        add(SErrorsFound, "%d error(s) found");
        add(SBooleanTrue, "True");
        add(SBooleanFalse, "False");
        add(SNullValue, "Null");
        add(SUnknownFieldType, "Unknown field type");
        add(SWrongDateFormat, "Wrong date format \"%s\"");
        add(SNotABoolean, "The value \"%s\" is not a boolean value");
        add(SReplacementDisplay, "%s - %s");
        add(SNotAnInteger, "'%s' is not a valid integer value");
        add(SNotAFloat, "'%s' is not a valid floating point value");
        add(SAbortImportQuestion, "Are you sure you want to abort import?");
        add(SAbortImportCaption, "Are you sure...");
        add(SWrongFileType, "Wrong file type, must be \"%s\"");
        add(SClosedDestination, "Cannot perform this operation on a closed Import Destination");
        add(SAllowedImportsEmpty, "Property AllowedImports can not contain empty set");
        add(SWizardUserDefined, "Wizard does not work correctly if ImportDestination parameter equals to qidUserDefined value");
        add(SQuitQuestion, "Do you want to quit?");
        add(SQuestionCaption, "Question");
        add(STextToFindNotDefined, "Text to find must be defined");
        add(SWizardCaption, "Import data wizard");
        add(SImportFrom, "Import from");
        add(SStepOf, "Step %d of %d");
        add(SStatePreparing, "Preparing");
        add(SStateImporting, "Importing...");
        add(SStateAborted, "Aborted");
        add(SStateFinished, "Finished");
        add(SStatePaused, "Paused");
        add(SImportFinishedCaption, "Import finished");
        add(STemplateFilter, "Import template files (*.imp)| *.imp|All files (*.*)|*.*");
        add(SMissingMapDefinition, "Missing definition of map");
        add(SFailedToResetFile, "Failed to reset file.");
        add(SFileNameNotDefined, "File name is not defined");
        add(SFileNotFound, "File %s not found");
        add(SEncodingWithoutCodePage, "Encoding %s has no code page and cannot be read");
        add(SSourceNotBuilt, "Import from %s is not available in this build");
        return m;
    }();
    return t;
}

}  // namespace

QString TImportLocale::Text(int id) {
    auto it = table().constFind(id);
    if (it == table().constEnd()) return QStringLiteral("#%1").arg(id);
    return *it;
}

void TImportLocale::Register(int id, const QString& text) { table().insert(id, text); }

QString ImportFmt(const QString& fmt, std::initializer_list<QString> args) {
    QString out;
    out.reserve(fmt.size() + 32);
    auto arg = args.begin();
    const int n = fmt.size();
    for (int i = 0; i < n; ++i) {
        QChar c = fmt[i];
        if (c != QLatin1Char('%')) { out += c; continue; }
        if (i + 1 < n && fmt[i + 1] == QLatin1Char('%')) { out += c; ++i; continue; }
        // %[-][width][.prec]type
        int j = i + 1;
        while (j < n && (fmt[j] == QLatin1Char('-') || fmt[j] == QLatin1Char('.') || fmt[j].isDigit())) ++j;
        if (j < n && QStringLiteral("sdxXfguen").contains(fmt[j])) {
            if (arg != args.end()) out += *arg++;
            i = j;
        } else {
            out += c;
        }
    }
    return out;
}
