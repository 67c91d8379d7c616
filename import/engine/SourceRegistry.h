// Registry of the import sources that are built into the program. Each source
// library registers a factory per kind at start-up; the import setup creates
// the engine object of the chosen kind through it.
#pragma once

#include "import/engine/ImportEngine.h"

#include <functional>
#include <memory>

using TImportEngineFactory = std::function<std::unique_ptr<TImportEngine>()>;

// Registers (or replaces) the factory of a kind.
void vaccoraRegisterImportSource(TAllowedImport kind, TImportEngineFactory f);
// A new engine object of the kind; nullptr when that source is not built.
std::unique_ptr<TImportEngine> vaccoraCreateImportSource(TAllowedImport kind);
// Display name of a kind ("MS Excel", "CSV file", ...), the wizard's radio caption.
QString vaccoraImportKindCaption(TAllowedImport kind);
