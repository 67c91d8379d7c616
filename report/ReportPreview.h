// The modal report preview: pages at 100 % zoom with navigation, zoom,
// print, open and save of prepared reports, and PDF export.
#pragma once

#include "report/PreparedReport.h"

#include <QDialog>

class QPrintPreviewWidget;
class QPrinter;
class QLabel;

class TReportPreview : public QDialog {
    Q_OBJECT
public:
    explicit TReportPreview(const TPreparedReport& report, QWidget* parent = nullptr);
    ~TReportPreview() override;

    const TPreparedReport& Report() const { return m_report; }
    void SetReport(const TPreparedReport& report);
    int CurrentPage() const;
    void GoToPage(int page);  // 1-based
    double ZoomFactor() const;

    // the commands (public so that they can be driven without the dialogs)
    void SaveTo(const QString& fileName);    // prepared report (.json) or PDF (.pdf)
    void OpenFrom(const QString& fileName);  // prepared report

private slots:
    void paint(QPrinter* printer);
    void print();
    void open();
    void save();
    void exportPdf();
    void updateStatus();

private:
    TPreparedReport m_report;
    QPrinter* m_printer;
    QPrintPreviewWidget* m_view;
    QLabel* m_status;
};
