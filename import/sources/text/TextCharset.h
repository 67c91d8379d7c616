// Encodings of text input: the 64-entry TCharsetType table with the Windows
// code page of each entry, its display text, and the iconv name of every
// code page that this system can decode.
#pragma once

#include <QString>

enum TCharsetType : int {
    ctWinDefined, ctLatin1, ctArmscii8, ctAscii, ctCp850, ctCp852, ctCp866, ctCp1250,
    ctCp1251, ctCp1256, ctCp1257, ctDec8, ctGeostd8, ctGreek, ctHebrew, ctHp8,
    ctKeybcs2, ctKoi8r, ctKoi8u, ctLatin2, ctLatin5, ctLatin7, ctMacce, ctMacroman,
    ctSwe7, ctUtf8, ctUtf16, ctUtf32, ctLatin3, ctLatin4, ctLatin6, ctLatin8,
    ctIso8859_5, ctIso8859_6, ctCp1026, ctCp1254, ctCp1255, ctCp1258, ctCp437, ctCp500,
    ctCp737, ctCp855, ctCp856, ctCp857, ctCp860, ctCp862, ctCp863, ctCp864,
    ctCp865, ctCp869, ctCp874, ctCp875, ctIceland, ctBig5, ctKSC5601, ctEUC,
    ctGB2312, ctSJIS_0208, ctLatin9, ctLatin13, ctCp1252, ctCp1253, ctCp775, ctCp858,
};

constexpr int vaccoraCharsetCount = 64;

// Code pages the reader decodes itself.
constexpr int cpUtf8 = 65001;
constexpr int cpUtf16 = 1200;
constexpr int cpUtf32 = 12000;

// The fixed table: code page per encoding, 0 where the encoding has none.
// ctWinDefined holds 0 too; vaccoraCharsetCodePage puts the system ANSI
// code page in its place.
extern const int vaccoraCharsetCodePages[vaccoraCharsetCount];

bool vaccoraIsCharset(int value);  // 0..63
// Code page of an encoding, 0 when it has none (ctArmscii8, ctDec8, ...).
int vaccoraCharsetCodePage(TCharsetType ct);
// Text the wizard lists for the encoding.
QString vaccoraCharsetDisplayText(TCharsetType ct);

// The ANSI and OEM code pages of the user's locale, paired as a Windows
// desktop pairs them: Czech 1250/852, every other language 1252/437.
int vaccoraSystemAnsiCodePage();
int vaccoraSystemOemCodePage();

// iconv name of a Windows code page; null when iconv has no such table.
// The three Unicode code pages are decoded by the reader and have no name here.
const char* vaccoraCodePageIconvName(int codePage);
