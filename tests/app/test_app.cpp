// Main window on the offscreen platform against a real embedded database.
#include "app/Modules.h"
#include "app/Unit1.h"
#include "data/DataStore.h"
#include "data/Schema.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Records what the report would show: the farm the per-farm queries select.
struct FakeReport : IReportModule {
    QStringList shown;
    void Button1Click(TDataStore& store, QWidget*) override
    {
        shown << store.IBQuery1.SQL.last() + QLatin1Char('|') + store.IBQuery3.SQL.last();
    }
};

// An import that leaves its last row unposted, as a destination may.
struct FakeImport : IImportModule {
    int farm = 99;
    bool import = true;
    void Execute(TDataStore& store, QWidget*, const std::function<void()>& afterImport) override
    {
        if (!import) return;  // closed without importing
        store.IBTable1.Insert();
        store.IBTable1.SetField(QStringLiteral("FARMA"), farm);
        store.IBTable1.SetField(QStringLiteral("DATUM"), QDateTime(QDate(2013, 5, 1), QTime(0, 0)));
        store.IBTable1.SetField(QStringLiteral("SB"), 120);
        afterImport();
    }
};

QString farmOf(const QString& lastLine)
{
    static const QRegularExpression re(QStringLiteral("^where farma=(\\S*) order by"));
    return re.match(lastLine).captured(1);
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    QString path;
    QStringList errors;

    void addRecords(const QList<int>& farms)
    {
        TDataStore s(path);
        s.Open();
        for (int f : farms) {
            s.IBTable1.Insert();
            s.IBTable1.SetField(QStringLiteral("FARMA"), f);
            s.IBTable1.SetField(QStringLiteral("DATUM"), QDateTime(QDate(2013, 3, 5), QTime(0, 0)));
            s.IBTable1.SetField(QStringLiteral("SB"), 100 + f);
            s.IBTable1.Post();
        }
        s.Close();
    }
    QPoint rowPoint(TDBLookupListBox* list, int row)
    {
        return list->visualItemRect(list->item(row)).center();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        TForm1::ErrorSink = [this](const QString& t) { errors << t; };
    }
    void init()
    {
        errors.clear();
        path = dir.filePath(QStringLiteral("t%1.gdb").arg(QDateTime::currentMSecsSinceEpoch()));
        vaccoraCreateDatabase(path, false);
    }

    void controlsAndTexts()
    {
        TDataStore store(path);
        store.Open();
        TForm1 w(store, nullptr, nullptr);
        w.show();
        QCOMPARE(w.windowTitle(), QStringLiteral("Vaccora 1.0"));
        QCOMPARE(w.size(), QSize(361, 425));
        QCOMPARE(w.minimumSize(), w.maximumSize());  // fixed border
        QCOMPARE(w.Button2->text(), QStringLiteral("Import dat"));
        QCOMPARE(w.Button2->geometry(), QRect(16, 8, 97, 25));
        QCOMPARE(w.Button1->text(), QStringLiteral("Report"));
        QCOMPARE(w.Button1->geometry(), QRect(248, 8, 97, 25));
        QCOMPARE(w.Label4->text(), QStringLiteral("Farms"));
        QCOMPARE(w.Label4->pos(), QPoint(8, 56));
        QCOMPARE(w.DBLookupListBox1->geometry(), QRect(8, 72, 345, 342));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.DBLookupListBox1));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Button1));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Button2));
        // without modules the buttons report instead of failing silently
        w.Button1->click();
        w.Button2->click();
        QCOMPARE(errors.size(), 2);
    }

    void pressSemantics()
    {
        addRecords({3, 12, 147});
        TDataStore store(path);
        store.Open();
        FakeReport report;
        TForm1 w(store, &report, nullptr);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        TDBLookupListBox* list = w.DBLookupListBox1;
        QCOMPARE(list->count(), 3);
        QStringList rows;
        for (int i = 0; i < 3; ++i) rows << list->item(i)->text();
        QVERIFY(list->selectedItems().isEmpty());
        QCOMPARE(list->SelectedText(), rows[0]);

        // a report right after start shows farm 3
        w.Button1->click();
        QCOMPARE(farmOf(report.shown.last().section(QLatin1Char('|'), 0, 0)), QStringLiteral("3"));

        struct Step {
            const char* what;
            std::function<void()> act;
            int highlighted;  // -1: none
            int farmRow;      // row whose farm the per-farm queries select; -1: farm 3
        };
        const int last = 2;
        const QPoint below(20, list->viewport()->height() - 3);
        const std::vector<Step> steps = {
            {"right press before any choice: first farm, no highlight",
             [&] { QTest::mousePress(list->viewport(), Qt::RightButton, {}, rowPoint(list, 2)); }, -1, 0},
            {"left press chooses the row under the pointer",
             [&] { QTest::mousePress(list->viewport(), Qt::LeftButton, {}, rowPoint(list, 1)); }, 1, 1},
            {"right press re-targets to the same farm",
             [&] { QTest::mousePress(list->viewport(), Qt::RightButton, {}, rowPoint(list, 2)); }, 1, 1},
            {"middle press changes nothing",
             [&] { QTest::mousePress(list->viewport(), Qt::MiddleButton, {}, rowPoint(list, 0)); }, 1, 1},
            {"second press of a double click keeps the selection",
             [&] {
                 QMouseEvent e(QEvent::MouseButtonDblClick, rowPoint(list, 0), list->viewport()->mapToGlobal(rowPoint(list, 0)),
                               Qt::LeftButton, Qt::LeftButton, {});
                 QApplication::sendEvent(list->viewport(), &e);
             }, 1, 1},
            {"press below the last row chooses the last row",
             [&] { QTest::mousePress(list->viewport(), Qt::LeftButton, {}, below); }, last, last},
            {"keyboard moves the highlight but does not re-target",
             [&] { QTest::keyClick(list, Qt::Key_Up); }, 1, last},
            {"the next right press re-targets to the keyboard's farm",
             [&] { QTest::mousePress(list->viewport(), Qt::RightButton, {}, rowPoint(list, 0)); }, 1, 1},
        };
        for (const Step& s : steps) {
            s.act();
            QTest::mouseRelease(list->viewport(), Qt::AllButtons);
            const QList<QListWidgetItem*> sel = list->selectedItems();
            QVERIFY2(s.highlighted < 0 ? sel.isEmpty() : (sel.size() == 1 && list->row(sel[0]) == s.highlighted), s.what);
            const QString farm = s.farmRow < 0 ? QStringLiteral("3") : rows[s.farmRow];
            QVERIFY2(farmOf(store.IBQuery1.SQL.last()) == farm, s.what);
            QVERIFY2(farmOf(store.IBQuery3.SQL.last()) == farm, s.what);
            QVERIFY2(store.IBQuery1.Active() && store.IBQuery3.Active(), s.what);
            QVERIFY2(store.IBQuery3.RecordCount() == 1 && store.IBQuery3.Row(0)[2].toInt() == 100 + farm.toInt(), s.what);
        }
        QVERIFY(errors.isEmpty());
    }

    void pressOnEmptyListChangesNothing()
    {
        TDataStore store(path);
        store.Open();
        TForm1 w(store, nullptr, nullptr);
        w.show();
        QCOMPARE(w.DBLookupListBox1->count(), 0);
        QCOMPARE(w.DBLookupListBox1->SelectedText(), QString());
        QTest::mousePress(w.DBLookupListBox1->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(errors.isEmpty());
        QVERIFY(store.IBQuery1.Active());
        QVERIFY(store.IBQuery3.Active());
        QCOMPARE(farmOf(store.IBQuery1.SQL.last()), QStringLiteral("3"));
    }

    void refreshAfterImport()
    {
        addRecords({3, 12});
        TDataStore store(path);
        store.Open();
        FakeImport import;
        FakeReport report;
        TForm1 w(store, &report, &import);
        w.show();
        QCOMPARE(w.DBLookupListBox1->count(), 2);
        // choose farm 12, import rows of a new farm 99 and of farm 12
        int row12 = w.DBLookupListBox1->item(0)->text() == QLatin1String("12") ? 0 : 1;
        QTest::mousePress(w.DBLookupListBox1->viewport(), Qt::LeftButton, {}, rowPoint(w.DBLookupListBox1, row12));
        QCOMPARE(store.IBQuery3.RecordCount(), 1);
        w.Button2->click();
        import.farm = 12;
        w.Button2->click();
        QVERIFY(errors.isEmpty());
        QCOMPARE(w.DBLookupListBox1->count(), 3);  // the pending row was posted, the list reloaded
        QCOMPARE(w.DBLookupListBox1->selectedItems().size(), 1);
        QCOMPARE(w.DBLookupListBox1->selectedItems()[0]->text(), QStringLiteral("12"));
        QCOMPARE(store.IBQuery3.RecordCount(), 2);  // the per-farm queries keep farm 12
        QCOMPARE(farmOf(store.IBQuery1.SQL.last()), QStringLiteral("12"));

        // a wizard closed without importing does not refresh
        import.import = false;
        store.IBQuery2.Close();
        w.Button2->click();
        QVERIFY(!store.IBQuery2.Active());

        // a failing step stops the refresh: queries after it stay closed, the list empties
        import.import = true;
        store.IBQuery1.SQL.last() = QStringLiteral("where nonsense");
        w.Button2->click();
        QCOMPARE(errors.size(), 1);
        QVERIFY(!store.IBQuery1.Active());
        QVERIFY(!store.IBQuery2.Active());
        QVERIFY(!store.IBQuery3.Active());
        QCOMPARE(w.DBLookupListBox1->count(), 0);
        QCOMPARE(w.DBLookupListBox1->SelectedText(), QStringLiteral("12"));  // kept while closed
    }

    void closingCommits()
    {
        {
            TDataStore store(path);
            store.Open();
            FakeImport import;
            TForm1 w(store, nullptr, &import);
            w.show();
            w.Button2->click();
            w.close();
        }
        TDataStore again(path);
        again.Open();
        QCOMPARE(again.IBQuery2.RecordCount(), 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_app.moc"
