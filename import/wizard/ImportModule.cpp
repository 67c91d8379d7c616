#include "app/Modules.h"

IImportModule* vaccoraImportModule() { return nullptr; }
