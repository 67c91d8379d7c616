// Encoding table, line reader, record assembly, field splitting and tab
// expansion, on bytes given in the tests and on the fixtures.
#include "import/sources/text/TextCharset.h"
#include "import/sources/text/TextLineReader.h"
#include "import/sources/text/TextRecords.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>

#include <set>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

QString fixture(const char* name)
{
    return QStringLiteral(VACCORA_TEXT_FIXTURES "/") + QLatin1String(name);
}

QStringList readLines(const QByteArray& bytes, int codePage)
{
    TTextLineReader r;
    r.SetCodePage(codePage);
    r.OpenBuffer(bytes);
    QStringList lines;
    QString line;
    while (r.ReadLine(line))
        lines << line;
    EXPECT_TRUE(r.Eof());
    return lines;
}

QStringList readFileLines(const QString& path, int codePage)
{
    TTextLineReader r;
    r.SetCodePage(codePage);
    r.Open(path);
    QStringList lines;
    QString line;
    while (r.ReadLine(line))
        lines << line;
    return lines;
}

QByteArray utf16le(const QString& s)
{
    return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}

QByteArray utf32le(const std::u32string& s)
{
    QByteArray b;
    for (char32_t c : s)
        for (int i = 0; i < 4; ++i)
            b.append(char((c >> (8 * i)) & 0xFF));
    return b;
}

}  // namespace

TEST(TextCharset, TableBindsItsCodePages)
{
    EXPECT_EQ(vaccoraCharsetDisplayText(ctWinDefined), QStringLiteral("Windows default"));
    EXPECT_EQ(vaccoraCharsetDisplayText(ctCp858), QStringLiteral("Codepage 858 - Latin-1"));
    EXPECT_EQ(vaccoraCharsetDisplayText(ctLatin2), QStringLiteral("latin2 (ISO 8859-2 Central European"));
    const std::pair<TCharsetType, int> bound[] = {
        {ctLatin1, 1252}, {ctAscii, 20127}, {ctCp1250, 1250}, {ctLatin2, 870}, {ctLatin5, 1026},
        {ctLatin9, 28599}, {ctLatin13, 28594}, {ctUtf8, 65001}, {ctUtf16, 1200}, {ctUtf32, 12000},
        {ctSwe7, 20107}, {ctIceland, 871}, {ctGB2312, 936}, {ctCp775, 775},
        {ctArmscii8, 0}, {ctDec8, 0}, {ctKeybcs2, 0}, {ctLatin4, 0}, {ctEUC, 0}, {ctSJIS_0208, 0},
    };
    for (auto [ct, cp] : bound)
        EXPECT_EQ(vaccoraCharsetCodePage(ct), cp) << int(ct);
    int withoutCodePage = 0;
    for (int i = 0; i < vaccoraCharsetCount; ++i) {
        EXPECT_FALSE(vaccoraCharsetDisplayText(TCharsetType(i)).isEmpty());
        const int cp = vaccoraCharsetCodePage(TCharsetType(i));
        if (cp == 0) {
            ++withoutCodePage;
            continue;
        }
        // Every code page of the table can be decoded here.
        TTextLineReader r;
        EXPECT_NO_THROW(r.SetCodePage(cp)) << "code page " << cp;
    }
    EXPECT_EQ(withoutCodePage, 11);
    EXPECT_FALSE(vaccoraIsCharset(64));
}

TEST(TextLineReader, LineBreaksOfByteCodePages)
{
    struct Case { QByteArray bytes; QStringList lines; };
    const QString longLine(5000, u'x');
    QByteArray acrossRefill(2047, 'y');
    acrossRefill += "\r\nz";  // the CR ends the first buffer, its LF starts the next
    const Case cases[] = {
        {"a\n\nb", {"a", "", "b"}},
        {"a\r\nb\n\rc\rd", {"a", "b", "c", "d"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"a\n", {"a"}},
        {"a\n\n", {"a", ""}},
        {"", {}},
        {"\n", {""}},
        {longLine.toLatin1() + "\nq", {longLine, "q"}},
        {acrossRefill, {QString(2047, u'y'), "z"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readLines(c.bytes, 1252), c.lines) << c.bytes.left(40).toStdString();
}

TEST(TextLineReader, Decoding)
{
    // UTF-8: 2, 3 and 4 bytes; a sequence cut short by the line end is dropped.
    EXPECT_EQ(readLines("M\xC3\xBCller\xE2\x82\xAC\xF0\x9F\x90\x84\n\xC3", 65001),
              (QStringList{QString::fromUtf8("Müller€\U0001F404"), ""}));
    // continuation bytes are not checked: a stray one leads a three-byte sequence
    EXPECT_EQ(readLines("\x80\x80\x80" "a", 65001).value(0).size(), 2);
    // cp1250 and cp852 letters
    EXPECT_EQ(readLines("\xC8\x65\x9Atina", 1250), QStringList{QString::fromUtf8("Čeština")});
    EXPECT_EQ(readLines("\xAC\x82", 852), QStringList{QString::fromUtf8("Čé")});
    // a double-byte code page goes through iconv per line
    EXPECT_EQ(readLines("\xC4\xE3\xBA\xC3\r\nA", 936), (QStringList{QString::fromUtf8("你好"), "A"}));
    // UTF-16: only CR LF and U+2028 end a line; a lone LF or CR is text
    EXPECT_EQ(readLines(utf16le(QStringLiteral("a\nb\rc\r\nd") + QChar(0x2028) + QStringLiteral("e")), 1200),
              (QStringList{"a\nb\rc", "d", "e"}));
    // UTF-32 little endian, also beyond the 16-bit range
    EXPECT_EQ(readLines(utf32le(U"x\r\ny\U0001F404"), 12000), (QStringList{"x", QString::fromUtf8("y\U0001F404")}));
}

TEST(TextLineReader, ByteOrderMarks)
{
    TTextLineReader r;
    r.SetCodePage(65001);
    r.Open(fixture("utf8_mark.csv"));
    EXPECT_EQ(r.Mark(), TTextByteOrderMark::Utf8);
    // the mark is skipped, the code page decides the decoding
    EXPECT_EQ(readFileLines(fixture("utf8_mark.csv"), 65001), QStringList{QString::fromUtf8("5,Müller€\U0001F404,7")});
    EXPECT_EQ(readFileLines(fixture("utf8_mark.csv"), 1252).value(0).left(5), QString::fromUtf8("5,MÃ¼"));

    const QStringList be = readFileLines(fixture("utf16be_mark.csv"), 1200);
    EXPECT_EQ(be, (QStringList{"FARMA,DOJNICE,SB", QString::fromUtf8("3,Kráva Žofie,120"),
                               QString::fromUtf8("4,\"Bětka, \"\"Ň\"\"\",90")}));
    const QStringList garbled = readFileLines(fixture("utf16be_mark.csv"), 1252);
    EXPECT_NE(garbled.value(0), QStringLiteral("FARMA,DOJNICE,SB"));
    EXPECT_TRUE(garbled.value(0).startsWith(QString::fromLatin1("F\0A", 3)));

    QByteArray be32("\x00\x00\xFE\xFF", 4);
    for (char32_t c : std::u32string(U"ab\r\nc"))
        be32 += QByteArray("\0\0\0", 3) + char(c);
    EXPECT_EQ(readLines(be32, 12000), (QStringList{"ab", "c"}));
    // a UTF-16 file with LF line ends is one line
    EXPECT_EQ(readLines(QByteArray("\xFF\xFE", 2) + utf16le("a\nb\n"), 1200), QStringList{"a\nb\n"});
}

TEST(TextLineReader, OpenFailures)
{
    TTextLineReader r;
    try {
        r.Open(QStringLiteral("/nonexistent/x.csv"));
        FAIL() << "opened a missing file";
    } catch (const EImportError& e) {
        EXPECT_TRUE(e.Message.contains(QStringLiteral("/nonexistent/x.csv")));
        EXPECT_TRUE(e.Message.endsWith(QStringLiteral("Failed to reset file.")));
    }
    try {
        r.Open(QStringLiteral(VACCORA_TEXT_FIXTURES));
        FAIL() << "opened a folder";
    } catch (const EImportError& e) {
        EXPECT_TRUE(e.Message.endsWith(QStringLiteral("Failed to reset file.")));
    }
    EXPECT_THROW(r.SetCodePage(4711), EImportError);
}

TEST(TextRecords, FieldSplitting)
{
    struct Case { const char* record; char comma, quote; QStringList fields; };
    const Case cases[] = {
        {"a,'b''c',d", ',', '\'', {"a", "b'c", "d"}},
        {"'x'y,z", ',', '\'', {"x", "z"}},
        {"ab'c,d", ',', '\'', {"ab'c", "d"}},
        {"'x'y,", ',', '\'', {"x", ""}},
        {"", ',', '\'', {""}},
        {",,,", ',', '\'', {"", "", "", ""}},
        {"'a,b\r\nc',5", ',', '\'', {"a,b\r\nc", "5"}},
        {"'a'','b'", ',', '\'', {"a',"}},      // the quote before b closes the field
        {" 'a' ,b", ',', '\'', {" 'a' ", "b"}},
        {"'a',b", ',', 0, {"'a'", "b"}},
        {"1;\"2;3\";", ';', '"', {"1", "2;3", ""}},
        {"x\ty", '\t', '"', {"x", "y"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(vaccoraSplitTextRecord(QString::fromLatin1(c.record), c.comma, c.quote), c.fields) << c.record;
}

TEST(TextRecords, ContinuationTest)
{
    struct Case { const char* line; bool continues; };
    const Case cases[] = {
        {"1,'two,three", true},
        {"'abc", false},             // a quoted first field never continues
        {"1,'ab'", false},           // closed
        {"1,'a''b", true},           // escaped pair, still open
        {"1,'a'''", false},          // escaped pair then the close
        {"1,'',x", false},
        {"1,'a,'b", false},          // the pair lies inside an open field that closes
        {"1,'x',',y", true},         // opens a field ",y"
        {"'x,',y", false},           // S Q S with an even count: the pair closed 'x,'
        {"1,'x,',z,'w", true},
        {"a,b", false},
        {"'a,b',c,'d", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(vaccoraTextLineContinues(QString::fromLatin1(c.line), ',', '\''), c.continues) << c.line;
    EXPECT_FALSE(vaccoraTextLineContinues(QStringLiteral("1,'two"), ',', 0));
}

TEST(TextRecords, RecordAssembly)
{
    struct Case { const char* bytes; QStringList records; };
    const Case cases[] = {
        {"1,'two,three\nfour',5\n6", {"1,'two,three\r\nfour',5", "6"}},
        {"'abc\nd", {"'abc", "d"}},
        {"1,'a\nb\nc'\nd", {"1,'a\r\nb\r\nc'", "d"}},
        // the first following line with a quote ends it, even an opening one
        {"1,'a\nb,'c\nd'", {"1,'a\r\nb,'c", "d'"}},
        // the file ends inside the field
        {"1,'a\nb", {"1,'a\r\nb"}},
        {"1,'a", {"1,'a"}},
    };
    for (const Case& c : cases) {
        TTextLineReader r;
        r.SetCodePage(1252);
        r.OpenBuffer(QByteArray(c.bytes));
        TTextRecordReader records(r, ',', '\'');
        QStringList got;
        QString rec;
        while (records.ReadRecord(rec))
            got << rec;
        EXPECT_EQ(got, c.records) << c.bytes;
    }
    const QStringList fields = vaccoraSplitTextRecord(QStringLiteral("1,'two,three\r\nfour',5"), ',', '\'');
    EXPECT_EQ(fields, (QStringList{"1", "two,three\r\nfour", "5"}));
}

TEST(TextRecords, TabExpansion)
{
    struct Case { QString line; QString expanded; };
    auto sp = [](int n) { return QString(n, u' '); };
    const Case cases[] = {
        {"\tx", sp(8) + "x"},                                 // position 1: 8
        {"abcdef\tx", "abcdef" + sp(2) + "x"},                // 7: 2
        {"abcdefg\tx", "abcdefg" + sp(1) + "x"},              // 8: 1
        {QString(15, u'a') + "\tx", QString(15, u'a') + sp(2) + "x"},   // 16: 2
        {QString(23, u'a') + "\tx", QString(23, u'a') + sp(3) + "x"},   // 24: 3
        {QString(71, u'a') + "\tx", QString(71, u'a') + sp(9) + "x"},   // 72: 9
        {"\t\t", sp(16)},                                      // second TAB at 9: 8
        {"no tabs", "no tabs"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(vaccoraExpandTabs(c.line), c.expanded) << c.line.toStdString();
}
