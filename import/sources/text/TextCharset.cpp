#include "import/sources/text/TextCharset.h"

#include "import/engine/ImportCharset.h"

const int vaccoraCharsetCodePages[vaccoraCharsetCount] = {
    0,     1252,  0,     20127, 850,   852,   866,   1250,   // 0..7
    1251,  1256,  1257,  0,     0,     28597, 28598, 0,      // 8..15
    0,     20866, 21866, 870,   1026,  0,     10029, 10000,  // 16..23
    20107, 65001, 1200,  12000, 28593, 0,     0,     0,      // 24..31
    28595, 28596, 1026,  1254,  1255,  1258,  437,   500,    // 32..39
    737,   855,   856,   857,   860,   862,   863,   864,    // 40..47
    865,   869,   874,   875,   871,   950,   949,   0,      // 48..55
    936,   0,     28599, 28594, 1252,  1253,  775,   858,    // 56..63
};

static const char* const kDisplayTexts[vaccoraCharsetCount] = {
    "Windows default",
    "latin1 (ISO 8859-1 West European)",
    "armscii8 (ARMSCII-8 Armenian)",
    "ascii (US ASCII)",
    "cp850 (DOS West European)",
    "cp852 (DOS Central European)",
    "cp866 (DOS Russian)",
    "cp1250 (Windows Central European)",
    "cp1251 (Windows Cyrillic)",
    "cp1256 (Windows Arabic)",
    "cp1257 (Windows Baltic)",
    "dec8 (DEC West European)",
    "geostd8 (GEOSTD8 Georgian)",
    "greek (ISO 8859-7 Greek)",
    "hebrew (ISO 8859-8 Hebrew)",
    "hp8 (HP West European)",
    "keybcs2 (DOS Kamenicky Czech-Slova)",
    "koi8r (KOI8-R Relcom Russian)",
    "koi8u (KOI8-U Ukrainian)",
    "latin2 (ISO 8859-2 Central European",
    "latin5 (ISO 8859-9 Turkish)",
    "latin7 ((ISO 8859-13 Baltic)",
    "macce (Mac Central European)",
    "macroman (Mac West European)",
    "swe7 (7bit Swedish)",
    "Unicode (UTF-8)",
    "Unicode (UTF-16)",
    "Unicode (UTF-32)",
    "latin3 (ISO 8859-3)",
    "latin4 (ISO 8859-4)",
    "latin6 (ISO 8859-10)",
    "latin8 (ISO 8859-14)",
    "iso8859-5 (Cyrillic)",
    "iso8859-6 (Arabic)",
    "CCSID 1026 - EBCDIC Turkey Latin-5",
    "Codepage 1254 - Windows Turkish",
    "Codepage 1255 - Windows Hebrew",
    "Codepage 1258 - Windows Vietnamese",
    "Codepage 437 - US, Europe",
    "CCSID 500 - EBCDIC Latin-1",
    "Codepage 737 - WIN Greece",
    "Codepage 855 - OS2 Cyrillic",
    "Codepage 856 - Hebrew",
    "Codepage 857 - OS2 Turkey",
    "Codepage 860 - Portuguese",
    "Codepage 862 - OS2 Hebrew",
    "Codepage 863 - Canadian-French",
    "Codepage 864 - OS2 Arabic",
    "Codepage 865 - Norway, Denmark",
    "Codepage 869 - OS2 Greece",
    "Codepage 874 - OS2/AIX Thailand",
    "CCSID 875 - EBCDIC Greece",
    "CCSID 871 - EBCDIC Iceland",
    "Big5",
    "Korean (Unified Hangeul)",
    "EUC Japanese",
    "Simplified Chinese (Hong Kong, PRC)",
    "Japanese",
    "iso8859-9 (Turkish)",
    "iso8859-4 (Baltic)",
    "Codepage 1252 - Western Europe, Amerika",
    "Codepage 1253 - Modern Greek",
    "Codepage 775 - Baltic",
    "Codepage 858 - Latin-1",
};

bool vaccoraIsCharset(int value) { return value >= 0 && value < vaccoraCharsetCount; }

int vaccoraCharsetCodePage(TCharsetType ct)
{
    if (!vaccoraIsCharset(ct))
        return 0;
    if (ct == ctWinDefined)
        return vaccoraSystemAnsiCodePage();
    return vaccoraCharsetCodePages[ct];
}

QString vaccoraCharsetDisplayText(TCharsetType ct)
{
    return vaccoraIsCharset(ct) ? QString::fromLatin1(kDisplayTexts[ct]) : QString();
}

int vaccoraSystemAnsiCodePage() { return vaccoraDesktopCodePages().Ansi; }
int vaccoraSystemOemCodePage() { return vaccoraDesktopCodePages().Oem; }

const char* vaccoraCodePageIconvName(int cp)
{
    switch (cp) {
    case 437: return "CP437";
    case 500: return "IBM500";
    case 737: return "CP737";
    case 775: return "CP775";
    case 850: return "CP850";
    case 852: return "CP852";
    case 855: return "CP855";
    case 856: return "CP856";
    case 857: return "CP857";
    case 858: return "CP858";
    case 860: return "CP860";
    case 862: return "CP862";
    case 863: return "CP863";
    case 864: return "CP864";
    case 865: return "CP865";
    case 866: return "CP866";
    case 869: return "CP869";
    case 870: return "IBM870";
    case 871: return "IBM871";
    case 874: return "CP874";
    case 875: return "IBM875";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 1026: return "IBM1026";
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1252: return "CP1252";
    case 1253: return "CP1253";
    case 1254: return "CP1254";
    case 1255: return "CP1255";
    case 1256: return "CP1256";
    case 1257: return "CP1257";
    case 1258: return "CP1258";
    case 10000: return "MACINTOSH";
    case 10029: return "MAC-CENTRALEUROPE";
    case 20107: return "SEN_850200_B";
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 28593: return "ISO-8859-3";
    case 28594: return "ISO-8859-4";
    case 28595: return "ISO-8859-5";
    case 28596: return "ISO-8859-6";
    case 28597: return "ISO-8859-7";
    case 28598: return "ISO-8859-8";
    case 28599: return "ISO-8859-9";
    default: return nullptr;
    }
}
