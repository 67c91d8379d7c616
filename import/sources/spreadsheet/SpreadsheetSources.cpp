#include "import/sources/spreadsheet/SpreadsheetSources.h"

#include "import/engine/SourceRegistry.h"
#include "import/sources/spreadsheet/ImportXLS.h"
#include "import/sources/spreadsheet/XlsMessages.h"

void vaccoraRegisterSpreadsheetSources()
{
    // the reader's texts become entries of the import's message table (an
    // entry that is there already, a translation say, is kept)
    for (int id = SxlsFileNameNotDefined; id < SxlsLastMessage; ++id)
        if (TImportLocale::Text(id) == QLatin1Char('#') + QString::number(id))
            TImportLocale::Register(id, xlsDefaultText(id));
    xlsSetTextSource(&TImportLocale::Text);
    vaccoraRegisterImportSource(aiXLS, [] { return std::unique_ptr<TImportEngine>(std::make_unique<TImportXLS>()); });
}
