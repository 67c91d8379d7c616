// Fuzz entry of the import template reader: INI parsing, character codes,
// every kind's sections, field formats and replacements, the last page's
// switches; the loaded setup is written again and configures an engine.
#include "import/engine/ImportIni.h"
#include "import/engine/ImportSetup.h"

#include <cstddef>
#include <cstdint>

namespace {

class TNullSource : public TImportEngine {
public:
    void BeginRows() override {}
    bool HasRow() override { return false; }
    bool SkipRow() override { return false; }
    void ReadRow() override {}
    TImportResult WriteRow() override { return TImportResult::Stop; }
    void NextRow() override {}
    void EndRows() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TImportIniFile ini;
    ini.FromBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    TImportSetup setup;
    setup.DestinationFields = QStringList{QStringLiteral("FARMA"), QStringLiteral("DATUM"), QStringLiteral("SB"),
                                          QStringLiteral("DOJNICE")};
    try {
        setup.ReadTemplate(ini);
    } catch (const EImportError&) {
        return 0;
    }
    TImportIniFile out;
    setup.WriteTemplate(out);
    TImportSetup again;
    again.ReadTemplate(out);
    TNullSource engine;
    again.ConfigureEngine(engine, nullptr);
    (void)again.MappingUsable();
    (void)out.ToText().size();
    return 0;
}
