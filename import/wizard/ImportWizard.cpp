#include "import/wizard/ImportWizard.h"

#include "import/engine/SourceRegistry.h"
#include "import/sources/text/ImportASCII.h"
#include "import/wizard/ImportProgress.h"
#include "import/wizard/WizardPages.h"

#include <QCloseEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

// ------------------------------------------------------------------ dialogs

std::function<bool(QWidget*, const QString&, const QString&, bool)> TWizardDialogs::Question =
    [](QWidget* parent, const QString& caption, const QString& text, bool defaultNo) {
        return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                     defaultNo ? QMessageBox::No : QMessageBox::Yes) == QMessageBox::Yes;
    };
std::function<void(QWidget*, const QString&)> TWizardDialogs::Error = [](QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, TImportLocale::Text(SWizardCaption), text);
};
std::function<QString(QWidget*, const QString&, const QString&)> TWizardDialogs::OpenFile =
    [](QWidget* parent, const QString& filter, const QString& current) {
        return QFileDialog::getOpenFileName(parent, QString(), current, vaccoraQtFilter(filter));
    };
std::function<QString(QWidget*, const QString&, const QString&)> TWizardDialogs::SaveFile =
    [](QWidget* parent, const QString& filter, const QString& current) {
        return QFileDialog::getSaveFileName(parent, QString(), current, vaccoraQtFilter(filter));
    };
std::function<void(const QString&)> TWizardDialogs::OpenDocument = [](const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
};

QString vaccoraQtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString text = parts[i].trimmed();
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // the text names its patterns already ("... (*.xls)"); Qt reads them from there
        if (!text.contains(QLatin1Char('('))) text += QStringLiteral(" (") + patterns + QLatin1Char(')');
        else text = text.left(text.indexOf(QLatin1Char('('))) + QLatin1Char('(') + patterns + QLatin1Char(')');
        out << text;
    }
    return out.join(QStringLiteral(";;"));
}

// ---------------------------------------------------------------- constants

namespace {

struct TKindInfo {
    const char* Extension;
    const char* Filter;
};
const TKindInfo kKinds[kAllowedImportCount] = {
    {".xls", "Microsoft Excel files (*.xls)|*.xls|All files (*.*)|*.*"},
    {".dbf", "DBF files (*.dbf)|*.dbf|All files (*.*)|*.*"},
    {".xml", "XML files (*.xml)|*.xml|All files (*.*)|*.*"},
    {".txt", "Text files (*.txt)|*.txt|All files (*.*)|*.*"},
    {".csv", "CSV files (*.csv)|*.csv|All files (*.*)|*.*"},
    {".mdb", "Microsoft Access files (*.mdb)|*.mdb|All files (*.*)|*.*"},
    {".html", "HTML files (*.html; *.htm)|*.html;*.htm|All files (*.*)|*.*"},
    {".xml", "XML files (*.xml)|*.xml|All files (*.*)|*.*"},
    {".xlsx", "Microsoft Excel 2007 files (*.xlsx)|*.xlsx|All files (*.*)|*.*"},
    {".docx", "Microsoft Word 2007 files (*.docx)|*.docx|All files (*.*)|*.*"},
    {".ods", "Open Document Spreadsheet files (*.ods)|*.ods|All files (*.*)|*.*"},
    {".odt", "Open Document Text files (*.odt)|*.odt|All files (*.*)|*.*"},
};
// the order in which the first enabled kind is chosen
const TAllowedImport kPreference[kAllowedImportCount] = {aiXLS, aiXlsx, aiDocx, aiODS, aiODT, aiDBF,
                                                         aiHTML, aiXML, aiXMLDoc, aiTXT, aiCSV, aiAccess};
const char* const kKnownExtensions[] = {".xls", ".xlsx", ".docx", ".ods", ".odt", ".dbf", ".db",
                                        ".htm", ".html", ".xml", ".txt", ".csv", ".mdb"};

std::array<TWizardPageFactory, kAllowedImportCount>& pageFactories()
{
    static std::array<TWizardPageFactory, kAllowedImportCount> f;
    return f;
}

QString delimiterText(const QString& d)
{
    if (d.isEmpty()) return QString();
    if (d[0] == QLatin1Char('\t')) return QStringLiteral("TAB");
    if (d[0] == QLatin1Char(' ')) return QStringLiteral("SPACE");
    return d.left(1);
}

QString delimiterValue(const QString& text)
{
    if (text == QLatin1String("TAB")) return QStringLiteral("\t");
    if (text == QLatin1String("SPACE")) return QStringLiteral(" ");
    return text.left(1);
}

}  // namespace

void vaccoraRegisterWizardPage(TAllowedImport kind, TWizardPageFactory factory)
{
    if (kind >= 0 && kind < kAllowedImportCount) pageFactories()[kind] = std::move(factory);
}

bool vaccoraWizardPageRegistered(TAllowedImport kind)
{
    vaccoraRegisterBuiltinWizardPages();
    return kind >= 0 && kind < kAllowedImportCount && bool(pageFactories()[kind]);
}

// ------------------------------------------------------------ TWizardKindPage

TWizardKindPage::TWizardKindPage(TImportWizardF& wizard, TAllowedImport kind)
    : QWidget(nullptr), m_wizard(wizard), m_kind(kind)
{
}

TImportSetup& TWizardKindPage::setup() { return m_wizard.Setup(); }
void TWizardKindPage::changed() { m_wizard.UpdateButtons(); }

// -------------------------------------------------------------- TImportWizard

std::function<void(TImportWizardF&)> TImportWizard::ShowHook;

TImportWizard::TImportWizard() = default;
TImportWizard::~TImportWizard() = default;

QString TImportWizard::ProgramDir() const
{
    if (!ProgramDirectory.isEmpty()) return ProgramDirectory;
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
}

void TImportWizard::Execute(QWidget* parent)
{
    if ((AllowedImports & ((1u << kAllowedImportCount) - 1)) == 0)
        throw EImportError(TImportLocale::Text(SAllowedImportsEmpty));
    if (ImportDestination == qidUserDefined) throw EImportError(TImportLocale::Text(SWizardUserDefined));
    static const TImportMessage missing[] = {SDataSetNotDefined, SDBGridNotDefined, SListViewNotDefined,
                                             SStringGridNotDefined};
    // only the dataset destination exists in this program
    if (ImportDestination != qidDataSet || !DataSet) throw EImportError(TImportLocale::Text(missing[ImportDestination]));
    TImportWizardF w(*this, parent);  // an automatic template load may throw here
    w.exec();
}

// ------------------------------------------------------------- TImportWizardF

TImportWizardF::TImportWizardF(TImportWizard& c, QWidget* parent) : QDialog(parent), m_component(c)
{
    vaccoraRegisterWizardTexts();
    vaccoraRegisterBuiltinWizardPages();
    setObjectName(QStringLiteral("ImportWizardF"));
    setModal(true);

    // the model starts from the component's settings
    m_setup.FileName = c.FileName;
    m_setup.Formats = c.Formats;
    m_setup.FieldFormats = c.FieldFormats;
    m_setup.CommitAfterDone = c.CommitAfterDone;
    m_setup.CommitRecCount = c.CommitRecCount;
    m_setup.ImportRecCount = c.ImportRecCount;
    m_setup.CloseAfterImport = c.CloseAfterImport;
    m_setup.ErrorLog = c.ErrorLog;
    m_setup.ErrorLogFileName = c.ErrorLogFileName;
    m_setup.RewriteErrorLogFile = c.RewriteErrorLogFile;
    m_setup.ShowErrorLog = c.ShowErrorLog;
    m_setup.AutoTrimValue = c.AutoTrimValue;
    m_setup.ImportEmptyRows = c.ImportEmptyRows;
    m_setup.ImportMode = c.ImportMode;
    m_setup.AddType = c.AddType;
    m_setup.KeyColumns = c.KeyColumns;
    m_setup.GoToLastPage = c.GoToLastPage;
    m_setup.AutoSaveTemplate = c.AutoSaveTemplate;
    m_setup.Component = {c.GoToLastPage, c.AutoSaveTemplate, c.CommitAfterDone,
                         c.CloseAfterImport, c.RewriteErrorLogFile, c.ShowErrorLog};
    m_setup.ProgramDirectory = c.ProgramDirectory;
    if (c.DataSet && c.DataSet->Active())
        for (const TFieldDef& f : c.DataSet->FieldDefs()) m_setup.DestinationFields << f.Name;
    const QString comma = QString(QLatin1Char(TImportASCII::DefaultComma()));
    m_setup.Kinds[aiCSV].Options.insert(QStringLiteral("Delimiter"), comma);

    auto* v = new QVBoxLayout(this);
    StepLabel = new QLabel(this);
    StepLabel->setObjectName(QStringLiteral("StepLabel"));
    QFont f = StepLabel->font();
    f.setBold(true);
    StepLabel->setFont(f);
    v->addWidget(StepLabel);
    m_stack = new QStackedWidget(this);
    v->addWidget(m_stack, 1);
    m_firstPage = buildFirstPage();
    m_stack->addWidget(m_firstPage);
    m_kindStack = new QStackedWidget(this);
    m_stack->addWidget(m_kindStack);
    FormatsPage = new TWizardFormatsPage(*this);
    m_stack->addWidget(FormatsPage);
    LastPage = new TWizardLastPage(*this);
    m_stack->addWidget(LastPage);

    auto* buttons = new QHBoxLayout;
    HelpButton = new QPushButton(WizText(SWizHelp), this);
    BackButton = new QPushButton(WizText(SWizBack), this);
    NextButton = new QPushButton(WizText(SWizNext), this);
    CancelButton = new QPushButton(WizText(SWizCancel), this);
    ExecuteButton = new QPushButton(WizText(SWizExecute), this);
    for (QPushButton* b : {HelpButton, BackButton, NextButton, CancelButton, ExecuteButton}) b->setAutoDefault(false);
    buttons->addWidget(HelpButton);
    buttons->addStretch();
    buttons->addWidget(BackButton);
    buttons->addWidget(NextButton);
    buttons->addWidget(CancelButton);
    buttons->addWidget(ExecuteButton);
    v->addLayout(buttons);
    HelpButton->setVisible(c.ShowHelpButton);
    HelpButton->setEnabled(c.ShowHelpButton);
    LoadTemplateButton->setVisible(c.ShowSaveLoadButtons);
    LastPage->SaveTemplateButton->setVisible(c.ShowSaveLoadButtons);

    connect(HelpButton, &QPushButton::clicked, this, [this] { Help(); });
    connect(BackButton, &QPushButton::clicked, this, [this] { Back(); });
    connect(NextButton, &QPushButton::clicked, this, [this] { Next(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { reject(); });
    connect(ExecuteButton, &QPushButton::clicked, this, [this] { ExecuteImport(); });

    // the first allowed kind in the order of preference
    TAllowedImport first = aiXLS;
    bool found = false;
    for (TAllowedImport k : kPreference)
        if (KindRadio[k]->isEnabled()) {
            first = k;
            found = true;
            break;
        }
    (void)found;
    m_setup.Kind = first;
    resize(720, 540);
    LoadFromSetup();
    showPage(0);

    if (c.AutoLoadTemplate) LoadTemplate(c.TemplateFileName);
}

TImportWizardF::~TImportWizardF()
{
    delete m_progress;
    for (TWizardKindPage* p : m_kindPages)
        if (p && !p->parent()) delete p;
}

QWidget* TImportWizardF::buildFirstPage()
{
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    auto* kinds = new QGroupBox(TImportLocale::Text(SImportFrom), page);
    auto* kg = new QGridLayout(kinds);
    for (int k = 0; k < kAllowedImportCount; ++k) {
        auto* r = new QRadioButton(vaccoraImportKindCaption(TAllowedImport(k)), kinds);
        r->setObjectName(QStringLiteral("Kind%1").arg(k));
        const bool built = vaccoraWizardPageRegistered(TAllowedImport(k)) &&
                           vaccoraCreateImportSource(TAllowedImport(k)) != nullptr;
        r->setEnabled(built && m_component.Allowed(TAllowedImport(k)));
        KindRadio[k] = r;
        kg->addWidget(r, k % 6, k / 6);
        connect(r, &QRadioButton::toggled, this, [this, k](bool on) {
            if (on && !m_loading) ChooseKind(TAllowedImport(k));
        });
    }
    v->addWidget(kinds);

    auto* fileGroup = new QGroupBox(WizText(SWizSourceFileName), page);
    auto* fg = new QGridLayout(fileGroup);
    FileNameEdit = new QLineEdit(fileGroup);
    FileNameEdit->setObjectName(QStringLiteral("FileNameEdit"));
    BrowseButton = new QPushButton(QStringLiteral("..."), fileGroup);
    BrowseButton->setFixedWidth(30);
    fg->addWidget(FileNameEdit, 0, 0, 1, 4);
    fg->addWidget(BrowseButton, 0, 4);
    fg->addWidget(new QLabel(QStringLiteral("Delimiter"), fileGroup), 1, 0);
    DelimiterBox = new QComboBox(fileGroup);
    DelimiterBox->setEditable(true);
    DelimiterBox->addItems({QStringLiteral(";"), QStringLiteral(","), QStringLiteral("TAB"), QStringLiteral("SPACE")});
    fg->addWidget(DelimiterBox, 1, 1);
    fg->addWidget(new QLabel(QStringLiteral("Quote"), fileGroup), 1, 2);
    QuoteBox = new QComboBox(fileGroup);
    QuoteBox->addItems({QStringLiteral("\""), QStringLiteral("'")});
    fg->addWidget(QuoteBox, 1, 3);
    fg->addWidget(new QLabel(QStringLiteral("Password"), fileGroup), 2, 0);
    PasswordEdit = new QLineEdit(fileGroup);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    fg->addWidget(PasswordEdit, 2, 1, 1, 3);
    v->addWidget(fileGroup);

    auto* tpl = new QGroupBox(WizText(SWizTemplateOptions), page);
    auto* tg = new QGridLayout(tpl);
    LoadTemplateButton = new QPushButton(WizText(SWizLoadTemplate), tpl);
    LoadTemplateButton->setAutoDefault(false);
    TemplateLabel = new QLabel(tpl);
    TemplateLabel->setObjectName(QStringLiteral("TemplateLabel"));
    GoToLastPageBox = new QCheckBox(WizText(SWizGoToLastPage), tpl);
    AutoSaveTemplateBox = new QCheckBox(WizText(SWizAutoSaveTemplate), tpl);
    tg->addWidget(LoadTemplateButton, 0, 0);
    tg->addWidget(TemplateLabel, 0, 1);
    tg->addWidget(GoToLastPageBox, 1, 0, 1, 2);
    tg->addWidget(AutoSaveTemplateBox, 2, 0, 1, 2);
    tg->setColumnStretch(1, 1);
    v->addWidget(tpl);
    v->addStretch();

    connect(FileNameEdit, &QLineEdit::textChanged, this, [this] { fileNameEdited(); });
    connect(BrowseButton, &QPushButton::clicked, this, [this] {
        const QString f = TWizardDialogs::OpenFile(this, QString::fromLatin1(kKinds[m_setup.Kind].Filter),
                                                   m_setup.FileName);
        if (!f.isEmpty()) FileNameEdit->setText(f);
    });
    connect(DelimiterBox, &QComboBox::currentTextChanged, this, [this] { delimiterChanged(); });
    connect(QuoteBox, &QComboBox::currentTextChanged, this, [this](const QString& t) {
        if (!m_loading) m_setup.Kinds[aiCSV].Options.insert(QStringLiteral("Quote"), t.left(1));
    });
    connect(PasswordEdit, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!m_loading) m_setup.Kinds[aiAccess].Options.insert(QStringLiteral("Password"), t);
    });
    connect(LoadTemplateButton, &QPushButton::clicked, this, [this] {
        const QString f = TWizardDialogs::OpenFile(this, TImportLocale::Text(STemplateFilter), m_component.TemplateFileName);
        if (f.isEmpty()) return;
        m_component.TemplateFileName = f;
        try {
            LoadTemplate(f);
        } catch (const std::exception& e) {
            showError(QString::fromStdString(e.what()));
        }
    });
    connect(GoToLastPageBox, &QCheckBox::toggled, this, [this](bool on) {
        if (m_loading) return;
        m_setup.GoToLastPage = on;
        m_component.GoToLastPage = on;
        m_setup.Component.GoToLastPage = on;
    });
    connect(AutoSaveTemplateBox, &QCheckBox::toggled, this, [this](bool on) {
        if (m_loading) return;
        m_setup.AutoSaveTemplate = on;
        m_component.AutoSaveTemplate = on;
        m_setup.Component.AutoSaveTemplate = on;
    });
    return page;
}

void TImportWizardF::fileNameEdited()
{
    if (m_loading) return;
    m_setup.FileName = FileNameEdit->text();
    UpdateCaption();
    UpdateButtons();
}

void TImportWizardF::delimiterChanged()
{
    if (m_loading) return;
    m_setup.Kinds[aiCSV].Options.insert(QStringLiteral("Delimiter"), delimiterValue(DelimiterBox->currentText()));
    UpdateButtons();
}

void TImportWizardF::ChooseKind(TAllowedImport kind)
{
    m_setup.Kind = kind;
    if (m_component.AutoChangeExtension && !m_setup.FileName.isEmpty()) {
        QFileInfo fi(m_setup.FileName);
        const QString ext = QString::fromLatin1(kKinds[kind].Extension);
        QString name = m_setup.FileName;
        const QString suffix = fi.suffix();
        if (!suffix.isEmpty() && !fi.fileName().startsWith(QLatin1Char('.')))
            name.chop(suffix.size() + 1);
        // ".htm" is an HTML file as well
        if (!(kind == aiHTML && suffix.compare(QLatin1String("htm"), Qt::CaseInsensitive) == 0)) {
            name += ext;
            m_setup.FileName = name;
        }
    }
    LoadFromSetup();
}

void TImportWizardF::LoadFromSetup()
{
    m_loading = true;
    const TAllowedImport k = m_setup.Kind;
    if (KindRadio[k]) KindRadio[k]->setChecked(true);
    if (FileNameEdit->text() != m_setup.FileName) FileNameEdit->setText(m_setup.FileName);
    const bool csv = k == aiCSV;
    DelimiterBox->setEnabled(csv);
    QuoteBox->setEnabled(csv);
    TImportOptions& co = m_setup.Kinds[aiCSV].Options;
    if (co.value(QStringLiteral("Delimiter")).isEmpty())
        co.insert(QStringLiteral("Delimiter"), QString(QLatin1Char(TImportASCII::DefaultComma())));
    if (co.value(QStringLiteral("Quote")).isEmpty()) co.insert(QStringLiteral("Quote"), QStringLiteral("\""));
    DelimiterBox->setCurrentText(delimiterText(co.value(QStringLiteral("Delimiter"))));
    QuoteBox->setCurrentText(co.value(QStringLiteral("Quote")));
    PasswordEdit->setEnabled(k == aiAccess);
    PasswordEdit->setText(m_setup.Kinds[aiAccess].Options.value(QStringLiteral("Password")));
    GoToLastPageBox->setChecked(m_setup.GoToLastPage);
    AutoSaveTemplateBox->setChecked(m_setup.AutoSaveTemplate);
    m_loading = false;
    updateTemplateLabel();
    FormatsPage->LoadFromSetup();
    LastPage->LoadFromSetup();
    if (m_kindPages[k]) m_kindPages[k]->LoadFromSetup();
    UpdateCaption();
    UpdateButtons();
}

void TImportWizardF::updateTemplateLabel()
{
    // the name, with "..." for the leading folders until it fits
    QString name = m_component.TemplateFileName;
    const QFontMetrics fm(TemplateLabel->font());
    const int width = qMax(200, TemplateLabel->width());
    QStringList parts = QDir::fromNativeSeparators(name).split(QLatin1Char('/'));
    QString shown = name;
    while (fm.horizontalAdvance(shown) > width && parts.size() > 2) {
        parts.removeAt(1);
        shown = parts.first() + QStringLiteral("/.../") + parts.mid(1).join(QLatin1Char('/'));
    }
    TemplateLabel->setText(shown);
}

void TImportWizardF::UpdateCaption()
{
    QString caption = TImportLocale::Text(SWizardCaption);
    if (!m_setup.FileName.isEmpty())
        caption += QStringLiteral(" - ") + TImportLocale::Text(SImportFrom) + QLatin1Char(' ') +
                   QFileInfo(m_setup.FileName).fileName();
    setWindowTitle(caption);
}

void TImportWizardF::UpdateButtons()
{
    const bool usable = m_setup.MappingUsable();
    bool next = false, exec = false;
    switch (m_page) {
    case 0:
        next = !m_setup.FileName.isEmpty() &&
               (m_setup.Kind != aiCSV || !m_setup.Kinds[aiCSV].Options.value(QStringLiteral("Delimiter")).isEmpty());
        break;
    case 1: next = usable; exec = usable; break;
    case 2: next = true; exec = true; break;
    default: next = false; exec = true; break;
    }
    NextButton->setEnabled(next && !m_importing);
    BackButton->setEnabled(m_page > 0 && !m_importing);
    ExecuteButton->setEnabled(exec && !m_importing);
    if (m_page > 0)
        StepLabel->setText(ImportFmt(SStepOf, {QString::number(m_page), QString::number(lastPageIndex())}));
    else
        StepLabel->clear();
}

TWizardKindPage* TImportWizardF::KindPage(TAllowedImport kind)
{
    if (!m_kindPages[kind] && pageFactories()[kind]) {
        m_kindPages[kind] = pageFactories()[kind](*this, kind);
        m_kindStack->addWidget(m_kindPages[kind]);
    }
    return m_kindPages[kind];
}

void TImportWizardF::showPage(int page)
{
    m_page = page;
    if (page == 1 && m_kindPages[m_setup.Kind]) m_kindStack->setCurrentWidget(m_kindPages[m_setup.Kind]);
    m_stack->setCurrentIndex(page);
    UpdateButtons();
}

void TImportWizardF::showError(const QString& text) { TWizardDialogs::Error(this, text); }

void TImportWizardF::CheckFirstPage()
{
    const QString file = m_setup.FileName;
    if (!QFileInfo(file).isFile()) throw EImportError(ImportFmt(SFileDoesNotExist, {file}));
    QString ext = QLatin1Char('.') + QFileInfo(file).suffix().toLower();
    if (QFileInfo(file).suffix().isEmpty()) ext.clear();
    bool known = false;
    for (const char* e : kKnownExtensions) known = known || ext == QLatin1String(e);
    const QString want = QString::fromLatin1(kKinds[m_setup.Kind].Extension);
    const QString have = ext == QLatin1String(".htm") ? QStringLiteral(".html") : ext;
    if (!known || have != want) throw EImportError(ImportFmt(SWrongFileType, {want}));
    if (!m_component.DataSet || !m_component.DataSet->Active())
        throw EImportError(TImportLocale::Text(SClosedDestination));
    if (m_setup.DestinationFields.isEmpty())
        for (const TFieldDef& f : m_component.DataSet->FieldDefs()) m_setup.DestinationFields << f.Name;
}

void TImportWizardF::Next()
{
    if (!NextButton->isEnabled()) return;
    if (m_page == 0) {
        try {
            CheckFirstPage();
            TWizardKindPage* p = KindPage(m_setup.Kind);
            if (!p) throw EImportError(ImportFmt(SSourceNotBuilt, {vaccoraImportKindCaption(m_setup.Kind)}));
            p->Prepare();
            p->LoadFromSetup();
        } catch (const std::exception& e) {
            showPage(0);
            showError(QString::fromStdString(e.what()));
            return;
        }
        FormatsPage->LoadFromSetup();
        LastPage->LoadFromSetup();
        showPage(1);
        return;
    }
    if (m_page < lastPageIndex()) showPage(m_page + 1);
}

void TImportWizardF::Back()
{
    if (m_page > 0) showPage(m_page - 1);
}

void TImportWizardF::Help()
{
    if (!m_component.ShowHelpButton) return;
    const QString path = QDir(m_component.ProgramDir()).filePath(QStringLiteral("ImportWizard.hlp"));
    if (QFileInfo(path).isFile()) TWizardDialogs::OpenDocument(path);
}

void TImportWizardF::LoadTemplate(const QString& fileName)
{
    if (m_component.OnLoadTemplate) m_component.OnLoadTemplate(m_component, fileName);
    m_setup.Component.GoToLastPage = m_component.GoToLastPage;
    m_setup.Component.AutoSaveTemplate = m_component.AutoSaveTemplate;
    m_setup.LoadTemplate(fileName);
    m_component.FileName = m_setup.FileName;
    // the check boxes write back to the component
    m_component.GoToLastPage = m_setup.GoToLastPage;
    m_component.AutoSaveTemplate = m_setup.AutoSaveTemplate;
    m_setup.Component.GoToLastPage = m_setup.GoToLastPage;
    m_setup.Component.AutoSaveTemplate = m_setup.AutoSaveTemplate;
    showPage(0);
    LoadFromSetup();
    goToLastPageIfUsable();
}

void TImportWizardF::goToLastPageIfUsable()
{
    if (!m_component.GoToLastPage || !m_setup.MappingUsable()) return;
    try {
        CheckFirstPage();
        TWizardKindPage* p = KindPage(m_setup.Kind);
        if (!p) return;
        p->Prepare();
        p->LoadFromSetup();
    } catch (const std::exception& e) {
        showError(QString::fromStdString(e.what()));
        return;
    }
    showPage(lastPageIndex());
}

void TImportWizardF::SaveTemplate(const QString& fileName) { m_setup.SaveTemplate(fileName); }

void TImportWizardF::post(int code, int value)
{
    if (m_progress) m_progress->Post(code, value);
}

void TImportWizardF::wireEngine(TImportEngine& e)
{
    TImportWizard& c = m_component;
    e.OnBeforeImport = [this, &c](TImportEngine& en) {
        post(ipcState, ipsImporting);
        post(ipcTotal, en.TotalCount);
        if (c.OnBeforeImport) c.OnBeforeImport(c);
    };
    e.OnAfterImport = [this, &c](TImportEngine& en) {
        post(ipcFinished, en.ShowErrorLog ? 1 : 0);
        if (!en.Canceled) post(ipcState, ipsFinished);
        if (c.OnAfterImport) c.OnAfterImport(c);
    };
    e.OnImportRecord = [this, &c](TImportEngine& en) {
        post(ipcRecord, en.LastAction);
        if (c.OnImportRecord) c.OnImportRecord(c);
    };
    e.OnImportError = [this, &c](TImportEngine&) {
        post(ipcError, 1);
        if (c.OnImportRecord) c.OnImportRecord(c);
        if (c.OnImportError) c.OnImportError(c);
    };
    e.OnImportErrorAdv = [this, &c](TImportEngine&) {
        post(ipcValueError, 1);
        if (c.OnImportErrorAdv) c.OnImportErrorAdv(c);
    };
    e.OnNeedCommit = [this, &c](TImportEngine&) {
        post(ipcCommit, 0);
        if (c.OnNeedCommit) c.OnNeedCommit(*this);
    };
    e.OnImportCancel = [this, &c](TImportEngine&, bool& cont) {
        post(ipcState, ipsPaused);
        QWidget* parent = m_progress ? static_cast<QWidget*>(m_progress) : this;
        cont = !TWizardDialogs::Question(parent, TImportLocale::Text(SAbortImportCaption),
                                         TImportLocale::Text(SAbortImportQuestion), false);
        post(ipcState, cont ? ipsResumed : ipsAborted);
        if (c.OnImportCancel) c.OnImportCancel(c, cont);
    };
    if (c.OnBeforePost)
        e.OnBeforePost = [&c](TImportEngine&, TImportRow& row, bool& accept) { c.OnBeforePost(c, row, accept); };
    else
        e.OnBeforePost = nullptr;
    if (c.OnDestinationLocate)
        e.OnDestinationLocate = [&c](TImportEngine&, const QStringList& keys, TImportRow& row, QString& fields,
                                     QVariant& values) { c.OnDestinationLocate(c, keys, row, fields, values); };
    else
        e.OnDestinationLocate = nullptr;
}

void TImportWizardF::ExecuteImport()
{
    if (!ExecuteButton->isEnabled() || m_importing) return;
    const TAllowedImport kind = m_setup.Kind;
    if (!m_engines[kind]) m_engines[kind] = vaccoraCreateImportSource(kind);
    TImportEngine* engine = m_engines[kind].get();
    if (!engine) {
        showError(ImportFmt(SSourceNotBuilt, {vaccoraImportKindCaption(kind)}));
        return;
    }
    m_importing = true;
    UpdateButtons();
    delete m_progress;
    m_progress = nullptr;
    if (m_component.ShowProgress) {
        m_progress = new TImportProgressF(this);
        m_progress->Engine = engine;
        m_progress->show();
        post(ipcState, ipsPreparing);
    }
    bool ran = false;
    try {
        m_setup.ConfigureEngine(*engine, m_component.DataSet, &m_script);
        wireEngine(*engine);
        engine->Execute();
        ran = true;
    } catch (const std::exception& e) {
        if (m_progress) m_progress->hide();
        showError(QString::fromStdString(e.what()));
    }
    QPointer<TImportProgressF> progress = m_progress;
    if (ran && progress && !m_setup.CloseAfterImport) {
        // the user confirms the result with OK
        QEventLoop loop;
        connect(progress.data(), &QDialog::finished, &loop, &QEventLoop::quit);
        if (progress->isVisible() && !progress->Confirmed()) loop.exec();
    }
    delete m_progress;
    m_progress = nullptr;
    m_importing = false;
    UpdateButtons();
    if (ran && m_setup.CloseAfterImport) close();
}

bool TImportWizardF::confirmClose()
{
    if (m_closeConfirmed) return true;
    if (m_importing) return false;
    if (m_component.ConfirmOnCancel &&
        !TWizardDialogs::Question(this, TImportLocale::Text(SQuestionCaption), TImportLocale::Text(SQuitQuestion), true))
        return false;
    m_closeConfirmed = true;
    if (m_setup.AutoSaveTemplate) {
        try {
            m_setup.SaveTemplate(m_component.TemplateFileName);
        } catch (const std::exception& e) {
            showError(QString::fromStdString(e.what()));
        }
    }
    return true;
}

void TImportWizardF::reject()
{
    if (confirmClose()) QDialog::reject();
}

void TImportWizardF::closeEvent(QCloseEvent* e)
{
    if (!confirmClose()) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

void TImportWizardF::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    updateTemplateLabel();
    const auto& hook = m_component.OnShow ? m_component.OnShow : TImportWizard::ShowHook;
    if (!m_shown && hook) {
        m_shown = true;
        QPointer<TImportWizardF> self(this);
        QTimer::singleShot(0, this, [self, hook] {
            if (self) hook(*self);
        });
    }
}
