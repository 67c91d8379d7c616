// The import wizard: the component TImportWizard, which holds the settings
// the program configures, and its modal window TImportWizardF, created anew
// by every Execute. The window's pages read from and write into one
// TImportSetup; nothing a page shows lives anywhere else.
#pragma once

#include "import/engine/ImportEngine.h"
#include "import/engine/ImportSetup.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class TImportProgressF;
class TImportWizardF;
class TWizardFormatsPage;
class TWizardLastPage;
class TWizardKindPage;

// Message boxes and file dialogs of the wizard, replaceable (tests answer
// them without a user). Filters use the "text|pattern|text|pattern" form.
struct TWizardDialogs {
    // true for Yes; `defaultNo` makes No the default button
    static std::function<bool(QWidget* parent, const QString& caption, const QString& text, bool defaultNo)> Question;
    static std::function<void(QWidget* parent, const QString& text)> Error;
    static std::function<QString(QWidget* parent, const QString& filter, const QString& current)> OpenFile;
    static std::function<QString(QWidget* parent, const QString& filter, const QString& current)> SaveFile;
    // opens a file with the desktop's viewer
    static std::function<void(const QString& path)> OpenDocument;
};

// "Microsoft Excel files (*.xls)|*.xls|All files (*.*)|*.*" as a Qt filter list.
QString vaccoraQtFilter(const QString& filter);

class TImportWizard {
public:
    TImportWizard();
    ~TImportWizard();

    unsigned AllowedImports = (1u << kAllowedImportCount) - 1;  // bit per TAllowedImport
    TIBTable* DataSet = nullptr;
    TImportDestination ImportDestination = qidDataSet;
    QString FileName;
    TImportFormats Formats;
    TImportFieldFormats FieldFormats;
    int ImportRecCount = 0;
    int CommitRecCount = 1000;
    bool CommitAfterDone = false;
    bool ErrorLog = false;
    QString ErrorLogFileName = QStringLiteral("error.log");
    bool RewriteErrorLogFile = true;
    bool ShowErrorLog = false;
    bool AutoTrimValue = false;
    bool ImportEmptyRows = true;
    TImportMode ImportMode = qimInsertAll;
    TImportAddType AddType = qatInsert;
    QStringList KeyColumns;
    int GridCaptionRow = -1;
    int GridStartRow = -1;
    bool ShowProgress = true;
    bool AutoChangeExtension = true;
    bool ShowHelpButton = true;
    bool CloseAfterImport = false;
    bool ConfirmOnCancel = true;
    bool ShowSaveLoadButtons = true;
    QString TemplateFileName;
    bool AutoLoadTemplate = false;
    bool AutoSaveTemplate = false;
    bool GoToLastPage = false;
    int TextViewerRows = 20;
    int CSVViewerRows = 20;
    int ExcelViewerRows = 256;
    int ExcelMaxColWidth = 130;
    // Where the help file and log names without a directory go; empty: the
    // program's directory.
    QString ProgramDirectory;

    // events (Sender is the component, OnNeedCommit's the wizard window)
    std::function<void(TImportWizard&)> OnBeforeImport;
    std::function<void(TImportWizard&)> OnAfterImport;
    std::function<void(TImportWizard&)> OnImportRecord;
    std::function<void(TImportWizard&)> OnImportError;
    std::function<void(TImportWizard&)> OnImportErrorAdv;
    std::function<void(TImportWizardF&)> OnNeedCommit;
    std::function<void(TImportWizard&, bool& continueImport)> OnImportCancel;
    std::function<void(TImportWizard&, TImportRow& row, bool& accept)> OnBeforePost;
    std::function<void(TImportWizard&, const QStringList& keyColumns, TImportRow& row, QString& keyFields,
                       QVariant& keyValues)> OnDestinationLocate;
    std::function<void(TImportWizard&, const QString& fileName)> OnLoadTemplate;
    // Called once the window is shown (tests drive the window from here).
    std::function<void(TImportWizardF&)> OnShow;
    // The same for every wizard without OnShow of its own.
    static std::function<void(TImportWizardF&)> ShowHook;

    bool Allowed(TAllowedImport kind) const { return (AllowedImports >> kind) & 1u; }
    // Checks the settings, shows the window modally and frees it on close.
    void Execute(QWidget* parent = nullptr);
    QString ProgramDir() const;
};

// A kind's option and mapping page (page 1). Each source kind registers one.
class TWizardKindPage : public QWidget {
public:
    TWizardKindPage(TImportWizardF& wizard, TAllowedImport kind);
    TAllowedImport Kind() const { return m_kind; }
    // Entering from page 0: opens the file for the preview and fills the
    // lists; throws on failure.
    virtual void Prepare() = 0;
    // Shows the model's values again (after a template load).
    virtual void LoadFromSetup() = 0;

protected:
    TImportSetup& setup();
    void changed();  // the model changed: button states follow
    TImportWizardF& m_wizard;
    TAllowedImport m_kind;
};

using TWizardPageFactory = std::function<TWizardKindPage*(TImportWizardF&, TAllowedImport)>;
// Registers (or replaces) the page of a kind.
void vaccoraRegisterWizardPage(TAllowedImport kind, TWizardPageFactory factory);
bool vaccoraWizardPageRegistered(TAllowedImport kind);

class TImportWizardF : public QDialog {
public:
    TImportWizardF(TImportWizard& component, QWidget* parent);
    ~TImportWizardF() override;

    TImportWizard& Component() { return m_component; }
    TImportSetup& Setup() { return m_setup; }
    QStringList DestinationFields() const { return m_setup.DestinationFields; }

    int PageIndex() const { return m_page; }
    TWizardKindPage* KindPage(TAllowedImport kind);  // created on first use
    TImportProgressF* Progress() const { return m_progress; }
    TImportEngine* Engine(TAllowedImport kind) const { return m_engines[kind].get(); }

    // Buttons and flow
    void Next();
    void Back();
    void ExecuteImport();
    void Help();
    void LoadTemplate(const QString& fileName);  // with OnLoadTemplate; throws
    void SaveTemplate(const QString& fileName);
    void ChooseKind(TAllowedImport kind);
    void UpdateButtons();
    void UpdateCaption();
    // Page widgets follow the model again.
    void LoadFromSetup();
    bool IsImporting() const { return m_importing; }

    QPushButton* HelpButton;
    QPushButton* BackButton;
    QPushButton* NextButton;
    QPushButton* CancelButton;
    QPushButton* ExecuteButton;
    QLabel* StepLabel;
    // page 0
    std::array<QRadioButton*, kAllowedImportCount> KindRadio{};
    QLineEdit* FileNameEdit;
    QPushButton* BrowseButton;
    QComboBox* DelimiterBox;
    QComboBox* QuoteBox;
    QLineEdit* PasswordEdit;
    QPushButton* LoadTemplateButton;
    QCheckBox* GoToLastPageBox;
    QCheckBox* AutoSaveTemplateBox;
    QLabel* TemplateLabel;
    TWizardFormatsPage* FormatsPage;
    TWizardLastPage* LastPage;

    // page-0 checks of step 5 (throws EImportError)
    void CheckFirstPage();

protected:
    void closeEvent(QCloseEvent* e) override;
    void reject() override;
    void showEvent(QShowEvent* e) override;

private:
    QWidget* buildFirstPage();
    void showPage(int page);
    int lastPageIndex() const { return 3; }
    bool confirmClose();
    void delimiterChanged();
    void fileNameEdited();
    void showError(const QString& text);
    void wireEngine(TImportEngine& e);
    void post(int code, int value);
    void updateTemplateLabel();
    void goToLastPageIfUsable();

    TImportWizard& m_component;
    TImportSetup m_setup;
    TImportJScriptEngine m_script;
    std::array<std::unique_ptr<TImportEngine>, kAllowedImportCount> m_engines;
    std::array<TWizardKindPage*, kAllowedImportCount> m_kindPages{};
    QStackedWidget* m_stack;
    QWidget* m_firstPage;
    QStackedWidget* m_kindStack;
    int m_page = 0;
    bool m_closing = false;
    bool m_closeConfirmed = false;
    bool m_importing = false;
    bool m_shown = false;
    bool m_loading = false;
    TImportProgressF* m_progress = nullptr;
};
