// What the main window calls for its two buttons. The report and the import
// wizard implement these in their own libraries; the program wires them in.
#pragma once

#include <functional>

class QWidget;
class TDataStore;

class IReportModule {
public:
    virtual ~IReportModule() = default;
    // "Report": prepares the report of the farm the per-farm queries select
    // and shows the modal preview. Errors are thrown to the caller.
    virtual void Button1Click(TDataStore& store, QWidget* parent) = 0;
};

class IImportModule {
public:
    virtual ~IImportModule() = default;
    // "Import dat": runs the modal wizard; calls afterImport (while the wizard
    // is still open) each time an import has run.
    virtual void Execute(TDataStore& store, QWidget* parent, const std::function<void()>& afterImport) = 0;
};

// Implemented by the report library and the import-wizard library.
IReportModule* vaccoraReportModule();
IImportModule* vaccoraImportModule();
