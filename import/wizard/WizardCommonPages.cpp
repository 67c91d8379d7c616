#include "import/wizard/WizardPages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

// -------------------------------------------------------------------- texts

void vaccoraRegisterWizardTexts()
{
    static bool done = false;
    if (done) return;
    done = true;
    const std::pair<int, const char*> texts[] = {
        {SWizHelp, "&Help"},
        {SWizBack, "< &Back"},
        {SWizNext, "&Next >"},
        {SWizCancel, "&Cancel"},
        {SWizExecute, "&Execute"},
        {SWizSourceFileName, "Source file name"},
        {SWizTemplateOptions, " Template Options "},
        {SWizLoadTemplate, "Load template from file..."},
        {SWizSaveTemplate, "Save template to file..."},
        {SWizGoToLastPage, "Go to the last page after loading a template"},
        {SWizAutoSaveTemplate, "Save template automatically when wizard closes"},
        {SWizColIsEmpty, "Col is empty"},
        {SWizRowIsEmpty, "Row is empty"},
        {SWizCellIsEmpty, "Cell is empty"},
        {SWizSheetIsEmpty, "Sheet is empty"},
        {SWizLongCol, "So long col definition"},
        {SWizLongRow, "So long row definition"},
        {SWizLongCell, "So long cell definition"},
        {SWizLongSheet, "So long sheet definition"},
        {SWizLetterExpected, "Letter expected but %s found (position %d)"},
        {SWizNumberExpected, "Number expected but %s found (position %d)"},
        {SWizRangeCaption, "Range"},
    };
    for (const auto& t : texts) TImportLocale::Register(t.first, QString::fromUtf8(t.second));
}

QString WizText(int id)
{
    vaccoraRegisterWizardTexts();
    return TImportLocale::Text(id);
}

QString vaccoraSeparatorText(QChar c)
{
    const int code = c.unicode();
    if (code >= 33 && code <= 127) return QString(c);
    return QStringLiteral("#%1").arg(code);
}

QChar vaccoraDecodeSeparator(const QString& text, QChar current)
{
    if (text.isEmpty()) return current;
    if (text.size() == 1) return text[0];
    if (text[0] == QLatin1Char('#')) {
        bool ok = false;
        const int code = text.mid(1).toInt(&ok);
        return ok && code >= 0 && code <= 0xFFFF ? QChar(code) : current;
    }
    return current;
}

namespace {

QStringList linesOf(const QPlainTextEdit* e)
{
    QStringList out;
    for (const QString& l : e->toPlainText().split(QLatin1Char('\n')))
        if (!l.isEmpty()) out << l;
    return out;
}

}  // namespace

// --------------------------------------------------------- TReplacementEdit

TReplacementEdit::TReplacementEdit(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Replacement"));
    auto* f = new QFormLayout(this);
    TextToFind = new QLineEdit(this);
    ReplaceWith = new QLineEdit(this);
    IgnoreCase = new QCheckBox(QStringLiteral("Ignore case"), this);
    f->addRow(QStringLiteral("Text to find"), TextToFind);
    f->addRow(QStringLiteral("Replace with"), ReplaceWith);
    f->addRow(QString(), IgnoreCase);
    auto* bb = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    f->addRow(bb);
    connect(bb, &QDialogButtonBox::accepted, this, &TReplacementEdit::accept);
    connect(bb, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TReplacementEdit::accept()
{
    if (TextToFind->text().isEmpty()) {
        TWizardDialogs::Error(this, TImportLocale::Text(STextToFindNotDefined));
        TextToFind->setFocus();
        return;
    }
    QDialog::accept();
}

// ------------------------------------------------------- TWizardFormatsPage

TWizardFormatsPage::TWizardFormatsPage(TImportWizardF& wizard) : QWidget(&wizard), m_wizard(wizard)
{
    auto* v = new QVBoxLayout(this);
    Tabs = new QTabWidget(this);
    v->addWidget(Tabs);

    auto* base = new QWidget(Tabs);
    auto* bg = new QGridLayout(base);
    auto* seps = new QGroupBox(QStringLiteral("Separators"), base);
    auto* sf = new QFormLayout(seps);
    auto sepBox = [&](const char* caption) {
        auto* e = new QLineEdit(seps);
        e->setMaximumWidth(60);
        sf->addRow(QString::fromLatin1(caption), e);
        return e;
    };
    Decimal = sepBox("Decimal");
    Thousand = sepBox("Thousand");
    DateSep = sepBox("Date");
    TimeSep = sepBox("Time");
    auto* fmts = new QGroupBox(QStringLiteral("Date and time"), base);
    auto* ff = new QFormLayout(fmts);
    ShortDate = new QLineEdit(fmts);
    LongDate = new QLineEdit(fmts);
    ShortTime = new QLineEdit(fmts);
    LongTime = new QLineEdit(fmts);
    ff->addRow(QStringLiteral("Short date"), ShortDate);
    ff->addRow(QStringLiteral("Long date"), LongDate);
    ff->addRow(QStringLiteral("Short time"), ShortTime);
    ff->addRow(QStringLiteral("Long time"), LongTime);
    bg->addWidget(seps, 0, 0);
    bg->addWidget(fmts, 0, 1, 1, 2);
    auto wordList = [&](const char* caption, int col) {
        auto* g = new QGroupBox(QString::fromLatin1(caption), base);
        auto* l = new QVBoxLayout(g);
        auto* e = new QPlainTextEdit(g);
        l->addWidget(e);
        bg->addWidget(g, 1, col);
        return e;
    };
    BooleanTrue = wordList("Boolean true", 0);
    BooleanFalse = wordList("Boolean false", 1);
    NullValues = wordList("Null Values", 2);
    Tabs->addTab(base, QStringLiteral("Base formats"));

    auto* data = new QWidget(Tabs);
    auto* dh = new QHBoxLayout(data);
    Fields = new QListWidget(data);
    Fields->setMaximumWidth(160);
    dh->addWidget(Fields);
    auto* inner = new QTabWidget(data);
    dh->addWidget(inner, 1);
    auto* tuning = new QWidget(inner);
    auto* tg = new QGridLayout(tuning);
    auto edit = [&](const char* caption, int row, int col) {
        tg->addWidget(new QLabel(QString::fromLatin1(caption), tuning), row, col);
        auto* e = new QLineEdit(tuning);
        tg->addWidget(e, row, col + 1);
        return e;
    };
    GeneratorValue = edit("Generator value", 0, 0);
    GeneratorStep = edit("Generator step", 0, 2);
    ConstantValue = edit("Constant value", 1, 0);
    NullValue = edit("Null value", 2, 0);
    DefaultValue = edit("Default value", 2, 2);
    LeftQuote = edit("Left quote", 3, 0);
    RightQuote = edit("Right quote", 3, 2);
    auto combo = [&](const char* caption, int row, int col, QStringList items) {
        tg->addWidget(new QLabel(QString::fromLatin1(caption), tuning), row, col);
        auto* c = new QComboBox(tuning);
        c->addItems(items);
        tg->addWidget(c, row, col + 1);
        return c;
    };
    QuoteAction = combo("Quote action", 4, 0, {QStringLiteral("None"), QStringLiteral("Add"), QStringLiteral("Remove")});
    CharCase = combo("Char case", 4, 2,
                     {QStringLiteral("None"), QStringLiteral("Upper"), QStringLiteral("Lower"),
                      QStringLiteral("Upper first"), QStringLiteral("Upper first word")});
    CharSet = combo("Char set", 5, 0, {QStringLiteral("As Is"), QStringLiteral("Ansi"), QStringLiteral("Oem")});
    auto* rg = new QGroupBox(QStringLiteral("Replacements"), tuning);
    auto* rl = new QHBoxLayout(rg);
    Replacements = new QListWidget(rg);
    rl->addWidget(Replacements, 1);
    auto* rb = new QVBoxLayout;
    auto* add = new QPushButton(QStringLiteral("Add Replacement"), rg);
    auto* ed = new QPushButton(QStringLiteral("Edit Replacement"), rg);
    auto* del = new QPushButton(QStringLiteral("Del Replacement"), rg);
    rb->addWidget(add);
    rb->addWidget(ed);
    rb->addWidget(del);
    rb->addStretch();
    rl->addLayout(rb);
    tg->addWidget(rg, 6, 0, 1, 4);
    inner->addTab(tuning, QStringLiteral("Tuning"));
    auto* js = new QWidget(inner);
    auto* jl = new QVBoxLayout(js);
    Script = new QPlainTextEdit(js);
    jl->addWidget(Script);
    inner->addTab(js, QStringLiteral("JScript"));
    Tabs->addTab(data, QStringLiteral("Data formats"));

    TImportFormats& F = m_wizard.Setup().Formats;
    auto sep = [this](QLineEdit* box, QChar TImportFormats::*member) {
        connect(box, &QLineEdit::editingFinished, this,
                [this, box, member] { SeparatorEdited(box, m_wizard.Setup().Formats.*member); });
    };
    sep(Decimal, &TImportFormats::DecimalSeparator);
    sep(Thousand, &TImportFormats::ThousandSeparator);
    sep(DateSep, &TImportFormats::DateSeparator);
    sep(TimeSep, &TImportFormats::TimeSeparator);
    (void)F;
    for (QLineEdit* e : {ShortDate, LongDate, ShortTime, LongTime})
        connect(e, &QLineEdit::textEdited, this, [this] { storeBase(); });
    for (QPlainTextEdit* e : {BooleanTrue, BooleanFalse, NullValues})
        connect(e, &QPlainTextEdit::textChanged, this, [this] { storeBase(); });
    connect(Fields, &QListWidget::currentRowChanged, this, [this] { showField(); });
    for (QLineEdit* e : {GeneratorValue, GeneratorStep, ConstantValue, NullValue, DefaultValue, LeftQuote, RightQuote})
        connect(e, &QLineEdit::textEdited, this, [this] { storeField(); });
    for (QComboBox* c : {QuoteAction, CharCase, CharSet})
        connect(c, &QComboBox::currentIndexChanged, this, [this] { storeField(); });
    connect(Script, &QPlainTextEdit::textChanged, this, [this] { storeField(); });
    connect(add, &QPushButton::clicked, this, [this] { AddReplacement(); });
    connect(ed, &QPushButton::clicked, this, [this] { EditReplacement(); });
    connect(Replacements, &QListWidget::itemDoubleClicked, this, [this] { EditReplacement(); });
    connect(del, &QPushButton::clicked, this, [this] { DelReplacement(); });
}

void TWizardFormatsPage::SeparatorEdited(QLineEdit* box, QChar& target)
{
    target = vaccoraDecodeSeparator(box->text(), target);
    box->setText(vaccoraSeparatorText(target));
}

void TWizardFormatsPage::storeBase()
{
    if (m_filling) return;
    TImportFormats& F = m_wizard.Setup().Formats;
    F.ShortDateFormat = ShortDate->text();
    F.LongDateFormat = LongDate->text();
    F.ShortTimeFormat = ShortTime->text();
    F.LongTimeFormat = LongTime->text();
    F.BooleanTrue = linesOf(BooleanTrue);
    F.BooleanFalse = linesOf(BooleanFalse);
    F.NullValues = linesOf(NullValues);
}

void TWizardFormatsPage::LoadFromSetup()
{
    m_filling = true;
    const TImportFormats& F = m_wizard.Setup().Formats;
    Decimal->setText(vaccoraSeparatorText(F.DecimalSeparator));
    Thousand->setText(vaccoraSeparatorText(F.ThousandSeparator));
    DateSep->setText(vaccoraSeparatorText(F.DateSeparator));
    TimeSep->setText(vaccoraSeparatorText(F.TimeSeparator));
    ShortDate->setText(F.ShortDateFormat);
    LongDate->setText(F.LongDateFormat);
    ShortTime->setText(F.ShortTimeFormat);
    LongTime->setText(F.LongTimeFormat);
    BooleanTrue->setPlainText(F.BooleanTrue.join(QLatin1Char('\n')));
    BooleanFalse->setPlainText(F.BooleanFalse.join(QLatin1Char('\n')));
    NullValues->setPlainText(F.NullValues.join(QLatin1Char('\n')));
    const int row = Fields->currentRow();
    Fields->clear();
    Fields->addItems(m_wizard.DestinationFields());
    m_filling = false;
    if (Fields->count() > 0) Fields->setCurrentRow(row >= 0 && row < Fields->count() ? row : 0);
    showField();
}

TImportFieldFormat& TWizardFormatsPage::CurrentFormat()
{
    TImportFieldFormats& ff = m_wizard.Setup().FieldFormats;
    const QString name = Fields->currentItem() ? Fields->currentItem()->text() : QString();
    if (TImportFieldFormat* f = ff.Find(name)) return *f;
    return ff.Add(name);
}

void TWizardFormatsPage::showField()
{
    if (m_filling) return;
    const bool has = Fields->currentItem() != nullptr;
    m_filling = true;
    const TImportFieldFormat* f =
        has ? m_wizard.Setup().FieldFormats.Find(Fields->currentItem()->text()) : nullptr;
    const TImportFieldFormat empty;
    const TImportFieldFormat& x = f ? *f : empty;
    GeneratorValue->setText(QString::number(x.GeneratorValue));
    GeneratorStep->setText(QString::number(x.GeneratorStep));
    ConstantValue->setText(x.ConstantValue);
    NullValue->setText(x.NullValue);
    DefaultValue->setText(x.DefaultValue);
    LeftQuote->setText(x.LeftQuote);
    RightQuote->setText(x.RightQuote);
    QuoteAction->setCurrentIndex(x.QuoteAction);
    CharCase->setCurrentIndex(x.CharCase);
    CharSet->setCurrentIndex(x.CharSet);
    Script->setPlainText(x.Script.join(QLatin1Char('\n')));
    m_filling = false;
    fillReplacements();
}

void TWizardFormatsPage::storeField()
{
    if (m_filling || !Fields->currentItem()) return;
    TImportFieldFormat& f = CurrentFormat();
    bool ok = false;
    f.GeneratorValue = GeneratorValue->text().trimmed().toLongLong(&ok);
    if (!ok) f.GeneratorValue = 0;  // not a number counts as 0
    f.GeneratorStep = GeneratorStep->text().trimmed().toInt(&ok);
    if (!ok) f.GeneratorStep = 0;
    f.ConstantValue = ConstantValue->text();
    f.NullValue = NullValue->text();
    f.DefaultValue = DefaultValue->text();
    f.LeftQuote = LeftQuote->text();
    f.RightQuote = RightQuote->text();
    f.QuoteAction = TQuoteAction(qMax(0, QuoteAction->currentIndex()));
    f.CharCase = TImportCharCase(qMax(0, CharCase->currentIndex()));
    f.CharSet = TImportCharSet(qMax(0, CharSet->currentIndex()));
    const QString script = Script->toPlainText();
    f.Script = script.isEmpty() ? QStringList() : script.split(QLatin1Char('\n'));
}

void TWizardFormatsPage::fillReplacements()
{
    Replacements->clear();
    if (!Fields->currentItem()) return;
    if (const TImportFieldFormat* f = m_wizard.Setup().FieldFormats.Find(Fields->currentItem()->text()))
        for (const TImportReplacement& r : f->Replacements) Replacements->addItem(r.DisplayName());
}

bool TWizardFormatsPage::execEditor(TReplacementEdit& ed) { return ed.exec() == QDialog::Accepted; }

void TWizardFormatsPage::AddReplacement()
{
    if (!Fields->currentItem()) return;
    TReplacementEdit ed(this);
    if (!execEditor(ed)) return;
    CurrentFormat().Replacements.push_back({ed.TextToFind->text(), ed.ReplaceWith->text(), ed.IgnoreCase->isChecked()});
    fillReplacements();
}

void TWizardFormatsPage::EditReplacement()
{
    const int i = Replacements->currentRow();
    if (!Fields->currentItem() || i < 0) return;
    TImportReplacement& r = CurrentFormat().Replacements[size_t(i)];
    TReplacementEdit ed(this);
    ed.TextToFind->setText(r.TextToFind);
    ed.ReplaceWith->setText(r.ReplaceWith);
    ed.IgnoreCase->setChecked(r.IgnoreCase);
    if (!execEditor(ed)) return;
    r = {ed.TextToFind->text(), ed.ReplaceWith->text(), ed.IgnoreCase->isChecked()};
    fillReplacements();
    Replacements->setCurrentRow(i);
}

void TWizardFormatsPage::DelReplacement()
{
    const int i = Replacements->currentRow();
    if (!Fields->currentItem() || i < 0) return;
    auto& list = CurrentFormat().Replacements;
    list.erase(list.begin() + i);
    fillReplacements();
}

// ---------------------------------------------------------- TWizardLastPage

TWizardLastPage::TWizardLastPage(TImportWizardF& wizard) : QWidget(&wizard), m_wizard(wizard)
{
    auto* v = new QVBoxLayout(this);
    Tabs = new QTabWidget(this);
    v->addWidget(Tabs);

    auto* commit = new QWidget(Tabs);
    auto* cv = new QVBoxLayout(commit);
    auto* rc = new QGroupBox(QStringLiteral("Record count"), commit);
    auto* rcl = new QGridLayout(rc);
    ImportAll = new QRadioButton(QStringLiteral("Import all records"), rc);
    ImportFirst = new QRadioButton(QStringLiteral("Import only first"), rc);
    ImportCount = new QLineEdit(rc);
    ImportCount->setMaximumWidth(80);
    rcl->addWidget(ImportAll, 0, 0, 1, 3);
    rcl->addWidget(ImportFirst, 1, 0);
    rcl->addWidget(ImportCount, 1, 1);
    rcl->addWidget(new QLabel(QStringLiteral("record(s)"), rc), 1, 2);
    rcl->setColumnStretch(3, 1);
    cv->addWidget(rc);
    auto* cg = new QGroupBox(QStringLiteral("Commit"), commit);
    auto* cgl = new QGridLayout(cg);
    CommitWhenDone = new QRadioButton(QStringLiteral("Commit when done"), cg);
    CommitAfterEach = new QRadioButton(QStringLiteral("Commit after each"), cg);
    CommitCount = new QLineEdit(cg);
    CommitCount->setMaximumWidth(80);
    cgl->addWidget(CommitWhenDone, 0, 0, 1, 3);
    cgl->addWidget(CommitAfterEach, 1, 0);
    cgl->addWidget(CommitCount, 1, 1);
    cgl->addWidget(new QLabel(QStringLiteral("record(s)"), cg), 1, 2);
    cgl->setColumnStretch(3, 1);
    cv->addWidget(cg);
    CloseAfterImport = new QCheckBox(QStringLiteral("Close wizard after import"), commit);
    cv->addWidget(CloseAfterImport);
    auto* eg = new QGroupBox(QStringLiteral("Error log"), commit);
    auto* egl = new QGridLayout(eg);
    EnableErrorLog = new QCheckBox(QStringLiteral("Enable error log"), eg);
    ErrorLogFileName = new QLineEdit(eg);
    BrowseLog = new QPushButton(QStringLiteral("..."), eg);
    BrowseLog->setFixedWidth(30);
    RewriteLog = new QCheckBox(QStringLiteral("Rewrite error log file if it exists"), eg);
    ShowLog = new QCheckBox(QStringLiteral("Show error log after import"), eg);
    egl->addWidget(EnableErrorLog, 0, 0, 1, 2);
    egl->addWidget(new QLabel(QStringLiteral("Error Log File Name"), eg), 1, 0, 1, 2);
    egl->addWidget(ErrorLogFileName, 2, 0);
    egl->addWidget(BrowseLog, 2, 1);
    egl->addWidget(RewriteLog, 3, 0, 1, 2);
    egl->addWidget(ShowLog, 4, 0, 1, 2);
    cv->addWidget(eg);
    cv->addStretch();
    Tabs->addTab(commit, QStringLiteral("Commit Options"));

    auto* adv = new QWidget(Tabs);
    auto* ag = new QGridLayout(adv);
    ag->addWidget(new QLabel(QStringLiteral("Import Mode"), adv), 0, 0);
    ImportMode = new QComboBox(adv);
    ImportMode->addItems({QStringLiteral("Insert All"), QStringLiteral("Insert New"), QStringLiteral("Update"),
                          QStringLiteral("Update or Insert"), QStringLiteral("Delete"), QStringLiteral("Delete or Insert")});
    ag->addWidget(ImportMode, 0, 1);
    ag->addWidget(new QLabel(QStringLiteral("Add Type"), adv), 1, 0);
    AddType = new QComboBox(adv);
    AddType->addItems({QStringLiteral("Append"), QStringLiteral("Insert")});
    ag->addWidget(AddType, 1, 1);
    ImportEmptyRows = new QCheckBox(QStringLiteral("Import Empty Rows"), adv);
    AutoTrimValue = new QCheckBox(QStringLiteral("Auto Trim Value"), adv);
    ag->addWidget(ImportEmptyRows, 2, 0, 1, 2);
    ag->addWidget(AutoTrimValue, 3, 0, 1, 2);
    auto* lists = new QHBoxLayout;
    auto listBox = [&](const char* caption) {
        auto* col = new QVBoxLayout;
        col->addWidget(new QLabel(QString::fromLatin1(caption), adv));
        auto* l = new QListWidget(adv);
        l->setDragDropMode(QAbstractItemView::DragDrop);
        l->setDefaultDropAction(Qt::MoveAction);
        l->setSelectionMode(QAbstractItemView::ExtendedSelection);
        col->addWidget(l);
        lists->addLayout(col, 1);
        return l;
    };
    Available = listBox("Available Columns");
    auto* arrows = new QVBoxLayout;
    arrows->addStretch();
    AddKey = new QPushButton(QStringLiteral(">"), adv);
    AddAllKeys = new QPushButton(QStringLiteral(">>"), adv);
    RemoveKey = new QPushButton(QStringLiteral("<"), adv);
    RemoveAllKeys = new QPushButton(QStringLiteral("<<"), adv);
    for (QPushButton* b : {AddKey, AddAllKeys, RemoveKey, RemoveAllKeys}) {
        b->setFixedWidth(36);
        arrows->addWidget(b);
    }
    arrows->addStretch();
    // the arrows sit between the two lists
    lists->insertLayout(1, arrows);
    Keys = listBox("Key Columns");
    ag->addLayout(lists, 4, 0, 1, 3);
    ag->setColumnStretch(2, 1);
    Tabs->addTab(adv, QStringLiteral("Advanced"));
    SaveTemplateButton = new QPushButton(WizText(SWizSaveTemplate), this);
    SaveTemplateButton->setAutoDefault(false);
    auto* sb = new QHBoxLayout;
    sb->addStretch();
    sb->addWidget(SaveTemplateButton);
    v->addLayout(sb);

    TImportSetup* S = &m_wizard.Setup();
    auto flag = [this](QAbstractButton* b, bool TImportSetup::*member) {
        connect(b, &QAbstractButton::toggled, this, [this, member](bool on) {
            if (!m_filling) m_wizard.Setup().*member = on;
        });
    };
    flag(CommitWhenDone, &TImportSetup::CommitAfterDone);
    flag(CloseAfterImport, &TImportSetup::CloseAfterImport);
    flag(EnableErrorLog, &TImportSetup::ErrorLog);
    flag(RewriteLog, &TImportSetup::RewriteErrorLogFile);
    flag(ShowLog, &TImportSetup::ShowErrorLog);
    flag(ImportEmptyRows, &TImportSetup::ImportEmptyRows);
    flag(AutoTrimValue, &TImportSetup::AutoTrimValue);
    connect(ImportAll, &QRadioButton::toggled, this, [this, S](bool all) {
        if (m_filling) return;
        ImportCount->setEnabled(!all);
        S->ImportRecCount = all ? 0 : m_lastImportCount;
    });
    connect(ImportCount, &QLineEdit::editingFinished, this, [this] { importCountEdited(); });
    connect(CommitAfterEach, &QRadioButton::toggled, this, [this](bool on) { CommitCount->setEnabled(on); });
    connect(CommitCount, &QLineEdit::editingFinished, this, [this] { commitCountEdited(); });
    connect(ErrorLogFileName, &QLineEdit::textEdited, this, [S](const QString& t) { S->ErrorLogFileName = t; });
    connect(BrowseLog, &QPushButton::clicked, this, [this, S] {
        const QString f = TWizardDialogs::SaveFile(this, QStringLiteral("Log files (*.log)|*.log|All files (*.*)|*.*"),
                                                   S->ErrorLogFileName);
        if (f.isEmpty()) return;
        S->ErrorLogFileName = f;
        ErrorLogFileName->setText(f);
    });
    connect(ImportMode, &QComboBox::currentIndexChanged, this, [this, S](int i) {
        if (!m_filling && i >= 0) S->ImportMode = TImportMode(i);
    });
    connect(AddType, &QComboBox::currentIndexChanged, this, [this, S](int i) {
        if (!m_filling && i >= 0) S->AddType = TImportAddType(i);
    });
    connect(AddKey, &QPushButton::clicked, this, [this] { MoveKeys(true, false); });
    connect(AddAllKeys, &QPushButton::clicked, this, [this] { MoveKeys(true, true); });
    connect(RemoveKey, &QPushButton::clicked, this, [this] { MoveKeys(false, false); });
    connect(RemoveAllKeys, &QPushButton::clicked, this, [this] { MoveKeys(false, true); });
    connect(Available, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* it) {
        Available->clearSelection();
        it->setSelected(true);
        MoveKeys(true, false);
    });
    connect(Keys, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* it) {
        Keys->clearSelection();
        it->setSelected(true);
        MoveKeys(false, false);
    });
    // dragging between the lists: the model follows the Key Columns list
    for (QListWidget* l : {Available, Keys}) {
        connect(l->model(), &QAbstractItemModel::rowsInserted, this, [this] { SyncKeys(); });
        connect(l->model(), &QAbstractItemModel::rowsRemoved, this, [this] { SyncKeys(); });
    }
    connect(SaveTemplateButton, &QPushButton::clicked, this, [this] {
        const QString f = TWizardDialogs::SaveFile(this, TImportLocale::Text(STemplateFilter),
                                                   m_wizard.Component().TemplateFileName);
        if (f.isEmpty()) return;
        try {
            m_wizard.SaveTemplate(f);
        } catch (const std::exception& e) {
            TWizardDialogs::Error(this, QString::fromStdString(e.what()));
        }
    });
}

void TWizardLastPage::importCountEdited()
{
    bool ok = false;
    const int n = ImportCount->text().trimmed().toInt(&ok);
    if (!ok) {
        // not a number: the previous count comes back
        ImportCount->setText(QString::number(m_lastImportCount));
        return;
    }
    m_lastImportCount = n;
    if (ImportFirst->isChecked()) m_wizard.Setup().ImportRecCount = n;
}

void TWizardLastPage::commitCountEdited()
{
    bool ok = false;
    const int n = CommitCount->text().trimmed().toInt(&ok);
    if (!ok) return;  // ignored
    m_wizard.Setup().CommitRecCount = n;
}

void TWizardLastPage::LoadFromSetup()
{
    m_filling = true;
    const TImportSetup& S = m_wizard.Setup();
    if (S.ImportRecCount > 0) m_lastImportCount = S.ImportRecCount;
    ImportAll->setChecked(S.ImportRecCount <= 0);
    ImportFirst->setChecked(S.ImportRecCount > 0);
    ImportCount->setText(QString::number(m_lastImportCount));
    ImportCount->setEnabled(S.ImportRecCount > 0);
    CommitWhenDone->setChecked(S.CommitAfterDone);
    CommitAfterEach->setChecked(!S.CommitAfterDone);
    CommitCount->setText(QString::number(S.CommitRecCount));
    CommitCount->setEnabled(!S.CommitAfterDone);
    CloseAfterImport->setChecked(S.CloseAfterImport);
    EnableErrorLog->setChecked(S.ErrorLog);
    ErrorLogFileName->setText(S.ErrorLogFileName);
    RewriteLog->setChecked(S.RewriteErrorLogFile);
    ShowLog->setChecked(S.ShowErrorLog);
    ImportMode->setCurrentIndex(S.ImportMode);
    AddType->setCurrentIndex(S.AddType);
    ImportEmptyRows->setChecked(S.ImportEmptyRows);
    AutoTrimValue->setChecked(S.AutoTrimValue);
    Available->clear();
    Keys->clear();
    for (const QString& f : m_wizard.DestinationFields())
        if (!S.KeyColumns.contains(f, Qt::CaseInsensitive)) Available->addItem(f);
    Keys->addItems(S.KeyColumns);
    m_filling = false;
}

void TWizardLastPage::MoveKeys(bool toKeys, bool all)
{
    QListWidget* from = toKeys ? Available : Keys;
    QListWidget* to = toKeys ? Keys : Available;
    m_filling = true;
    for (int i = 0; i < from->count();) {
        if (all || from->item(i)->isSelected()) {
            to->addItem(from->takeItem(i));
        } else {
            ++i;
        }
    }
    m_filling = false;
    SyncKeys();
}

void TWizardLastPage::SyncKeys()
{
    if (m_filling) return;
    QStringList keys;
    for (int i = 0; i < Keys->count(); ++i) keys << Keys->item(i)->text();
    m_wizard.Setup().KeyColumns = keys;
}
