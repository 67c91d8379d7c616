#pragma once
// Registers the spreadsheet import sources with the engine's source registry.
void vaccoraRegisterSpreadsheetSources();
