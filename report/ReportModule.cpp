#include "app/Modules.h"

IReportModule* vaccoraReportModule() { return nullptr; }
