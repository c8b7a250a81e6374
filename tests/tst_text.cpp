// The text cuts and number readers every scraper and filter is built from.
#include "text/Numbers.h"
#include "text/Scrape.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pieceAfter_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<int>("occurrence");
        QTest::addColumn<QString>("piece"); // null: not found
        QTest::newRow("to end") << "ab[x]cd"
                                << "[x]" << 1 << "cd";
        QTest::newRow("up to the next") << "a|1|2|3"
                                        << "|" << 1 << "1";
        QTest::newRow("third") << "a|1|2|3"
                               << "|" << 3 << "3";
        QTest::newRow("too few") << "a|1"
                                 << "|" << 2 << QString();
        QTest::newRow("case sensitive") << "Rank_1"
                                        << "rank_" << 1 << QString();
        QTest::newRow("empty marker") << "abc"
                                      << "" << 1 << QString();
    }
    void pieceAfter()
    {
        QFETCH(QString, page);
        QFETCH(QString, marker);
        QFETCH(int, occurrence);
        QFETCH(QString, piece);
        const std::optional<QString> got = Scrape::pieceAfter(page, marker, occurrence);
        QCOMPARE(got.has_value(), !piece.isNull());
        if (got)
            QCOMPARE(*got, piece);
        QCOMPARE(Scrape::cutAt(u"abc</td>def</td>", u"</td>"), QStringLiteral("abc"));
        QCOMPARE(Scrape::cutAt(u"1,230", u"<"), QStringLiteral("1,230"));
    }

    void leadingNumber_data()
    {
        const double inf = std::numeric_limits<double>::infinity();
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("blanks anywhere") << " 1 2" << 12.0;
        QTest::newRow("tab and sign") << "\t- 5 " << -5.0;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("exponent") << "2E+2" << 200.0;
        QTest::newRow("negative exponent") << "25e-1" << 2.5;
        QTest::newRow("dangling exponent") << "1e-" << 1.0;
        QTest::newRow("no integer part") << "-.25" << -0.25;
        QTest::newRow("point alone") << "." << 0.0;
        QTest::newRow("separator stops") << "1,000" << 1.0;
        QTest::newRow("double sign") << "--5" << 0.0;
        QTest::newRow("full-width digits") << "１２" << 0.0;
        QTest::newRow("size text") << "3123KB" << 3123.0;
        QTest::newRow("overflow") << "-2e400" << -inf;
        QTest::newRow("long digits") << QString(400, u'9') << inf;
        QTest::newRow("underflow") << "0." + QString(400, u'0') + "1" << 0.0;
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(Numbers::leadingNumber(text), value);
    }

    void cellNumber_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<double>("value"); // NaN: not a number
        const double no = std::nan("");
        QTest::newRow("grouped") << "1,230,000" << 1230000.0;
        QTest::newRow("PageRank with line feed") << "4\n" << 4.0;
        QTest::newRow("grouped decimal") << "1,000.25" << 1000.25;
        QTest::newRow("beyond 2^53") << "12,345,678,901,234,567,890" << 12345678901234567890.0;
        QTest::newRow("failure text") << "查询失败" << no;
        QTest::newRow("blank") << " " << no;
        QTest::newRow("group of two") << "12,34" << no;
        QTest::newRow("lead of four") << "1234,567" << no;
        QTest::newRow("blank inside") << "1 230" << no;
        QTest::newRow("exponent") << "1e3" << no;
        QTest::newRow("absurdly long") << QString(200, u'9') << no;
    }
    void cellNumber()
    {
        QFETCH(QString, cell);
        QFETCH(double, value);
        const std::optional<double> got = Numbers::cellNumber(cell);
        QCOMPARE(got.has_value(), !std::isnan(value));
        if (got)
            QCOMPARE(*got, value);
    }

    void numericLabel_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("numeric");
        QTest::newRow("digits") << "007" << true;
        QTest::newRow("e exponent") << "1e5" << true;
        QTest::newRow("d exponent") << "12D3" << true;
        QTest::newRow("letter") << "12a" << false;
        QTest::newRow("dangling exponent") << "12e" << false;
        QTest::newRow("sign") << "-12" << false;
        QTest::newRow("trailing CR") << "123\r" << false;
        QTest::newRow("empty") << "" << false;
    }
    void numericLabel()
    {
        QFETCH(QString, label);
        QFETCH(bool, numeric);
        QCOMPARE(Numbers::isNumericLabel(label), numeric);
    }

    void shortestDecimal()
    {
        QCOMPARE(Numbers::shortestDecimal(95), QStringLiteral("95"));
        QCOMPARE(Numbers::shortestDecimal(-0.0), QStringLiteral("0"));
        QCOMPARE(Numbers::shortestDecimal(3.5), QStringLiteral("3.5"));
        QCOMPARE(Numbers::shortestDecimal(1e21), QStringLiteral("1e+21"));
    }
};

QTEST_GUILESS_MAIN(TestText)
#include "tst_text.moc"
