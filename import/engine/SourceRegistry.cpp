#include "import/engine/SourceRegistry.h"

#include <array>

namespace {
std::array<TImportEngineFactory, kAllowedImportCount>& factories() {
    static std::array<TImportEngineFactory, kAllowedImportCount> f;
    return f;
}
}  // namespace

void vaccoraRegisterImportSource(TAllowedImport kind, TImportEngineFactory f) {
    if (kind < 0 || kind >= kAllowedImportCount) return;
    factories()[kind] = std::move(f);
}

std::unique_ptr<TImportEngine> vaccoraCreateImportSource(TAllowedImport kind) {
    if (kind < 0 || kind >= kAllowedImportCount || !factories()[kind]) return nullptr;
    return factories()[kind]();
}

QString vaccoraImportKindCaption(TAllowedImport kind) {
    static const char* const captions[kAllowedImportCount] = {
        "MS Excel", "DBF", "XML", "Text file", "CSV file", "MS Access", "HTML file", "XMLDoc",
        "MS Excel 2007", "MS Word 2007", "ODS file", "ODT file"};
    if (kind < 0 || kind >= kAllowedImportCount) return QStringLiteral("#%1").arg((int)kind);
    return QString::fromLatin1(captions[kind]);
}
