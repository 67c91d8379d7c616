// "Import dat": the wizard component with the program's configuration.
#include "app/Modules.h"
#include "data/DataStore.h"
#include "import/wizard/ImportWizard.h"

namespace {

class TImportModule : public IImportModule {
public:
    void Execute(TDataStore& store, QWidget* parent, const std::function<void()>& afterImport) override
    {
        TImportWizard ImportWizard1;
        ImportWizard1.DataSet = &store.IBTable1;
        ImportWizard1.ImportDestination = qidDataSet;
        ImportWizard1.AddType = qatInsert;
        ImportWizard1.CommitAfterDone = true;
        ImportWizard1.ErrorLogFileName = QStringLiteral("error.log");
        ImportWizard1.Formats = TImportFormats::ProgramDefaults();
        ImportWizard1.OnAfterImport = [afterImport](TImportWizard&) {
            if (afterImport) afterImport();
        };
        // the commit request makes the imported rows durable at once
        ImportWizard1.OnNeedCommit = [&store](TImportWizardF&) { store.CommitRetaining(); };
        ImportWizard1.Execute(parent);
    }
};

}  // namespace

IImportModule* vaccoraImportModule()
{
    static TImportModule module;
    return &module;
}
