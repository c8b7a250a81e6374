// The text cuts and number readers every scraper and filter is built from.
#include "text/HostName.h"
#include "text/Numbers.h"
#include "text/Scrape.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pieceAfter_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<int>("occurrence");
        QTest::addColumn<QString>("piece"); // null: not found
        QTest::newRow("to end") << u"ab[x]cd"_s << "[x]" << 1 << "cd";
        QTest::newRow("up to the next") << u"a|1|2|3"_s << "|" << 1 << "1";
        QTest::newRow("third") << u"a|1|2|3"_s << "|" << 3 << "3";
        QTest::newRow("too few") << u"a|1"_s << "|" << 2 << QString();
        QTest::newRow("case sensitive") << u"Rank_1"_s << "rank_" << 1 << QString();
        QTest::newRow("empty marker") << u"abc"_s << "" << 1 << QString();
    }
    void pieceAfter()
    {
        QFETCH(QString, page);
        QFETCH(QString, marker);
        QFETCH(int, occurrence);
        QFETCH(QString, piece);
        const std::optional<QString> got = Scrape::pieceAfter(page, marker, occurrence);
        QCOMPARE(got.value_or(QString()), piece);
        QCOMPARE(got.has_value(), !piece.isNull());
        QCOMPARE(Scrape::cutAt(u"abc</td>def</td>", u"</td>"), u"abc"_s);
        QCOMPARE(Scrape::cutAt(u"1,230", u"<"), u"1,230"_s);
    }

    // A typed name in its ASCII form, or nothing when it is no host name.
    void hostName_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("ascii"); // empty: refused
        const QString label(63, u'a');
        QTest::newRow("upper case") << u"ABC-1.Com"_s << u"abc-1.com"_s;
        QTest::newRow("longest label") << label + u".cn"_s << label + u".cn"_s;
        QTest::newRow("a path") << u"x/../../../admin/ok.test"_s << QString();
        QTest::newRow("one label") << u"localhost"_s << QString();
        QTest::newRow("64-character label") << label + u"a.cn"_s << QString();
        QTest::newRow("254 characters")
            << QStringList(3, label).join(u'.') + u'.' + QString(62, u'd') << QString();
        QTest::newRow("edge hyphen") << u"a-.com"_s << QString();
        QTest::newRow("underscore") << u"a_b.com"_s << QString();
        QTest::newRow("address") << u"127.0.0.1"_s << QString();
    }
    void hostName()
    {
        QFETCH(QString, typed);
        QFETCH(QString, ascii);
        QCOMPARE(asciiHostName(typed).value_or(QString()), ascii);
    }

    // Each text through the three readers: the lenient leading number of typed text, a cell's
    // number (NaN: not one) and whether a domain label reads as a number.
    void numbers_data()
    {
        const double inf = qInf(), no = qQNaN();
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("leading");
        QTest::addColumn<double>("cell");
        QTest::addColumn<bool>("label");
        QTest::newRow("digits") << u"007"_s << 7.0 << 7.0 << true;
        QTest::newRow("blanks anywhere") << u" 1 2"_s << 12.0 << no << false;
        QTest::newRow("tab and sign") << u"\t- 5 "_s << -5.0 << no << false;
        QTest::newRow("sign") << u"-12"_s << -12.0 << -12.0 << false;
        QTest::newRow("double sign") << u"--5"_s << 0.0 << no << false;
        QTest::newRow("e exponent") << u"2E+2"_s << 200.0 << no << false;
        QTest::newRow("label exponent") << u"1e5"_s << 1e5 << no << true;
        QTest::newRow("d exponent") << u"12D3"_s << 12.0 << no << true;
        QTest::newRow("dangling exponent") << u"12e"_s << 12.0 << no << false;
        QTest::newRow("no integer part") << u"-.25"_s << -0.25 << no << false;
        QTest::newRow("point alone") << u"."_s << 0.0 << no << false;
        QTest::newRow("size text") << u"3123KB"_s << 3123.0 << no << false;
        QTest::newRow("failure text") << u"查询失败"_s << 0.0 << no << false;
        QTest::newRow("full-width digits") << u"１２"_s << 0.0 << no << false;
        QTest::newRow("empty") << QString() << 0.0 << no << false;
        QTest::newRow("trailing CR") << u"123\r"_s << 123.0 << 123.0 << false;
        QTest::newRow("PageRank with line feed") << u"4\n"_s << 4.0 << 4.0 << false;
        QTest::newRow("grouped") << u"1,230,000"_s << 1.0 << 1230000.0 << false;
        QTest::newRow("grouped decimal") << u"1,000.25"_s << 1.0 << 1000.25 << false;
        QTest::newRow("beyond 2^53")
            << u"12,345,678,901,234,567,890"_s << 12.0 << 12345678901234567890.0 << false;
        QTest::newRow("group of two") << u"12,34"_s << 12.0 << no << false;
        QTest::newRow("lead of four") << u"1234,567"_s << 1234.0 << no << false;
        QTest::newRow("blank inside") << u"1 230"_s << 1230.0 << no << false;
        QTest::newRow("overflow") << u"-2e400"_s << -inf << no << false;
        QTest::newRow("absurdly long") << QString(400, u'9') << inf << no << true;
        QTest::newRow("underflow") << "0." + QString(400, u'0') + "1" << 0.0 << no << false;
    }
    void numbers()
    {
        QFETCH(QString, text);
        QFETCH(double, leading);
        QFETCH(double, cell);
        QFETCH(bool, label);
        QCOMPARE(Numbers::leadingNumber(text), leading);
        QCOMPARE(Numbers::cellNumber(text).value_or(qQNaN()), cell); // QCOMPARE takes NaN as NaN
        QCOMPARE(Numbers::isNumericLabel(text), label);
    }

    void shortestDecimal()
    {
        QCOMPARE(Numbers::shortestDecimal(95), u"95"_s);
        QCOMPARE(Numbers::shortestDecimal(-0.0), u"0"_s);
        QCOMPARE(Numbers::shortestDecimal(3.5), u"3.5"_s);
        QCOMPARE(Numbers::shortestDecimal(1e21), u"1e+21"_s);
    }
};

QTEST_GUILESS_MAIN(TestText)
#include "tst_text.moc"
