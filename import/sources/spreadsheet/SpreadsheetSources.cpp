#include "import/sources/spreadsheet/SpreadsheetSources.h"

#include "import/engine/SourceRegistry.h"
#include "import/sources/spreadsheet/ImportXLS.h"

void vaccoraRegisterSpreadsheetSources()
{
    vaccoraRegisterImportSource(aiXLS, [] { return std::unique_ptr<TImportEngine>(std::make_unique<TImportXLS>()); });
}
