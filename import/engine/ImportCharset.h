// The desktop's single-byte code pages as a Windows desktop of the user's
// locale would pair them: Czech 852 (OEM) / 1250 (ANSI), otherwise 437 / 1252.
#pragma once

#include <QByteArray>
#include <QString>

struct TCodePagePair {
    int Oem;
    int Ansi;
};

// From the LC_ALL / LC_CTYPE / LANG of the process (cs_* is Czech).
TCodePagePair vaccoraDesktopCodePages();

// Encodes to / decodes from a single-byte code page (iconv "CP<n>");
// characters the code page lacks become '?'.
QByteArray vaccoraEncodeSingleByte(const QString& text, int codePage);
QString vaccoraDecodeSingleByte(const QByteArray& bytes, int codePage);

// The OEM/ANSI character-set step of a field format: the value taken as
// single-byte text of one page and read in the other; the length is kept.
QString vaccoraOemToAnsi(const QString& text);
QString vaccoraAnsiToOem(const QString& text);
