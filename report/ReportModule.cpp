// The "Report" button: the shared preparation, then the modal preview.
#include "app/Modules.h"
#include "report/FarmReport.h"
#include "report/ReportPreview.h"

#include <QMessageBox>

namespace {

class TReportModule : public IReportModule {
public:
    void Button1Click(TDataStore& store, QWidget* parent) override {
        if (!m_report) m_report = std::make_unique<TFarmReport>();  // the template lives as long as the window
        struct TRelease {
            TFarmReport& r;
            ~TRelease() { r.Release(); }  // also after a failure
        } release{*m_report};
        TPreparedReport prepared;
        try {
            prepared = m_report->Prepare(store);
        } catch (const EReportPrepareError& e) {
            QMessageBox::critical(parent, QStringLiteral("Report"), QString::fromUtf8(e.what()));
            return;
        }
        TReportPreview preview(prepared, parent);
        preview.exec();
    }

private:
    std::unique_ptr<TFarmReport> m_report;
};

}  // namespace

IReportModule* vaccoraReportModule() {
    static TReportModule module;
    return &module;
}
