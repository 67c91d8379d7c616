// Value conversion, field formats and the platform services, as tables.
#include "TestSource.h"

#include "import/engine/ImportCharset.h"
#include "import/engine/ImportConvert.h"
#include "import/engine/ImportPlatform.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>

namespace {

QString q(const char* s) { return QString::fromUtf8(s); }
const QString kNbsp = QString(QChar(0x00A0));

TEST(Platform, FloatToTextShortestFifteenDigits) {
    struct Case { double v; const char* text; } cases[] = {
        {0, "0"}, {1, "1"}, {-2.5, "-2.5"}, {1234.5, "1234.5"}, {0.1, "0.1"}, {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"}, {123456789012345.0, "123456789012345"}, {1e15, "1E15"},
        {1234567890123456.0, "1.23456789012346E15"}, {0.00001, "0.00001"}, {0.0000015, "1.5E-6"},
        {1e20, "1E20"}, {3.14, "3.14"}, {100, "100"}, {0.1 + 0.2, "0.3"}};
    for (const auto& c : cases) EXPECT_EQ(vaccoraFloatToStr(c.v), q(c.text)) << c.v;
    EXPECT_EQ(vaccoraFloatToStr(2.5, QLatin1Char(',')), q("2,5"));
}

TEST(Platform, FormatDateTimeLetters) {
    TImportFormats f = TImportFormats::ProgramDefaults();
    double v;
    ASSERT_TRUE(vaccoraTryEncodeDateTime(2012, 3, 5, 14, 7, 9, 45, v));
    struct Case { const char* fmt; const char* text; } cases[] = {
        {"d.M.yyyy", "5.3.2012"}, {"dd.mm.yy", "05.03.12"}, {"d. MMMM yyyy", "5. March 2012"},
        {"ddd dddd mmm", "Mon Monday Mar"}, {"h:mm", "14:07"}, {"hh:nn:ss.zzz", "14:07:09.045"},
        {"h:mm am/pm", "2:07 pm"}, {"h:mm AMPM", "2:07 PM"}, {"yyyy/mm/dd", "2012.03.05"},
        {"'d' \"text\" d", "d text 5"}, {"ddddd t", "5.3.2012 14:07"}, {"c", "5.3.2012 14:07:09"}};
    for (const auto& c : cases) EXPECT_EQ(vaccoraFormatDateTime(q(c.fmt), v, f), q(c.text)) << c.fmt;
}

TEST(Platform, DateTimeParseWithImportFormats) {
    TImportFormats dmy = TImportFormats::ProgramDefaults();
    TImportFormats mdy;  // "M/d/yyyy", "/" and ":"
    struct Case { const TImportFormats* f; const char* text; bool ok; int y, m, d, h, n, s; } cases[] = {
        {&dmy, "31.12.2012", true, 2012, 12, 31, 0, 0, 0},
        {&dmy, " 1.2.2013 ", true, 2013, 2, 1, 0, 0, 0},
        {&dmy, "31.12.2012 10:30", true, 2012, 12, 31, 10, 30, 0},
        {&dmy, "31.12.2012 10:30:15", true, 2012, 12, 31, 10, 30, 15},
        {&dmy, "5.3.12", true, 2012, 3, 5, 0, 0, 0},
        {&mdy, "12/31/2012", true, 2012, 12, 31, 0, 0, 0},
        {&mdy, "12/31/2012 2:05 PM", true, 2012, 12, 31, 14, 5, 0},
        {&dmy, "31.13.2012", false, 0, 0, 0, 0, 0, 0},
        {&dmy, "31/12/2012", false, 0, 0, 0, 0, 0, 0},
        {&dmy, "31.12.2012 x", false, 0, 0, 0, 0, 0, 0},
        {&dmy, "41274", false, 0, 0, 0, 0, 0, 0},
        {&dmy, "31. December 2012", false, 0, 0, 0, 0, 0, 0},
        {&dmy, "", false, 0, 0, 0, 0, 0, 0}};
    for (const auto& c : cases) {
        double v = 0;
        bool ok = vaccoraTryStrToDateTime(q(c.text), *c.f, v);
        ASSERT_EQ(ok, c.ok) << c.text;
        if (!ok) continue;
        EXPECT_EQ(vaccoraDaysToDateTime(v), QDateTime(QDate(c.y, c.m, c.d), QTime(c.h, c.n, c.s))) << c.text;
    }
    double t;
    ASSERT_TRUE(vaccoraTryStrToDateTime(q("10:30"), dmy, t));
    EXPECT_NEAR(t, 10.5 / 24, 1e-9);
}

TEST(Platform, FormatParser) {
    struct Case { const char* text; const char* fmt; int y, m, d; } cases[] = {
        {"31. December 2012", "dd. MMMM yyyy", 2012, 12, 31},
        {"05-Mar-13", "dd-MMM-yy", 2013, 3, 5},
        {"05-Mar-85", "dd-MMM-yy", 1985, 3, 5},
        {"20121231", "yyyymmdd", 2012, 12, 31},
        {"31.12.2012", "d.M.yyyy", 0, 0, 0},      // "D" takes one character: "3", then "1" is not "."
        {"00.12.2012", "dd.MM.yyyy", 0, 0, 0},     // a day of 0
        {"31.12", "dd.MM.yyyy", 0, 0, 0},          // text runs out
        {"31.02.2012", "dd.MM.yyyy", 0, 0, 0},     // invalid date
        {"12.2012", "MM.YY", 0, 0, 0}};            // a format of 4 characters is refused
    for (const auto& c : cases) {
        double v = vaccoraParseDateByFormat(q(c.text), q(c.fmt));
        if (c.y == 0) {
            EXPECT_EQ(v, 0) << c.text;
        } else {
            EXPECT_EQ(vaccoraDaysToDateTime(v).date(), QDate(c.y, c.m, c.d)) << c.text;
        }
    }
    double v = vaccoraParseDateByFormat(q("01.02.2013 07:05 PM"), q("dd.mm.yyyy hh:nn ap"));
    EXPECT_EQ(vaccoraDaysToDateTime(v), QDateTime(QDate(2013, 2, 1), QTime(19, 5)));
}

struct TConvCase {
    const char* text;
    TFieldType type;
    QVariant expected;  // invalid: NULL
    bool fails = false;
};

void runTable(TTestSource& e, const std::vector<TConvCase>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        QVariant v;
        bool failed = false;
        try {
            v = e.ConvertText(QString::fromUtf8(c.text), c.type);
        } catch (const EImportError&) {
            failed = true;
        }
        ASSERT_EQ(failed, c.fails);
        if (failed) continue;
        EXPECT_EQ(v.isValid(), c.expected.isValid());
        if (c.expected.typeId() == QMetaType::QDateTime) {
            // wall-clock values: compare date and time, not the instant
            EXPECT_EQ(v.toDateTime().date(), c.expected.toDateTime().date());
            EXPECT_EQ(v.toDateTime().time(), c.expected.toDateTime().time());
        } else if (c.expected.isValid()) {
            EXPECT_EQ(v, c.expected);
        }
    }
}

TEST(Conversion, ProgramFormats) {
    TTestSource e;
    e.Formats = TImportFormats::ProgramDefaults();
    const QString spaced = q("1") + kNbsp + q("234.5");
    const QByteArray spacedUtf8 = spaced.toUtf8();
    const QByteArray nbspDate = (q("31.12.2012") + kNbsp + q("10:30")).toUtf8();
    using F = TFieldType;
    runTable(e, {
        {spacedUtf8.constData(), F::ftFloat, 1234.5},
        {"12,5", F::ftFloat, {}, true},
        {"-0.25", F::ftFloat, -0.25},
        {"1e3", F::ftFloat, 1000.0},
        {"", F::ftFloat, {}},
        {"  ", F::ftInteger, {}},
        {"", F::ftString, QString()},
        {" null ", F::ftString, {}},
        {"NULL", F::ftInteger, {}},
        {"Null", F::ftDateTime, {}},
        {"42", F::ftSmallint, 42},
        {"-7", F::ftInteger, -7},
        {"3.0", F::ftInteger, 3},
        {"True", F::ftInteger, 1},
        {"false", F::ftInteger, 0},
        {"yes", F::ftInteger, {}, true},
        {"12x", F::ftInteger, {}, true},
        {"99999999999", F::ftInteger, {}, true},
        {"99999999999", F::ftLargeint, QVariant(qlonglong(99999999999LL))},
        {"TRUE", F::ftBoolean, true},
        {"False", F::ftBoolean, false},
        {"1", F::ftBoolean, {}, true},
        {"31.12.2012", F::ftDate, QDateTime(QDate(2012, 12, 31), QTime(0, 0))},
        {"41274", F::ftDateTime, QDateTime(QDate(2012, 12, 31), QTime(0, 0))},
        {"41274.5", F::ftDateTime, QDateTime(QDate(2012, 12, 31), QTime(12, 0))},
        {nbspDate.constData(), F::ftDateTime, QDateTime(QDate(2012, 12, 31), QTime(10, 30))},
        {"soon", F::ftDateTime, {}, true},
        {"x", F::ftUnknown, {}, true},
        {"text ", F::ftString, q("text ")},
    });
}

TEST(Conversion, CommaDecimalAndFormatParserDates) {
    TTestSource e;
    e.Formats = TImportFormats::ProgramDefaults();
    e.Formats.DecimalSeparator = QLatin1Char(',');
    e.Formats.ShortDateFormat = q("dd. MMMM yyyy");
    e.Formats.BooleanTrue << q("yes");
    using F = TFieldType;
    runTable(e, {
        {"12,5", F::ftFloat, 12.5},
        {"12.5", F::ftFloat, 12.5},
        {"1.234.5", F::ftFloat, {}, true},
        {"yes", F::ftInteger, 1},
        {"31. December 2012", F::ftDate, QDateTime(QDate(2012, 12, 31), QTime(0, 0))},
    });
    try {
        e.ConvertText(q("soon"), F::ftDate);
        FAIL();
    } catch (const EImportError& err) {
        EXPECT_EQ(err.Message, q("Wrong date format \"soon\""));
    }
    try {
        e.ConvertText(q("maybe"), F::ftBoolean);
        FAIL();
    } catch (const EImportError& err) {
        EXPECT_EQ(err.Message, q("The value \"maybe\" is not a boolean value"));
    }
}

// Plain numbers and dates take a one-pass reading; it must agree with the
// general parse on every text it takes and leave the rest to it.
TEST(Conversion, PlainNumbersAndDatesAgreeWithTheGeneralParse) {
    TTestSource e;
    e.Formats = TImportFormats::ProgramDefaults();
    using F = TFieldType;
    const QByteArray thousand = (q("1") + kNbsp + q("000")).toUtf8();
    runTable(e, {
        {"+5", F::ftFloat, 5.0},
        {".5", F::ftFloat, 0.5},
        {"123456789012345", F::ftFloat, 123456789012345.0},
        {"1234567890.1234567", F::ftFloat, 1234567890.1234567},
        {" 2.5 ", F::ftFloat, 2.5},
        {"1.2.3", F::ftFloat, {}, true},
        {"--5", F::ftFloat, {}, true},
        {"007", F::ftInteger, 7},
        {thousand.constData(), F::ftInteger, 1000},
        {"2147483647", F::ftInteger, 2147483647},
        {"-2147483648", F::ftInteger, int(-2147483647 - 1)},
        {"2147483648", F::ftInteger, {}, true},
        {"2.5", F::ftInteger, 2},
        {"999999999999999999", F::ftLargeint, QVariant(qlonglong(999999999999999999LL))},
        {"9223372036854775807", F::ftLargeint, QVariant(qlonglong(9223372036854775807LL))},
        {"29.2.2000", F::ftDate, QDateTime(QDate(2000, 2, 29), QTime(0, 0))},
        {"29.2.1900", F::ftDate, {}, true},
        {"31.4.2013", F::ftDate, {}, true},
        {"0.1.2013", F::ftDate, {}, true},
        {"1.1.0001", F::ftDate, QDateTime(QDate(1, 1, 1), QTime(0, 0))},
    });

    // numbers: bit for bit the value of the general parse
    unsigned state = 7;
    auto rnd = [&](unsigned n) { state = state * 1103515245u + 12345u; return (state >> 8) % n; };
    for (int i = 0; i < 20000; ++i) {
        QString text = rnd(4) == 0 ? q("-") : QString();
        const int digits = 1 + int(rnd(16));
        const int point = int(rnd(unsigned(digits) + 1));
        for (int k = 0; k < digits; ++k) {
            if (k == point && k > 0) text += QLatin1Char('.');
            text += QLatin1Char(char('0' + rnd(10)));
        }
        double expected;
        ASSERT_TRUE(vaccoraTextToDouble(text, QLatin1Char('.'), expected)) << qPrintable(text);
        EXPECT_EQ(e.ConvertText(text, F::ftFloat).toDouble(), expected) << qPrintable(text);
    }

    // dates: the general parse's date for every day of years around the
    // calendar's corners, in both day orders
    TImportFormats mdy;  // "M/d/yyyy"
    mdy.DateSeparator = QLatin1Char('-');
    const TImportFormats* formats[] = {&e.Formats, &mdy};
    for (const TImportFormats* f : formats) {
        for (int y : {1, 4, 100, 400, 1582, 1899, 1900, 2000, 2024, 9999}) {
            for (int m = 0; m <= 13; ++m) {
                for (int d = 0; d <= 32; ++d) {
                    const QString first = QString::number(f == &mdy ? m : d);
                    const QString second = QString::number(f == &mdy ? d : m);
                    const QString text = first + f->DateSeparator + second + f->DateSeparator +
                                         QString::number(y).rightJustified(4, QLatin1Char('0'));
                    double days = 0;
                    const bool general = vaccoraTryStrToDateTime(text, *f, days);
                    QDate plain;
                    ASSERT_EQ(vaccoraTryPlainDate(text, *f, plain), general) << qPrintable(text);
                    if (general) {
                        ASSERT_EQ(plain, vaccoraDaysToDateTime(days).date()) << qPrintable(text);
                    }
                }
            }
        }
    }
    QDate unused;
    for (const char* text : {"5.3.13", "05.03.2013 ", "5.3.2013 10:30", "5..2013", "12345.1.2013", "5.3"})
        EXPECT_FALSE(vaccoraTryPlainDate(q(text), e.Formats, unused)) << text;
}

// ApplyFieldFormat in its order, through the engine's row of a real run on a
// user-defined destination.
class FieldFormatRun : public ::testing::Test {
protected:
    std::vector<QStringList> run(TTestSource& e) {
        std::vector<QStringList> out;
        e.ImportDestination = qidUserDefined;
        e.SetFileName(QString::fromUtf8(VACCORA_TEST_FILE));
        e.OnUserDefinedImport = [&out](TImportEngine&, TImportRow& row) {
            QStringList values;
            for (int i = 0; i < row.Count(); ++i) values << row[i].Name + QLatin1Char('=') + row[i].Value;
            out.push_back(values);
        };
        e.Execute();
        return out;
    }
};

TEST_F(FieldFormatRun, OrderOfTheSteps) {
    TTestSource e;
    e.Rows = {{q("n/a"), q("a\r\nb"), q("x"), q("\"quoted\"")},
              {q("N/A"), q("c\r\nd"), q("y"), q("plain")},
              {q("5"), q("e"), q("z"), q("\"q")}};
    e.Map = QStringList{q("A=1"), q("B=2"), q("C=3"), q("D=4"), q("GEN=9")};
    TImportFieldFormat& a = e.FieldFormats.Add(q("a"));  // found ignoring case
    a.NullValue = q("n/a");
    a.DefaultValue = q("0");
    a.Replacements.push_back({q("0"), q("zero"), false});  // skipped after a default
    TImportFieldFormat& b = e.FieldFormats.Add(q("B"));
    b.Replacements.push_back({q("#13#10"), q(" "), false});
    b.CharCase = iccUpperFirstWord;
    TImportFieldFormat& c = e.FieldFormats.Add(q("C"));
    c.ConstantValue = q("''");
    TImportFieldFormat& d = e.FieldFormats.Add(q("D"));
    d.QuoteAction = qaRemove;
    d.LeftQuote = d.RightQuote = q("\"");
    d.CharCase = iccUpper;
    TImportFieldFormat& g = e.FieldFormats.Add(q("GEN"));
    g.GeneratorValue = 100;
    g.GeneratorStep = 10;
    auto rows = run(e);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (QStringList{q("A=0"), q("B=A B"), q("C="), q("D=QUOTED"), q("GEN=100")}));
    EXPECT_EQ(rows[1], (QStringList{q("A=0"), q("B=C D"), q("C="), q("D=PLAIN"), q("GEN=110")}));
    EXPECT_EQ(rows[2], (QStringList{q("A=5"), q("B=E"), q("C="), q("D=Q"), q("GEN=120")}));
}

TEST_F(FieldFormatRun, ScriptsReplacementsAndFunctions) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    TTestSource e;
    e.Rows = {{q("abc"), q("1"), q("x")}};
    e.Map = QStringList{q("A=1"), q("B=2"), q("F=3")};
    TImportJScriptEngine js;
    e.ScriptEngine = &js;
    TImportFieldFormat& a = e.FieldFormats.Add(q("A"));
    a.Script = QStringList{q("%A%.toUpperCase() + \"-\" + %A%.length")};
    a.Replacements.push_back({q("B"), q("b"), false});
    a.CharCase = iccLower;  // not applied after a script
    TImportFieldFormat& b = e.FieldFormats.Add(q("B"));
    b.Script = QStringList{q("%B% +")};  // a syntax error: the value stays
    TImportFieldFormat& f = e.FieldFormats.Add(q("F"));
    f.Functions = ifShortFileName;
    QString reported;
    e.OnScriptExecuteError = [&](TImportEngine&, const TImportScriptError& err, const QString& col, bool&, QString&) {
        reported = col + QLatin1Char(':') + (err.Description.isEmpty() ? q("?") : q("msg"));
    };
    auto rows = run(e);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], q("A=AbC-3"));
    EXPECT_EQ(rows[0][1], q("B=1"));
    EXPECT_EQ(rows[0][2], q("F=") + QFileInfo(QString::fromUtf8(VACCORA_TEST_FILE)).fileName());
    EXPECT_EQ(reported, q("B:msg"));

    // a handler that asks to raise ends the run with its message
    e.OnScriptExecuteError = [](TImportEngine&, const TImportScriptError&, const QString&, bool& raise, QString& msg) {
        raise = true;
        msg = q("script failed");
    };
    try {
        run(e);
        FAIL();
    } catch (const EImportError& err) {
        EXPECT_EQ(err.Message, q("script failed"));
    }
}

TEST(Charset, OemAnsiStepKeepsLength) {
    qputenv("LC_ALL", "cs_CZ.UTF-8");
    EXPECT_EQ(vaccoraDesktopCodePages().Oem, 852);
    QString ansi = q("Příliš");
    QString oem = vaccoraAnsiToOem(ansi);
    EXPECT_EQ(oem.size(), ansi.size());
    EXPECT_EQ(vaccoraOemToAnsi(oem), ansi);
    qputenv("LC_ALL", "C");
    EXPECT_EQ(vaccoraDesktopCodePages().Ansi, 1252);
    // "Ç" is 0x80 in cp437, and 0x80 reads as the euro sign in cp1252
    EXPECT_EQ(vaccoraAnsiToOem(q("Ç")), q("€"));
    EXPECT_EQ(vaccoraOemToAnsi(q("€")), q("Ç"));
}

}  // namespace
