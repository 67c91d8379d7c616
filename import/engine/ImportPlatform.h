// Number and date services with the import's format settings passed in
// explicitly (no process-wide locale): the date-time parse, formatting with
// the date-format letters, and the general float-to-text form.
//
// Date-time values are day numbers: days since 30 December 1899, the
// fraction being the time of day.
#pragma once

#include "import/engine/ImportEngine.h"

#include <QDateTime>
#include <QString>

// Parses a date, a date with a time, or a time alone. The date's parts come
// in the order of ShortDateFormat (D, M, Y) separated by DateSeparator; the
// year may be left out (current year) or be two digits; the time has hours,
// optional minutes, seconds and milliseconds separated by TimeSeparator and
// may end in AM/PM or A/P. Leading and trailing blanks are allowed.
bool vaccoraTryStrToDateTime(const QString& text, const TImportFormats& fmt, double& value);
// The common case of that parse in one pass: a date alone, three numbers of
// at most four digits in the order of ShortDateFormat, separated by one
// DateSeparator each, the year of three or four digits, no blanks. Gives the
// date vaccoraTryStrToDateTime reads from such a text; false for every other
// text (which that parse then decides).
bool vaccoraTryPlainDate(QStringView text, const TImportFormats& fmt, QDate& date);

// Formats a day number with the date-format letters: d dd ddd dddd ddddd
// dddddd, m mm mmm mmmm (minutes after h), n nn, yy yyyy, h hh, s ss, z zzz,
// t tt, c, am/pm a/p ampm, "/" (DateSeparator), ":" (TimeSeparator), quoted
// literals. English month and day names.
QString vaccoraFormatDateTime(const QString& format, double value, const TImportFormats& fmt);

// General float to text: up to 15 significant digits, trailing zeros
// removed, exponent form ("1.5E-7", "1E20") when the exponent is below -5 or
// 15 and above.
QString vaccoraFloatToStr(double value, QChar decimalSeparator = QLatin1Char('.'));

// Day numbers and QDateTime (wall clock, millisecond precision).
double vaccoraDateTimeToDays(const QDateTime& dt);
QDateTime vaccoraDaysToDateTime(double days);
// The date and time of a day number without building a zoned value.
void vaccoraDecodeDays(double days, QDate& date, QTime& time);
// Encodes a date and time; false when the combination is invalid.
bool vaccoraTryEncodeDateTime(int y, int m, int d, int h, int n, int s, int z, double& value);
