// The main window: two buttons and the farm list.
#pragma once

#include <QListWidget>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class TDataStore;
class TIBQuery;
class IReportModule;
class IImportModule;

// Farm list bound to the distinct-farms query. Keeps the selected item text
// by the reload rules: the chosen farm's row when listed, otherwise the
// first row's text without highlighting it; empty without rows; unchanged
// while the query is closed.
class TDBLookupListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TDBLookupListBox(QWidget* parent = nullptr);

    void LoadFrom(const TIBQuery& query);  // rows of the query (or none when closed)
    QString SelectedText() const { return m_text; }
    bool ListActive() const { return m_active; }
    int RowAt(int y) const;  // row a left press at y chooses (-1: none)

signals:
    void MouseDown(Qt::MouseButton button, bool doubleClick);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void choose(int row);
    QString m_text;
    QString m_chosen;  // farm text of the chosen row; empty: none chosen
    bool m_active = false;
};

class TForm1 : public QWidget {
    Q_OBJECT
public:
    TForm1(TDataStore& store, IReportModule* report, IImportModule* import, QWidget* parent = nullptr);

    QPushButton* Button1;  // "Report"
    QPushButton* Button2;  // "Import dat"
    QLabel* Label4;        // "Farms"
    TDBLookupListBox* DBLookupListBox1;

    TDataStore& Store() { return m_store; }
    // Report datasets are disabled while the per-farm queries are re-targeted.
    bool ReportDatasetsEnabled() const { return m_reportDatasetsEnabled; }

    void Button1Click();
    void Button2Click();
    void ImportWizard1AfterImport();
    void DBLookupListBox1MouseDown();

    // Shows an error of a handler the way the application reports failures.
    static void ShowError(QWidget* parent, const QString& text);
    // Test hook: called instead of the message box when set.
    static std::function<void(const QString&)> ErrorSink;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    template <class F> void guarded(F&& f);
    TDataStore& m_store;
    IReportModule* m_report;
    IImportModule* m_import;
    bool m_reportDatasetsEnabled = true;
};
