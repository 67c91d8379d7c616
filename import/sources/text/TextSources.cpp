#include "import/sources/text/TextSources.h"

#include "import/engine/SourceRegistry.h"
#include "import/sources/text/ImportASCII.h"

void vaccoraRegisterTextSources()
{
    vaccoraRegisterImportSource(aiTXT, [] {
        auto source = std::make_unique<TImportASCII>();
        source->Comma = 0;  // fixed width
        return std::unique_ptr<TImportEngine>(std::move(source));
    });
    vaccoraRegisterImportSource(aiCSV, [] { return std::unique_ptr<TImportEngine>(std::make_unique<TImportASCII>()); });
}
