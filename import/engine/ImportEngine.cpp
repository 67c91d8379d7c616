#include "import/engine/ImportEngine.h"

#include "import/engine/ImportCharset.h"
#include "import/engine/ImportPlatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <thread>

namespace {

QString exceptionMessage(const std::exception& e) {
    if (auto* ie = dynamic_cast<const EImportError*>(&e)) return ie->Message;
    return QString::fromUtf8(e.what());
}

QString programDirectory(const QString& configured) {
    if (!configured.isEmpty()) return configured;
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
    QFileInfo exe(QStringLiteral("/proc/self/exe"));
    QString target = exe.symLinkTarget();
    return target.isEmpty() ? QDir::currentPath() : QFileInfo(target).absolutePath();
}

bool hasDirectoryPart(const QString& name) {
    return name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'));
}

}  // namespace

TImportEngine::TImportEngine() = default;

TImportEngine::~TImportEngine() = default;

void TImportEngine::SetFileName(const QString& name) {
    if (name == m_fileName) return;
    m_fileName = name;
    FileNameChanged();
}

// ---- contract: base behaviour ---------------------------------------------

void TImportEngine::UserDefinedRow() {
    if (OnUserDefinedImport) OnUserDefinedImport(*this, m_row);
}

void TImportEngine::RowComplete() {
    if (OnImportRowComplete) OnImportRowComplete(*this, m_row);
}

void TImportEngine::FileNameChanged() {}

bool TImportEngine::WantsRowComplete() { return true; }

void TImportEngine::ApplyOptions(TAllowedImport, const TImportOptions& options) {
    bool ok = false;
    for (const char* key : {"SkipLines", "SkipRows"}) {
        auto it = options.constFind(QLatin1String(key));
        if (it == options.constEnd()) continue;
        int v = it->toInt(&ok);
        if (ok) SkipFirstRows = v;
    }
}

bool TImportEngine::ValidateSettings() {
    switch (ImportDestination) {
    case qidDataSet:
        if (!DataSet) throw EImportError(TImportLocale::Text(SDataSetNotDefined));
        break;
    case qidDBGrid: throw EImportError(TImportLocale::Text(SDBGridNotDefined));
    case qidListView: throw EImportError(TImportLocale::Text(SListViewNotDefined));
    case qidStringGrid: throw EImportError(TImportLocale::Text(SStringGridNotDefined));
    case qidUserDefined: break;
    }
    if (m_fileName.isEmpty()) throw EImportError(TImportLocale::Text(SFileNameNotSpecified));
    if (!QFileInfo::exists(m_fileName)) throw EImportError(ImportFmt(SFileDoesNotExist, {m_fileName}));
    if (Map.isEmpty()) throw EImportError(TImportLocale::Text(SMapIsEmpty));
    if (ImportDestination != qidUserDefined) {
        for (int i = 0; i < Map.size(); ++i) {
            QString name = MapName(i);
            if (DestinationColumnIndex(name) < 0)
                throw EImportError(ImportFmt(SColumnNotFoundInDestination, {name}));
        }
    }
    if (ImportMode != qimInsertAll) {
        if (KeyColumns.isEmpty()) throw EImportError(TImportLocale::Text(SKeyColumnsNotDefined));
        for (const QString& k : KeyColumns)
            if (DestinationColumnIndex(k) < 0) throw EImportError(ImportFmt(SKeyColumnNotFound, {k}));
    }
    if (ImportDestination == qidStringGrid && GridStartRow >= 0 && GridStartRow < GridCaptionRow)
        throw EImportError(TImportLocale::Text(SGridCaptionRowGreater));
    return true;
}

void TImportEngine::PrepareImport() {
    if (ImportRecCount > 0 && ImportRecCount < TotalCount) TotalCount = ImportRecCount;
    LastAction = ilaNone;
    HandledCount = 0;
    m_errors.clear();
    m_valueErrors = 0;
    Canceled = false;
    // The run's formats are the engine's Formats value itself; every reader
    // takes them from there, nothing process-wide is switched.
    LineNumber = 1;
    buildRow();
    openErrorLog();
}

void TImportEngine::CleanupImport() {
    m_row.Clear();
    m_generators.clear();
    m_duplicateCols.clear();
    closeErrorLog();
}

// ---- destination columns --------------------------------------------------

int TImportEngine::DestinationColumnCount() const {
    if (ImportDestination == qidDataSet && DataSet) return (int)DataSet->FieldDefs().size();
    return 0;
}

QString TImportEngine::DestinationColumnName(int i) const {
    if (ImportDestination == qidDataSet && DataSet && i >= 0 && i < (int)DataSet->FieldDefs().size())
        return DataSet->FieldDefs()[i].Name;
    return QString();
}

int TImportEngine::DestinationColumnIndex(const QString& name) const {
    if (ImportDestination == qidDataSet && DataSet) return DataSet->FieldIndex(name.trimmed());
    return -1;
}

// ---- map helpers ------------------------------------------------------------

QString TImportEngine::MapName(int i) const {
    const QString& line = Map.at(i);
    int eq = line.indexOf(QLatin1Char('='));
    return (eq < 0 ? line : line.left(eq)).trimmed();
}

QString TImportEngine::MapValue(int i) const {
    const QString& line = Map.at(i);
    int eq = line.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : line.mid(eq + 1);
}

QString TImportEngine::MapValueOf(const QString& colName) const {
    int i = m_row.MapIndex(colName);
    return i < 0 ? QString() : MapValue(i);
}

// ---- row --------------------------------------------------------------------

void TImportEngine::buildRow() {
    m_row.Clear(Map.size());
    m_duplicateCols.clear();
    m_generators.clear();
    for (int i = 0; i < Map.size(); ++i) {
        QString name = MapName(i);
        int index = DestinationColumnIndex(name);
        if (index < 0 && ImportDestination != qidUserDefined)
            throw EImportError(ImportFmt(SColumnNotFoundInDestination, {name}));
        if (m_row.ColByName(name)) continue;  // a repeated map key keeps its first line
        m_row.Add(name, index, i);
        if (!KeyColumns.contains(name)) m_duplicateCols << name;
    }
    for (const TImportFieldFormat& f : FieldFormats.Items) {
        if (!m_row.ColByName(f.FieldName) && (f.GeneratorStep != 0 || !f.ConstantValue.isEmpty())) {
            int index = DestinationColumnIndex(f.FieldName);
            if (index >= 0) m_row.Add(f.FieldName, index, -1);
        }
        if (m_row.ColByName(f.FieldName) && f.GeneratorStep != 0)
            m_generators.push_back(TGenerator{f.FieldName, f.GeneratorValue, (qint64)f.GeneratorStep, true});
    }
}

// ---- error log --------------------------------------------------------------

QString TImportEngine::TimeStamp() const {
    double now = vaccoraDateTimeToDays(QDateTime::currentDateTime());
    return vaccoraFormatDateTime(Formats.ShortDateFormat, now, Formats) + QLatin1Char(' ') +
           vaccoraFormatDateTime(Formats.ShortTimeFormat, now, Formats);
}

void TImportEngine::openErrorLog() {
    m_log.reset();
    m_logPath.clear();
    if (!ErrorLog || ErrorLogFileName.isEmpty()) return;
    QString path = ErrorLogFileName;
    if (!hasDirectoryPart(path)) {
        path = QDir(programDirectory(ProgramDirectory)).filePath(path);
    } else {
        QDir dir = QFileInfo(path).absoluteDir();
        if (!dir.exists() && !QDir().mkpath(dir.absolutePath()))
            throw EImportError(QStringLiteral("Cannot create directory \"%1\"").arg(dir.absolutePath()));
    }
    auto file = std::make_unique<QFile>(path);
    bool ok;
    if (RewriteErrorLogFile) {
        ok = file->open(QIODevice::WriteOnly | QIODevice::Truncate);
    } else {
        ok = file->exists() && file->open(QIODevice::ReadWrite);
        if (ok) ok = file->seek(file->size());
    }
    if (!ok) {
        QString reason = file->exists() ? file->errorString() : QStringLiteral("No such file or directory");
        throw EImportError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, reason));
    }
    m_log = std::move(file);
    m_logPath = QFileInfo(path).absoluteFilePath();
    writeLogLine(ImportFmt(SImportStarted, {TimeStamp()}) + QStringLiteral("\r\n\r\n"));
}

void TImportEngine::writeLogLine(const QString& text) {
    if (!m_log) return;
    m_log->write(vaccoraEncodeSingleByte(text, vaccoraDesktopCodePages().Ansi));
}

void TImportEngine::closeErrorLog() {
    if (!m_log) return;
    QString footer;
    if (!m_errors.isEmpty()) footer += QStringLiteral("\r\n");
    footer += ImportFmt(SImportFinished, {TimeStamp()}) + QStringLiteral("\r\n");
    footer += m_errors.isEmpty() ? TImportLocale::Text(SNoErrorFound)
                                 : ImportFmt(SErrorsFound, {QString::number(ErrorCount())});
    footer += QStringLiteral("\r\n\r\n");
    writeLogLine(footer);
    m_log->close();
    m_log.reset();
    if (ShowErrorLog) {
        if (OnShowErrorLog) {
            OnShowErrorLog(m_logPath);
        } else if (qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) {
            QProcess::startDetached(QStringLiteral("xdg-open"), {m_logPath});
        }
    }
}

void TImportEngine::ReportError(const std::exception& e) { ReportError(exceptionMessage(e)); }

void TImportEngine::ReportError(const QString& message) {
    m_rowFailed = true;
    QString line = ImportFmt(SErrorLine, {TimeStamp(), QString::number(LineNumber), message});
    if (ErrorLog) {
        m_errors << line;
        writeLogLine(line + QStringLiteral("\r\n"));
    }
    ++LineNumber;
    if (OnImportError) OnImportError(*this);
}

void TImportEngine::logValueError(const QString& message) {
    ++m_valueErrors;
    if (ErrorLog)
        writeLogLine(ImportFmt(SErrorLine, {TimeStamp(), QString::number(LineNumber), message}) +
                     QStringLiteral("\r\n"));
    if (OnImportErrorAdv) OnImportErrorAdv(*this);
}

// ---- commit, cancel -----------------------------------------------------------

void TImportEngine::RequestCommit() {
    if (OnNeedCommit) OnNeedCommit(*this);
}

bool TImportEngine::AskContinue() {
    bool cont = false;
    if (OnImportCancel) OnImportCancel(*this, cont);
    Canceled = !cont;
    return cont;
}

void TImportEngine::CancelDestination() {
    if ((ImportDestination == qidDataSet) && DataSet &&
        (DataSet->State() == TDataSetState::dsInsert || DataSet->State() == TDataSetState::dsEdit))
        DataSet->Cancel();
}

TImportResult TImportEngine::WriteRowPattern(bool streaming) {
    TImportResult outcome = TImportResult::Done;
    if (Canceled && !AskContinue()) {
        outcome = TImportResult::Stop;
    } else {
        try {
            ImportRowToDestination();
        } catch (const std::exception& e) {
            try {
                CancelDestination();
            } catch (...) {
            }
            ReportError(e);
            outcome = TImportResult::Failed;
        }
    }
    const int s = ErrorCount() + HandledCount;
    if (CommitRecCount > 0 && !CommitAfterDone && s > 0 && s % CommitRecCount == 0) RequestCommit();
    if (streaming && ImportRecCount > 0 && s > 0 && s % ImportRecCount == 0) outcome = TImportResult::Stop;
    return outcome;
}

void TImportEngine::FinalCommitRequest() {
    if (Canceled) return;
    if (CommitAfterDone) {
        RequestCommit();
        return;
    }
    const int s = ErrorCount() + HandledCount;
    if (CommitRecCount > 0 && s % CommitRecCount != 0) RequestCommit();
}

// ---- writing a row ----------------------------------------------------------------

// Key texts are read with the import's formats, as the row's values are.
void TImportEngine::convertKeys(const QStringList& fields, QVariantList& values) {
    for (int i = 0; i < fields.size() && i < values.size(); ++i) {
        if (values[i].typeId() != QMetaType::QString) continue;
        int index = DataSet->FieldIndex(fields[i]);
        if (index < 0) continue;
        values[i] = ConvertText(values[i].toString(), DataSet->FieldDefs()[index].DataType);
    }
}

bool TImportEngine::locate(bool duplicateTest) {
    if (ImportDestination != qidDataSet || !DataSet) return false;
    QStringList names;
    QVariantList values;
    if (duplicateTest) {
        if (AllowDuplicates || m_duplicateCols.isEmpty()) return false;
        for (const QString& c : m_duplicateCols) {
            names << c;
            values << QVariant(m_row.Value(c));
        }
        try {
            convertKeys(names, values);
            return DataSet->Locate(names, values, false);
        } catch (const std::exception&) {
            return false;
        }
    }
    for (const QString& k : KeyColumns) {
        const TImportCol* col = m_row.ColByName(k);
        if (!col) continue;
        names << col->Name;
        values << QVariant(col->Value);
    }
    QString keyFields = names.join(QLatin1Char(';'));
    QVariant keyValues = values.size() == 1 ? values.first() : QVariant(values);
    if (OnDestinationLocate) OnDestinationLocate(*this, KeyColumns, m_row, keyFields, keyValues);
    QStringList fields = keyFields.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& f : fields) f = f.trimmed();
    QVariantList vals;
    if (keyValues.typeId() == QMetaType::QVariantList) vals = keyValues.toList();
    else vals << keyValues;
    if (fields.isEmpty() || fields.size() != vals.size()) return false;
    try {
        convertKeys(fields, vals);
        return DataSet->Locate(fields, vals, true);
    } catch (const std::exception&) {
        return false;
    }
}

void TImportEngine::setValues() {
    if (ImportDestination != qidDataSet || !DataSet) return;
    const auto& defs = DataSet->FieldDefs();
    for (int i = 0; i < m_row.Count(); ++i) {
        const TImportCol& col = m_row[i];
        if (col.DestinationIndex < 0 || col.DestinationIndex >= (int)defs.size()) continue;
        try {
            DataSet->SetField(col.DestinationIndex, ConvertText(col.Value, defs[col.DestinationIndex].DataType));
        } catch (const std::exception& e) {
            try {
                DataSet->SetField(col.DestinationIndex, QVariant());
            } catch (...) {
            }
            logValueError(exceptionMessage(e));
        }
    }
}

void TImportEngine::ImportRowToDestination() {
    bool accept = true;
    if (OnBeforePost) OnBeforePost(*this, m_row, accept);
    if (accept) {
        enum { aNone, aNew, aEdit, aDelete } action = aNone;
        auto conditionalInsert = [&]() { return locate(true) ? aNone : aNew; };
        switch (ImportMode) {
        case qimInsertAll: action = aNew; break;
        case qimInsertNew: action = (locate(false) || locate(true)) ? aNone : aNew; break;
        case qimUpdate: action = locate(false) ? aEdit : aNone; break;
        case qimUpdateOrInsert: action = locate(false) ? aEdit : conditionalInsert(); break;
        case qimDelete: action = locate(false) ? aDelete : aNone; break;
        case qimDeleteOrInsert: action = locate(false) ? aDelete : conditionalInsert(); break;
        }
        if (ImportDestination == qidDataSet && DataSet) {
            switch (action) {
            case aNew:
                if (AddType == qatAppend) DataSet->Append();
                else DataSet->Insert();
                LastAction = ilaInserted;
                break;
            case aEdit:
                DataSet->Edit();
                LastAction = ilaEdited;
                break;
            case aDelete:
                DataSet->Delete();
                LastAction = ilaDeleted;
                break;
            case aNone: break;
            }
            if (action == aNew || action == aEdit) {
                setValues();
                if (DataSet->State() == TDataSetState::dsInsert || DataSet->State() == TDataSetState::dsEdit)
                    DataSet->Post();
            }
        }
    }
    if (OnAfterPost) OnAfterPost(*this, m_row);
    ++HandledCount;
    if (OnImportRecord) OnImportRecord(*this);
    ++LineNumber;
}

// ---- run -------------------------------------------------------------------------------

void TImportEngine::runRows() {
    BeginRows();
    try {
        while (HasRow()) {
            LastAction = ilaNone;
            m_rowFailed = false;
            if (SkipRow()) {
                ++LineNumber;
            } else {
                ReadRow();
                if (ImportDestination != qidUserDefined) {
                    if (WantsRowComplete()) RowComplete();
                    TImportResult outcome;
                    if (ImportEmptyRows || !RowEmpty) {
                        outcome = WriteRow();
                    } else {
                        ++HandledCount;
                        if (OnImportRecord) OnImportRecord(*this);
                        ++LineNumber;
                        outcome = TImportResult::Failed;
                    }
                    if (outcome == TImportResult::Stop) break;
                    if (outcome == TImportResult::Failed) {
                        NextRow();
                        continue;
                    }
                } else {
                    UserDefinedRow();
                }
            }
            NextRow();
            std::this_thread::yield();
        }
    } catch (...) {
        EndRows();
        throw;
    }
    EndRows();
}

bool TImportEngine::Execute() {
    bool result = ValidateSettings();
    try {
        PrepareImport();
    } catch (...) {
        CleanupImport();
        throw;
    }
    std::exception_ptr failure;
    try {
        if (OnBeforeImport) OnBeforeImport(*this);
        runRows();
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        if (OnAfterImport) OnAfterImport(*this);
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    try {
        CleanupImport();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    if (failure) std::rethrow_exception(failure);
    return result;
}
