// Conversion helpers of the engine, shared with sources and tests.
#pragma once

#include "import/engine/ImportEngine.h"

// Parses a floating-point text with the given decimal separator (blanks
// around it allowed; no thousand separators).
bool vaccoraTextToDouble(const QString& text, QChar decimalSeparator, double& value);

// The format parser of the date conversion: reads `text` by the tokens of
// `format` (YYYY YY Y, MMMM MMM MM M, DD D, HH H, NN N, SS S, ZZZ, AP and
// literal characters). 0 when the text does not fit.
double vaccoraParseDateByFormat(const QString& text, const QString& format);

// Applies the replacements in order ("#10" / "#13" stand for LF / CR).
void vaccoraApplyReplacements(QString& value, const TImportReplacements& replacements);
