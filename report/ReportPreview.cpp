#include "report/ReportPreview.h"

#include "report/ReportRender.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

TReportPreview::TReportPreview(const TPreparedReport& report, QWidget* parent)
    : QDialog(parent), m_report(report), m_printer(new QPrinter(QPrinter::HighResolution)) {
    setWindowTitle(QStringLiteral("Preview"));
    setModal(true);
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint);
    m_printer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    m_printer->setFullPage(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* bar = new QToolBar(this);
    layout->addWidget(bar);
    m_view = new QPrintPreviewWidget(m_printer, this);
    layout->addWidget(m_view, 1);
    m_status = new QLabel(this);
    m_status->setContentsMargins(6, 2, 6, 2);
    layout->addWidget(m_status);

    auto add = [&](const QString& text, QStyle::StandardPixmap icon, const QKeySequence& key, auto slot) {
        QAction* a = bar->addAction(style()->standardIcon(icon), text);
        a->setToolTip(text);
        if (!key.isEmpty()) a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    add(QStringLiteral("Print"), QStyle::SP_DialogYesButton, QKeySequence::Print, &TReportPreview::print);
    add(QStringLiteral("Open"), QStyle::SP_DialogOpenButton, QKeySequence::Open, &TReportPreview::open);
    add(QStringLiteral("Save"), QStyle::SP_DialogSaveButton, QKeySequence::Save, &TReportPreview::save);
    add(QStringLiteral("Export to PDF"), QStyle::SP_FileIcon, QKeySequence(), &TReportPreview::exportPdf);
    bar->addSeparator();
    add(QStringLiteral("Zoom in"), QStyle::SP_ArrowUp, QKeySequence::ZoomIn, [this] { m_view->zoomIn(); updateStatus(); });
    add(QStringLiteral("Zoom out"), QStyle::SP_ArrowDown, QKeySequence::ZoomOut, [this] { m_view->zoomOut(); updateStatus(); });
    add(QStringLiteral("100 %"), QStyle::SP_TitleBarNormalButton, QKeySequence(), [this] { m_view->setZoomFactor(1.0); updateStatus(); });
    add(QStringLiteral("Page width"), QStyle::SP_TitleBarMaxButton, QKeySequence(), [this] { m_view->fitToWidth(); updateStatus(); });
    add(QStringLiteral("Whole page"), QStyle::SP_DesktopIcon, QKeySequence(), [this] { m_view->fitInView(); updateStatus(); });
    bar->addSeparator();
    add(QStringLiteral("First page"), QStyle::SP_MediaSkipBackward, QKeySequence(Qt::CTRL | Qt::Key_Home), [this] { GoToPage(1); });
    add(QStringLiteral("Previous page"), QStyle::SP_MediaSeekBackward, QKeySequence(Qt::Key_PageUp), [this] { GoToPage(CurrentPage() - 1); });
    add(QStringLiteral("Next page"), QStyle::SP_MediaSeekForward, QKeySequence(Qt::Key_PageDown), [this] { GoToPage(CurrentPage() + 1); });
    add(QStringLiteral("Last page"), QStyle::SP_MediaSkipForward, QKeySequence(Qt::CTRL | Qt::Key_End), [this] { GoToPage(m_view->pageCount()); });
    bar->addSeparator();
    add(QStringLiteral("Close"), QStyle::SP_DialogCloseButton, QKeySequence(Qt::Key_Escape), &QDialog::accept);

    connect(m_view, &QPrintPreviewWidget::paintRequested, this, &TReportPreview::paint);
    connect(m_view, &QPrintPreviewWidget::previewChanged, this, &TReportPreview::updateStatus);
    m_view->setViewMode(QPrintPreviewWidget::SinglePageView);
    m_view->setZoomMode(QPrintPreviewWidget::CustomZoom);
    m_view->setZoomFactor(1.0);
    m_view->updatePreview();
    updateStatus();
    resize(1000, 800);
    setWindowState(windowState() | Qt::WindowMaximized);
}

TReportPreview::~TReportPreview() { delete m_printer; }

void TReportPreview::SetReport(const TPreparedReport& report) {
    m_report = report;
    m_view->updatePreview();
    GoToPage(1);
}

int TReportPreview::CurrentPage() const { return m_view->currentPage(); }

void TReportPreview::GoToPage(int page) {
    if (page < 1 || page > m_view->pageCount()) return;
    m_view->setCurrentPage(page);
    updateStatus();
}

double TReportPreview::ZoomFactor() const { return m_view->zoomFactor(); }

void TReportPreview::paint(QPrinter* printer) {
    try {
        vaccoraPrintReport(m_report, *printer);
    } catch (const std::exception& e) {
        QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
    }
}

void TReportPreview::print() {
    QPrinter printer(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    QPrintDialog dlg(&printer, this);
    dlg.setMinMax(1, (int)m_report.Pages.size());
    if (dlg.exec() != QDialog::Accepted) return;
    try {
        vaccoraPrintReport(m_report, printer);
    } catch (const std::exception& e) {
        QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
    }
}

void TReportPreview::SaveTo(const QString& fileName) {
    if (fileName.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) vaccoraWritePdf(m_report, fileName);
    else m_report.save(fileName);
}

void TReportPreview::OpenFrom(const QString& fileName) { SetReport(TPreparedReport::open(fileName)); }

void TReportPreview::open() {
    const QString f = QFileDialog::getOpenFileName(this, QStringLiteral("Open prepared report"), QString(),
                                                   QStringLiteral("Prepared reports (*.json);;All files (*)"));
    if (f.isEmpty()) return;
    try {
        OpenFrom(f);
    } catch (const std::exception& e) {
        QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
    }
}

void TReportPreview::save() {
    QString f = QFileDialog::getSaveFileName(this, QStringLiteral("Save prepared report"), QStringLiteral("report.json"),
                                             QStringLiteral("Prepared reports (*.json)"));
    if (f.isEmpty()) return;
    if (!f.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)) f += QStringLiteral(".json");
    try {
        SaveTo(f);
    } catch (const std::exception& e) {
        QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
    }
}

void TReportPreview::exportPdf() {
    QString f = QFileDialog::getSaveFileName(this, QStringLiteral("Export to PDF"), QStringLiteral("report.pdf"),
                                             QStringLiteral("PDF files (*.pdf)"));
    if (f.isEmpty()) return;
    if (!f.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) f += QStringLiteral(".pdf");
    try {
        SaveTo(f);
    } catch (const std::exception& e) {
        QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
    }
}

void TReportPreview::updateStatus() {
    m_status->setText(QStringLiteral("Page %1 of %2    Zoom %3 %")
                          .arg(m_view->currentPage())
                          .arg(m_view->pageCount())
                          .arg(qRound(m_view->zoomFactor() * 100)));
}
