// Message texts of the XLS reader and the range maps: entries 43000 up of the
// import's numbered message table. The built-in texts are the defaults; once
// the spreadsheet sources are registered, the texts are read through the
// engine's locale object, so that a translation there applies here too.
#pragma once

#include <QString>

#include <initializer_list>

enum TxlsMessage : int {
    SxlsFileNameNotDefined = 43000,  // "File name is not defined"
    SxlsFileDoesNotExist,            // "File %s does not exist"
    SxlsNotAWorkbook,                // "File %s is not an Excel Workbook"
    SxlsFileInvalid,                 // "Error reading Excel records. File invalid"
    SxlsInvalidVersion,              // "File is saved with an invalid Excel version"
    SxlsInvalidRecord,               // "Record with ID 0x%x is invalid"
    SxlsErrorReadingRecord,          // "Error reading record"
    SxlsSharedFormulaNotFound,       // "Shared Formula not found"
    SxlsFormulaNotSupported,         // "Formula at Row %d, column %d is not supported. Token Id: 0x%2x"
    SxlsTokenNotSupported,           // "Error reading formula, Token Id: 0x%2x is not supported"
    SxlsInvalidRow,                  // "Invalid Row (%d)"
    SxlsInvalidColumn,               // "Invalid Column (%d)"
    SxlsCompoundDamaged,             // "The compound file %s is damaged"
    SxlsListIndex,                   // "List index out of bounds (%d)"
    SxlsCannotOpen,                  // "Cannot open file %s: %s"
    SxlsCannotRead,                  // "Cannot read file %s: %s"
    SxlsUnknownSymbol,               // "The %s symbol at position %d is unknown"
    SxlsIllegalSheetChar,            // "Illegal char %s in sheet name at position %d"
    SxlsUnexpectedSymbol,            // "The symbol %s at position %d is unexpected"
    SxlsRangeNotColOrRow,            // "Range %s is fail. It must be COL or ROW"
    SxlsExpectFound,                 // "Expect %s but %s found"
    SxlsUnexpectedEnd,               // "Unexpected end of range"
    SxlsLetterExpected,              // "Letter expected but %s found (position %d)"
    SxlsNumberExpected,              // "Number expected but %s found (position %d)"
    SxlsEndOfRange,                  // "end of range"
    SxlsColumnOutOfRange,            // "Column %d is out of range [%s..%s]"
    SxlsRowOutOfRange,               // "Row %d is out of range [%d..%d]"
    SxlsNotAnInteger,                // "'%s' is not a valid integer value"
    SxlsSheetNotFound,               // "Sheet with name %s is not found in the source file"
    SxlsColEmpty,                    // "Col is empty"
    SxlsRowEmpty,                    // "Row is empty"
    SxlsCellEmpty,                   // "Cell is empty"
    SxlsSheetEmpty,                  // "Sheet is empty"
    SxlsLongCol,                     // "So long col definition"
    SxlsLongRow,                     // "So long row definition"
    SxlsLongCell,                    // "So long cell definition"
    SxlsLongSheet,                   // "So long sheet definition"
    SxlsLastMessage
};

// The built-in text of an entry (empty for an unknown number).
QString xlsDefaultText(int id);
// The current text: through the installed source, else the built-in one.
QString xlsText(int id);
// Installs the message source (the engine's TImportLocale::Text); call at
// start-up only.
void xlsSetTextSource(QString (*source)(int id));
// Fills %s, %d, %x, %2x (any width) in order with the given texts; "%%" is "%".
QString xlsFmt(int id, std::initializer_list<QString> args);
