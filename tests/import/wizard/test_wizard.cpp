// The import wizard on the offscreen platform against a real embedded
// database: page flow, checks, progress window, templates, CSV/XLS/TXT
// imports through the window, and screenshots of every page.
#include "app/Modules.h"
#include "app/Unit1.h"
#include "data/DataStore.h"
#include "data/Schema.h"
#include "import/engine/ImportIni.h"
#include "import/sources/spreadsheet/SpreadsheetSources.h"
#include "import/sources/text/TextSources.h"
#include "import/wizard/ImportProgress.h"
#include "import/wizard/ImportWizard.h"
#include "import/wizard/TextPages.h"
#include "import/wizard/WizardPages.h"
#include "import/wizard/XlsPage.h"
#include "import/wizard/XlsRangeEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString fixture(const char* name) { return QStringLiteral(VACCORA_FIXTURES "/") + QLatin1String(name); }

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

int countRows(TDataStore& s, const QString& where = QString())
{
    TIBStatement st(s.IBTransaction1, QStringLiteral("select count(*) from KU ") + where);
    st.OpenCursor();
    st.Fetch();
    return st.Column(0).toInt();
}

// Clicks OK on the progress window once the run has finished.
struct ProgressConfirmer {
    QTimer timer;
    QString status;
    explicit ProgressConfirmer(TImportWizardF& w)
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this, &w] {
            TImportProgressF* p = w.Progress();
            // OK once the final state is shown
            if (p && p->Button->text() == QLatin1String("OK") &&
                p->StatusLabel->text() != TImportLocale::Text(SStateImporting)) {
                status = p->StatusLabel->text();
                p->Button->click();
            }
        });
        timer.start();
    }
};

}  // namespace

class TestWizard : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    QString db;
    QStringList errors;
    QStringList questions;
    bool answer = true;
    std::unique_ptr<TDataStore> store;

    void program(TImportWizard& w)
    {
        w.DataSet = &store->IBTable1;
        w.CommitAfterDone = true;
        w.Formats = TImportFormats::ProgramDefaults();
        w.ProgramDirectory = dir.path();
    }
    QString csv()
    {
        const QString p = dir.filePath(QStringLiteral("farms.csv"));
        writeFile(p, "FARMA;DATUM;SB;DOJNICE\n41;5.3.2013;120;Alma\n41;5.3.2013;90;Bela\n42;6.3.2013;300;Cilka\n"
                     "42;6.3.2013;80;Dora\n");
        return p;
    }
    // page 0 of a CSV import with the file, skip 1 line, columns 1-4 mapped by Auto fill
    void csvUpToPage1(TImportWizardF& f, const QString& file)
    {
        f.KindRadio[aiCSV]->click();
        f.FileNameEdit->setText(file);
        f.DelimiterBox->setCurrentText(QStringLiteral(";"));
        f.NextButton->click();
        QCOMPARE(f.PageIndex(), 1);
        auto* page = static_cast<TCSVPage*>(f.KindPage(aiCSV));
        page->Skip->setValue(1);
        page->DoAutoFill();
    }
    void shot(QWidget* w, const QString& name)
    {
        const QString d = qEnvironmentVariable("VACCORA_SCREENSHOTS");
        if (d.isEmpty()) return;
        QDir().mkpath(d);
        w->grab().save(QDir(d).filePath(name + QStringLiteral(".png")));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        vaccoraRegisterTextSources();
        vaccoraRegisterSpreadsheetSources();
        TWizardDialogs::Error = [this](QWidget*, const QString& t) { errors << t; };
        TWizardDialogs::Question = [this](QWidget*, const QString& c, const QString& t, bool) {
            questions << c + QLatin1Char('|') + t;
            return answer;
        };
        TWizardDialogs::OpenDocument = [this](const QString& p) { questions << QStringLiteral("open|") + p; };
        TForm1::ErrorSink = [this](const QString& t) { errors << t; };
    }
    void init()
    {
        errors.clear();
        questions.clear();
        answer = true;
        TImportWizard::ShowHook = nullptr;
        store.reset();
        db = dir.filePath(QStringLiteral("w%1.gdb").arg(QDateTime::currentMSecsSinceEpoch()));
        vaccoraCreateDatabase(db, false);
        store = std::make_unique<TDataStore>(db);
        store->Open();
    }
    void cleanup() { store.reset(); }

    void componentChecks()
    {
        TImportWizard w;
        QVERIFY_THROWS_EXCEPTION(EImportError, w.Execute());  // no dataset
        try {
            w.Execute();
        } catch (const EImportError& e) {
            QCOMPARE(e.Message, QStringLiteral("DataSet is not defined"));
        }
        w.DataSet = &store->IBTable1;
        w.AllowedImports = 0;
        try {
            w.Execute();
            QFAIL("no error");
        } catch (const EImportError& e) {
            QCOMPARE(e.Message, QStringLiteral("Property AllowedImports can not contain empty set"));
        }
        w.AllowedImports = 1u << aiCSV;
        w.ImportDestination = qidUserDefined;
        QVERIFY_THROWS_EXCEPTION(EImportError, w.Execute());
        w.ImportDestination = qidDataSet;
        w.AutoLoadTemplate = true;
        w.TemplateFileName = dir.filePath(QStringLiteral("none.imp"));
        try {
            w.Execute();
            QFAIL("no error");
        } catch (const EImportError& e) {
            QCOMPARE(e.Message, QStringLiteral("File %1 does not exist").arg(w.TemplateFileName));
        }
    }

    void firstPageAndButtons()
    {
        TImportWizard c;
        program(c);
        TImportWizardF f(c, nullptr);
        // built kinds only; the first enabled one in the preference order
        QVERIFY(f.KindRadio[aiXLS]->isEnabled() && f.KindRadio[aiCSV]->isEnabled() && f.KindRadio[aiTXT]->isEnabled());
        QVERIFY(!f.KindRadio[aiDBF]->isEnabled());
        QVERIFY(f.KindRadio[aiXLS]->isChecked());
        QCOMPARE(f.KindRadio[aiXLS]->text(), QStringLiteral("MS Excel"));
        QCOMPARE(f.windowTitle(), QStringLiteral("Import data wizard"));
        QCOMPARE(f.NextButton->text(), QStringLiteral("&Next >"));
        QVERIFY(!f.NextButton->isEnabled() && !f.BackButton->isEnabled() && !f.ExecuteButton->isEnabled());
        QVERIFY(!f.DelimiterBox->isEnabled());

        // the kind's extension replaces the file's
        f.FileNameEdit->setText(dir.filePath(QStringLiteral("a.txt")));
        QVERIFY(f.NextButton->isEnabled());
        f.KindRadio[aiCSV]->click();
        QCOMPARE(f.FileNameEdit->text(), dir.filePath(QStringLiteral("a.csv")));
        QCOMPARE(f.windowTitle(), QStringLiteral("Import data wizard - Import from a.csv"));
        QVERIFY(f.DelimiterBox->isEnabled() && f.QuoteBox->isEnabled());
        f.DelimiterBox->setCurrentText(QString());
        QVERIFY(!f.NextButton->isEnabled());  // CSV needs a delimiter
        f.DelimiterBox->setCurrentText(QStringLiteral("TAB"));
        QCOMPARE(f.Setup().Kinds[aiCSV].Options.value(QStringLiteral("Delimiter")), QStringLiteral("\t"));

        // checks of Next, in order; the wizard stays on page 0
        struct Case { TAllowedImport kind; const char* file; QString error; };
        writeFile(dir.filePath(QStringLiteral("data.XLS")), "x");
        writeFile(dir.filePath(QStringLiteral("data.xlsx")), "x");
        writeFile(dir.filePath(QStringLiteral("page.htm")), "x");
        const QList<Case> cases = {
            {aiXLS, "missing.xls", QStringLiteral("File %1 does not exist").arg(dir.filePath(QStringLiteral("missing.xls")))},
            {aiXLS, "data.xlsx", QStringLiteral("Wrong file type, must be \".xls\"")},
            {aiCSV, "data.XLS", QStringLiteral("Wrong file type, must be \".csv\"")},
            {aiXLS, "data.XLS", QString()},
            {aiHTML, "page.htm", QString()},
        };
        c.AutoChangeExtension = false;
        for (const Case& k : cases) {
            f.Setup().Kind = k.kind;
            f.Setup().FileName = dir.filePath(QLatin1String(k.file));
            QString got;
            try {
                f.CheckFirstPage();
            } catch (const EImportError& e) {
                got = e.Message;
            }
            QCOMPARE(got, k.error);
        }
        // a preview that cannot be read fails while the page is prepared: back on page 0
        f.ChooseKind(aiCSV);
        f.FileNameEdit->setText(csv());
        f.DelimiterBox->setCurrentText(QStringLiteral(";"));
        f.Setup().Kinds[aiCSV].Options.insert(QStringLiteral("Encoding"), QString::number(ctArmscii8));
        errors.clear();
        f.NextButton->click();
        QCOMPARE(f.PageIndex(), 0);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(QLatin1String("has no code page")), qPrintable(errors[0]));
        f.Setup().Kinds[aiCSV].Options.insert(QStringLiteral("Encoding"), QStringLiteral("0"));

        // closed destination
        f.KindRadio[aiCSV]->click();
        f.FileNameEdit->setText(csv());
        store->IBTable1.Close();
        errors.clear();
        f.NextButton->click();
        QCOMPARE(errors, QStringList{QStringLiteral("Cannot perform this operation on a closed Import Destination")});
        QCOMPARE(f.PageIndex(), 0);
        store->IBTable1.Open();

        // page flow and button states
        f.DelimiterBox->setCurrentText(QStringLiteral(";"));
        f.NextButton->click();
        QCOMPARE(f.PageIndex(), 1);
        QCOMPARE(f.StepLabel->text(), QStringLiteral("Step 1 of 3"));
        QVERIFY(f.BackButton->isEnabled() && !f.NextButton->isEnabled() && !f.ExecuteButton->isEnabled());
        auto* page = static_cast<TCSVPage*>(f.KindPage(aiCSV));
        QCOMPARE(page->PreviewColumns(), 4);
        page->Fields->selectRow(7);  // SB
        page->MapColumn(2);
        QCOMPARE(f.Setup().Kinds[aiCSV].Locator(QStringLiteral("SB")), QStringLiteral("3"));
        QVERIFY(f.NextButton->isEnabled() && f.ExecuteButton->isEnabled());
        page->DoClear();
        QVERIFY(!f.ExecuteButton->isEnabled());
        page->DoAutoFill();  // 11 fields, 4 columns
        QCOMPARE(f.Setup().MapLines(),
                 (QStringList{QStringLiteral("FARMA=1"), QStringLiteral("DATUM=2"), QStringLiteral("LAKTACE=3"),
                              QStringLiteral("LAKTACE_DEN=4")}));
        f.NextButton->click();
        QCOMPARE(f.StepLabel->text(), QStringLiteral("Step 2 of 3"));
        QVERIFY(f.NextButton->isEnabled() && f.ExecuteButton->isEnabled());
        f.NextButton->click();
        QCOMPARE(f.StepLabel->text(), QStringLiteral("Step 3 of 3"));
        QVERIFY(!f.NextButton->isEnabled() && f.BackButton->isEnabled() && f.ExecuteButton->isEnabled());
        f.BackButton->click();
        f.BackButton->click();
        f.BackButton->click();
        QCOMPARE(f.PageIndex(), 0);
        QVERIFY(f.StepLabel->text().isEmpty());

        // help opens the file beside the program only when it is there
        f.HelpButton->click();
        QVERIFY(questions.isEmpty());
        writeFile(dir.filePath(QStringLiteral("ImportWizard.hlp")), "help");
        f.HelpButton->click();
        QCOMPARE(questions, QStringList{QStringLiteral("open|") + dir.filePath(QStringLiteral("ImportWizard.hlp"))});
    }

    void formatsAndLastPage()
    {
        TImportWizard c;
        program(c);
        TImportWizardF f(c, nullptr);
        TWizardFormatsPage* fp = f.FormatsPage;
        QCOMPARE(fp->Thousand->text(), QStringLiteral("#160"));
        // one character, "#" and a code; anything else keeps the character
        struct Case { const char* typed; QChar stored; const char* shown; };
        const Case cases[] = {{",", QLatin1Char(','), ","}, {"#32", QLatin1Char(' '), "#32"},
                              {"ab", QLatin1Char(' '), "#32"}, {"#160", QChar(0xA0), "#160"}, {"", QChar(0xA0), "#160"}};
        for (const Case& k : cases) {
            fp->Thousand->setText(QString::fromLatin1(k.typed));
            emit fp->Thousand->editingFinished();
            QCOMPARE(f.Setup().Formats.ThousandSeparator, k.stored);
            QCOMPARE(fp->Thousand->text(), QString::fromLatin1(k.shown));
        }
        // field formats: generator texts that are not numbers count as 0
        fp->Fields->setCurrentRow(9);  // DOJNICE
        fp->GeneratorStep->setText(QStringLiteral("x"));
        emit fp->GeneratorStep->textEdited(QStringLiteral("x"));
        fp->ConstantValue->setText(QStringLiteral("K"));
        emit fp->ConstantValue->textEdited(QStringLiteral("K"));
        const TImportFieldFormat* ff = f.Setup().FieldFormats.Find(QStringLiteral("DOJNICE"));
        QVERIFY(ff);
        QCOMPARE(ff->GeneratorStep, 0);
        QCOMPARE(ff->ConstantValue, QStringLiteral("K"));
        // the replacement editor refuses an empty text to find
        TReplacementEdit ed(nullptr);
        ed.accept();
        QCOMPARE(errors, QStringList{QStringLiteral("Text to find must be defined")});
        QCOMPARE(ed.result(), 0);

        TWizardLastPage* lp = f.LastPage;
        QVERIFY(lp->CommitWhenDone->isChecked() && lp->ImportAll->isChecked());
        lp->ImportFirst->setChecked(true);
        lp->ImportCount->setText(QStringLiteral("5"));
        emit lp->ImportCount->editingFinished();
        QCOMPARE(f.Setup().ImportRecCount, 5);
        lp->ImportCount->setText(QStringLiteral("five"));
        emit lp->ImportCount->editingFinished();
        QCOMPARE(lp->ImportCount->text(), QStringLiteral("5"));  // previous count back
        lp->ImportAll->setChecked(true);
        QCOMPARE(f.Setup().ImportRecCount, 0);
        lp->CommitCount->setText(QStringLiteral("x"));
        emit lp->CommitCount->editingFinished();
        QCOMPARE(f.Setup().CommitRecCount, 1000);  // ignored
        // key columns by button and double click
        lp->Available->item(0)->setSelected(true);  // FARMA
        lp->AddKey->click();
        QCOMPARE(f.Setup().KeyColumns, QStringList{QStringLiteral("FARMA")});
        emit lp->Available->itemDoubleClicked(lp->Available->item(0));  // DATUM
        QCOMPARE(f.Setup().KeyColumns, (QStringList{QStringLiteral("FARMA"), QStringLiteral("DATUM")}));
        emit lp->Keys->itemDoubleClicked(lp->Keys->item(0));
        QCOMPARE(f.Setup().KeyColumns, QStringList{QStringLiteral("DATUM")});
        lp->RemoveAllKeys->click();
        QVERIFY(f.Setup().KeyColumns.isEmpty());
        QCOMPARE(lp->Available->count(), 11);
        lp->ImportMode->setCurrentIndex(3);
        QCOMPARE(f.Setup().ImportMode, qimUpdateOrInsert);
    }

    void csvImportThroughMainWindowRefreshesFarms()
    {
        const QString file = csv();
        int commits = 0;
        TImportWizard::ShowHook = [&](TImportWizardF& f) {
            csvUpToPage1(f, file);
            auto* page = static_cast<TCSVPage*>(f.KindPage(aiCSV));
            // FARMA, DATUM, SB = 3, DOJNICE = 4
            page->DoClear();
            page->Fields->selectRow(0);
            page->MapColumn(0);
            page->MapColumn(1);
            page->Fields->selectRow(7);
            page->MapColumn(2);
            page->Fields->selectRow(9);
            page->MapColumn(3);
            ProgressConfirmer ok(f);
            f.ExecuteButton->click();  // from page 1: the values as loaded
            QCOMPARE(ok.status, QStringLiteral("Finished"));
            commits = countRows(*store);
            f.CancelButton->click();
        };
        TForm1 form(*store, nullptr, vaccoraImportModule());
        form.show();
        QCOMPARE(form.DBLookupListBox1->count(), 0);
        form.Button2->click();
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
        QCOMPARE(commits, 4);
        QCOMPARE(form.DBLookupListBox1->count(), 2);
        QCOMPARE(form.DBLookupListBox1->item(0)->text(), QStringLiteral("41"));
        QCOMPARE(questions, QStringList{QStringLiteral("Question|Do you want to quit?")});
        // durable at once: another connection sees the rows
        TDataStore other(db);
        other.Open();
        QCOMPARE(countRows(other, QStringLiteral("where DOJNICE = 'Cilka' and SB = 300")), 1);
        other.Close();

        // a wizard closed without an import does not refresh
        store->IBQuery2.Close();
        TImportWizard::ShowHook = [](TImportWizardF& f) { f.CancelButton->click(); };
        form.Button2->click();
        QVERIFY(!store->IBQuery2.Active());
    }

    void progressCountersCancelAndAbort()
    {
        const QString file = csv();
        TImportWizard c;
        program(c);
        c.ImportRecCount = 3;  // taken from the component on Execute from page 1
        int records = 0, afterImports = 0, commits = 0;
        QStringList status;
        c.OnImportRecord = [&](TImportWizard&) { ++records; };
        c.OnAfterImport = [&](TImportWizard&) { ++afterImports; };
        c.OnNeedCommit = [&](TImportWizardF&) { ++commits; };
        c.OnShow = [&](TImportWizardF& f) {
            csvUpToPage1(f, file);
            {
                ProgressConfirmer ok(f);
                f.ExecuteButton->click();
                status << ok.status;
            }
            QCOMPARE(records, 3);
            QCOMPARE(commits, 1);
            // second run in the same window, cancelled after the first row
            f.Setup().ImportRecCount = 0;
            c.OnImportRecord = [&](TImportWizard&) {
                if (f.Progress()) f.Progress()->Button->click();  // Cancel
            };
            answer = true;  // yes, abort
            {
                ProgressConfirmer ok(f);
                f.ExecuteButton->click();
                status << ok.status;
            }
            QCOMPARE(questions.last(), QStringLiteral("Are you sure...|Are you sure you want to abort import?"));
            answer = false;
            f.CancelButton->click();  // No: stays open
            QVERIFY(f.isVisible());
            QCOMPARE(f.Setup().Kinds[aiCSV].Locator(QStringLiteral("FARMA")), QStringLiteral("1"));
            answer = true;
            f.CancelButton->click();
        };
        c.Execute();
        QCOMPARE(status, (QStringList{QStringLiteral("Finished"), QStringLiteral("Aborted")}));
        QCOMPARE(afterImports, 2);
        QCOMPARE(countRows(*store), 4);  // 3 + 1 before the abort
        QCOMPARE(commits, 1);            // the aborted run asks for no commit

        // the window's counters, driven by its messages
        TImportProgressF p(nullptr);
        p.Post(ipcState, ipsImporting);
        p.Post(ipcTotal, 4);
        p.Post(ipcRecord, ilaInserted);
        p.Post(ipcRecord, ilaEdited);
        p.Post(ipcError, 1);
        p.Post(ipcValueError, 1);
        p.Post(ipcCommit, 0);
        QCOMPARE(p.ProcessedLabel->text(), QStringLiteral("3"));
        QCOMPARE(p.ErrorsLabel->text(), QStringLiteral("2"));
        QCOMPARE(p.CommittedLabel->text(), QStringLiteral("2"));
        QCOMPARE(p.PercentLabel->text(), QStringLiteral("75%"));
        QVERIFY(p.Bar->isVisibleTo(&p));
        p.Post(ipcState, ipsPaused);
        QCOMPARE(p.StatusLabel->text(), QStringLiteral("Paused"));
        const qint64 paused = p.ElapsedMs();
        QTest::qWait(50);
        QCOMPARE(p.ElapsedMs(), paused);  // no time runs while paused
        p.Post(ipcFinished, 0);
        QCOMPARE(p.Button->text(), QStringLiteral("OK"));
        QCOMPARE(p.windowTitle(), QStringLiteral("Import finished"));
    }

    void templateRoundTrip()
    {
        const QString file = csv();
        const QString tpl = dir.filePath(QStringLiteral("t.imp"));
        TImportWizard c;
        program(c);
        TWizardDialogs::SaveFile = [&](QWidget*, const QString& filter, const QString&) {
            questions << filter;
            return tpl;
        };
        {
            TImportWizardF f(c, nullptr);
            csvUpToPage1(f, file);
            f.FormatsPage->Fields->setCurrentRow(9);
            f.FormatsPage->CurrentFormat().Replacements.push_back({QStringLiteral("a"), QStringLiteral("b"), true});
            f.GoToLastPageBox->setChecked(true);
            QVERIFY(c.GoToLastPage);  // written back at once
            f.LastPage->SaveTemplateButton->click();
        }
        QCOMPARE(questions.last(), QStringLiteral("Import template files (*.imp)| *.imp|All files (*.*)|*.*"));
        TImportIniFile ini(tpl);
        QCOMPARE(ini.ReadString(QStringLiteral("BASE_FORMATS"), QStringLiteral("ThousandSeparator"), QString()),
                 QStringLiteral("#160"));
        QCOMPARE(ini.ReadString(QStringLiteral("CSV_MAP"), QStringLiteral("LAKTACE_DEN"), QString()), QStringLiteral("4"));
        QVERIFY(ini.SectionExists(QStringLiteral("REPLACEMENTS_DOJNICE_0")));

        // loaded automatically on open; a usable map jumps to the last page
        TImportWizard d;
        program(d);
        d.AutoLoadTemplate = true;
        d.TemplateFileName = tpl;
        d.Formats.ThousandSeparator = QLatin1Char(',');
        QString loaded;
        d.OnLoadTemplate = [&](TImportWizard&, const QString& n) { loaded = n; };
        TImportWizardF g(d, nullptr);
        QCOMPARE(loaded, tpl);
        QCOMPARE(g.Setup().Formats.ThousandSeparator, QChar(0xA0));
        QCOMPARE(g.FormatsPage->Thousand->text(), QStringLiteral("#160"));
        QCOMPARE(g.Setup().Kind, aiCSV);
        QVERIFY(g.KindRadio[aiCSV]->isChecked());
        QCOMPARE(g.FileNameEdit->text(), file);
        QCOMPARE(g.PageIndex(), 3);
        QVERIFY(d.GoToLastPage);
        QCOMPARE(g.Setup().FieldFormats.Find(QStringLiteral("DOJNICE"))->Replacements.size(), size_t(1));
        // loading the template again does not duplicate the replacement
        g.LoadTemplate(tpl);
        QCOMPARE(g.Setup().FieldFormats.Find(QStringLiteral("DOJNICE"))->Replacements.size(), size_t(1));

        // a template whose map is empty stays on the first page
        {
            TImportSetup empty;
            empty.Kind = aiCSV;
            empty.FileName = file;
            empty.SaveTemplate(dir.filePath(QStringLiteral("empty.imp")));
        }
        g.LoadTemplate(dir.filePath(QStringLiteral("empty.imp")));
        QCOMPARE(g.PageIndex(), 0);
        g.LoadTemplate(tpl);
        QCOMPARE(g.PageIndex(), 3);

        // saved automatically on close when the box is ticked
        g.AutoSaveTemplateBox->setChecked(true);
        g.Setup().Kinds[aiCSV].SetLocator(QStringLiteral("SB"), QStringLiteral("3"));
        g.CancelButton->click();
        TImportIniFile again(tpl);
        QCOMPARE(again.ReadString(QStringLiteral("CSV_MAP"), QStringLiteral("SB"), QString()), QStringLiteral("3"));
    }

    void xlsMapsAndRangeEditor()
    {
        TImportWizard c;
        program(c);
        c.OnAfterImport = [this](TImportWizard&) { store->RefreshAfterImport(); };
        TImportWizardF f(c, nullptr);
        f.FileNameEdit->setText(fixture("xls/basic.xls"));
        f.NextButton->click();
        QVERIFY2(f.PageIndex() == 1, qPrintable(errors.join(QLatin1Char('|'))));
        auto* page = static_cast<TXLSPage*>(f.KindPage(aiXLS));
        QCOMPARE(page->SheetNames, (QStringList{QStringLiteral("Data"), QStringLiteral("Second")}));
        QCOMPARE(page->Grids[0]->item(1, 0)->text(), QStringLiteral("3"));
        page->Fields->selectRow(0);  // FARMA
        // Ctrl adds cells (joined), Shift adds the run from the anchor
        page->CellClicked(0, 1, 0, Qt::ControlModifier);
        page->CellClicked(0, 2, 0, Qt::ControlModifier);
        QCOMPARE(f.Setup().Kinds[aiXLS].Locator(QStringLiteral("FARMA")), QStringLiteral("[DATA]A2-A3;"));
        page->CellClicked(0, 3, 0, Qt::ShiftModifier);
        QCOMPARE(f.Setup().Kinds[aiXLS].Locator(QStringLiteral("FARMA")), QStringLiteral("[DATA]A2-A4;"));
        const TMapRow::TOutline o = page->CurrentMap().Outline(QStringLiteral("Data"), 1, 3, 1);
        QVERIFY(o.Top && o.Bottom && !o.Left && !o.Right);
        page->CellClicked(0, 2, 0, Qt::ControlModifier);  // removes A3
        QCOMPARE(f.Setup().Kinds[aiXLS].Locator(QStringLiteral("FARMA")), QStringLiteral("[DATA]A2;[DATA]A4;"));
        page->CellClicked(0, 2, 0, Qt::ControlModifier);  // back, joined to its neighbour before it in the list
        QCOMPARE(f.Setup().Kinds[aiXLS].Locator(QStringLiteral("FARMA")), QStringLiteral("[DATA]A2;[DATA]A4-A3;"));
        page->DeleteRange(1);
        page->CellClicked(0, 1, 0, Qt::NoModifier);
        page->CellClicked(0, 3, 0, Qt::ShiftModifier);
        QCOMPARE(f.Setup().Kinds[aiXLS].Locator(QStringLiteral("FARMA")), QStringLiteral("[DATA]A2-A4;"));
        errors.clear();
        page->CellClicked(0, 1, 1, Qt::NoModifier);
        page->CellClicked(0, 3, 2, Qt::ShiftModifier);  // a block is refused
        QCOMPARE(errors, QStringList{QStringLiteral("Range B2-C4 is fail. It must be COL or ROW")});
        QVERIFY(f.ExecuteButton->isEnabled());

        // the range editor: DATUM = B2-B4 of sheet Data by name
        page->Fields->selectRow(1);
        page->RunRangeEditor = [](TfmXLSRangeEdit& d) {
            d.TypeCol->setChecked(true);
            d.TypeEdit->setText(QStringLiteral("b"));
            d.StartSet->setChecked(true);
            d.StartEdit->setText(QStringLiteral("2"));
            d.FinishSet->setChecked(true);
            d.FinishEdit->setText(QStringLiteral("4"));
            d.CustomSheet->setChecked(true);
            d.BySheetName->setChecked(true);
            d.SheetName->setCurrentText(QStringLiteral("Data"));
            return d.Validate();
        };
        page->EditRange(-1);
        QCOMPARE(f.Setup().Kinds[aiXLS].Locator(QStringLiteral("DATUM")), QStringLiteral("[DATA]B2-B4;"));

        // validation messages, box by box
        struct Case { int type; const char* box; const char* start; const char* sheet; QString error; };
        const QList<Case> cases = {
            {0, "", nullptr, nullptr, QStringLiteral("Col is empty")},
            {0, "A1", nullptr, nullptr, QStringLiteral("So long col definition")},
            {0, "1", nullptr, nullptr, QStringLiteral("Letter expected but 1 found (position 1)")},
            {0, "IW", nullptr, nullptr, QStringLiteral("Column 257 is out of range [A..IV]")},
            {0, "B", "x", nullptr, QStringLiteral("Number expected but x found (position 1)")},
            {0, "B", "0", nullptr, QStringLiteral("Row 0 is out of range [1..65536]")},
            {1, "", nullptr, nullptr, QStringLiteral("Row is empty")},
            {1, "3x", nullptr, nullptr, QStringLiteral("So long row definition")},
            {2, "", nullptr, nullptr, QStringLiteral("Cell is empty")},
            {2, "A1B", nullptr, nullptr, QStringLiteral("So long cell definition")},
            {2, "A1", nullptr, "", QStringLiteral("Sheet is empty")},
            {2, "A1", nullptr, "a?b", QStringLiteral("Illegal char ? in sheet name at position 3")},
            {2, "C7", nullptr, "Second", QString()},
        };
        for (const Case& k : cases) {
            TfmXLSRangeEdit d(nullptr, page->SheetNames);
            (k.type == 0 ? d.TypeCol : k.type == 1 ? d.TypeRow : d.TypeCell)->setChecked(true);
            d.TypeEdit->setText(QString::fromLatin1(k.box));
            if (k.start) {
                d.StartSet->setChecked(true);
                d.StartEdit->setText(QString::fromLatin1(k.start));
            }
            if (k.sheet) {
                d.CustomSheet->setChecked(true);
                d.BySheetName->setChecked(true);
                d.SheetName->setCurrentText(QString::fromLatin1(k.sheet));
            }
            errors.clear();
            const bool ok = d.Validate();
            QCOMPARE(ok, k.error.isEmpty());
            QCOMPARE(d.LastError(), k.error);
            if (ok) QCOMPARE(d.Range().Text(), QStringLiteral("[SECOND]C7;"));
        }

        // the import through the wizard: three records of sheet Data
        ProgressConfirmer ok(f);
        f.ExecuteButton->click();
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
        QCOMPARE(ok.status, QStringLiteral("Finished"));
        QCOMPARE(countRows(*store, QStringLiteral("where FARMA = 7 and DATUM = '31.1.2013'")), 1);
        QCOMPARE(countRows(*store), 3);
        // the refresh after the import lists the new farms
        QCOMPARE(store->IBQuery2.RecordCount(), 2);
        QCOMPARE(store->IBQuery2.Row(1)[0].toInt(), 7);
    }

    void fixedWidthRuler()
    {
        const QString file = dir.filePath(QStringLiteral("cows.txt"));
        writeFile(file, "FA\tSB  COW\n51  120 K1\n52  80  K22\n");
        TImportWizard c;
        program(c);
        TImportWizardF f(c, nullptr);
        f.KindRadio[aiTXT]->click();
        f.FileNameEdit->setText(file);
        f.NextButton->click();
        QCOMPARE(f.PageIndex(), 1);
        auto* page = static_cast<TTXTPage*>(f.KindPage(aiTXT));
        // tabs expanded as the source expands them
        QCOMPARE(page->Ruler->Lines.value(0), vaccoraExpandTabs(u"FA\tSB  COW"));
        QVERIFY(!page->Ruler->Lines.value(0).contains(QLatin1Char('\t')));
        page->Skip->setValue(1);
        page->Fields->selectRow(0);
        const int cw = page->Ruler->charWidth();
        // drag across the first two characters
        QTest::mousePress(page->Ruler, Qt::LeftButton, {}, QPoint(cw / 2, 30));
        QMouseEvent move(QEvent::MouseMove, QPointF(cw + cw / 2, 30), QPointF(), Qt::LeftButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(page->Ruler, &move);
        QTest::mouseRelease(page->Ruler, Qt::LeftButton, {}, QPoint(cw + cw / 2, 30));
        QCOMPARE(f.Setup().Kinds[aiTXT].Locator(QStringLiteral("FARMA")), QStringLiteral("0;2"));
        page->Fields->selectRow(7);
        page->MapSpan(4, 4);  // SB: characters 5 to 8
        QVERIFY(f.ExecuteButton->isEnabled());
        f.LastPage->AutoTrimValue->setChecked(true);
        ProgressConfirmer ok(f);
        f.ExecuteButton->click();
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
        QCOMPARE(countRows(*store, QStringLiteral("where FARMA = 52 and SB = 80")), 1);
        QCOMPARE(countRows(*store), 2);
    }

    void screenshots()
    {
        if (qEnvironmentVariableIsEmpty("VACCORA_SCREENSHOTS")) QSKIP("no screenshot folder");
        TImportWizard c;
        program(c);
        TImportWizardF f(c, nullptr);
        f.show();
        shot(&f, QStringLiteral("0_first_page"));
        csvUpToPage1(f, csv());
        shot(&f, QStringLiteral("1_csv_page"));
        f.NextButton->click();
        shot(&f, QStringLiteral("2_formats_base"));
        f.FormatsPage->Tabs->setCurrentIndex(1);
        shot(&f, QStringLiteral("2_formats_data"));
        f.NextButton->click();
        shot(&f, QStringLiteral("3_last_commit"));
        f.LastPage->Tabs->setCurrentIndex(1);
        shot(&f, QStringLiteral("3_last_advanced"));
        for (int i = 0; i < 3; ++i) f.BackButton->click();
        f.KindRadio[aiXLS]->click();
        f.FileNameEdit->setText(fixture("xls/basic.xls"));
        f.NextButton->click();
        auto* xls = static_cast<TXLSPage*>(f.KindPage(aiXLS));
        xls->Fields->selectRow(0);
        xls->CellClicked(0, 1, 0, Qt::NoModifier);
        xls->CellClicked(0, 3, 0, Qt::ShiftModifier);
        xls->CellClicked(0, 1, 2, Qt::ControlModifier);
        shot(&f, QStringLiteral("1_xls_page"));
        TfmXLSRangeEdit d(&f, xls->SheetNames);
        d.SetRange(xls->CurrentMap().Ranges[0]);
        d.show();
        shot(&d, QStringLiteral("4_range_editor"));
        f.BackButton->click();
        const QString txt = dir.filePath(QStringLiteral("s.txt"));
        writeFile(txt, "FARMA SB  COW\n51\t120 K1\n52   80 K22\n");
        f.KindRadio[aiTXT]->click();
        f.FileNameEdit->setText(txt);
        f.NextButton->click();
        auto* tp = static_cast<TTXTPage*>(f.KindPage(aiTXT));
        tp->Fields->selectRow(0);
        tp->MapSpan(0, 2);
        tp->MapSpan(4, 4);
        shot(&f, QStringLiteral("1_txt_page"));
        TImportProgressF p(nullptr);
        p.show();
        p.Post(ipcState, ipsImporting);
        p.Post(ipcTotal, 8);
        for (int i = 0; i < 5; ++i) p.Post(ipcRecord, ilaInserted);
        p.Post(ipcError, 1);
        shot(&p, QStringLiteral("5_progress"));
    }
};

QTEST_MAIN(TestWizard)
#include "test_wizard.moc"
