#include "sources/LengthBreakdown.h"
#include "sources/SourceLists.h"

#include <QTest>

using namespace Sources;

namespace {

// "index:entry" for every entry, lists in index order, so one comparison shows where a line went.
template <typename Lists> QStringList flatten(const Lists &lists)
{
    QStringList flat;
    for (qsizetype i = 0; i < qsizetype(lists.size()); ++i) {
        for (const QString &entry : lists[i])
            flat.append(QString::number(i) + u':' + entry);
    }
    return flat;
}

} // namespace

class TestSources : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cutLines_data();
    void cutLines();
    void fileLine_data();
    void fileLine();
    void filePage_data();
    void filePage();
    void bigPage_data();
    void bigPage();
    void sourceConstants_data();
    void sourceConstants();
    void suffixCaption_data();
    void suffixCaption();
    void numericLabel_data();
    void numericLabel();
    void breakdown_data();
    void breakdown();
    void categoryCaption_data();
    void categoryCaption();
};

void TestSources::cutLines_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("pieces");

    QTest::newRow("empty text") << u""_qs << QStringList();
    QTest::newRow("trailing feed") << u"a.com\n"_qs << QStringList{"a.com", ""};
    QTest::newRow("no final feed") << u"a.com\nb.net"_qs << QStringList{"a.com", "b.net"};
    QTest::newRow("CR LF keeps CR")
        << u"a.com\r\nb.net\r\n"_qs << QStringList{"a.com\r", "b.net\r", ""};
    QTest::newRow("empty line inside") << u"a\n\nb"_qs << QStringList{"a", "", "b"};
    QTest::newRow("lone CR does not cut") << u"a\rb\r"_qs << QStringList{"a\rb\r"};
}

void TestSources::cutLines()
{
    QFETCH(QString, page);
    QFETCH(QStringList, pieces);
    QStringList got;
    for (QStringView piece : Sources::cutLines(page))
        got.append(piece.toString());
    QCOMPARE(got, pieces);
}

void TestSources::fileLine_data()
{
    QTest::addColumn<bool>("cn");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("index"); // -1: dropped
    QTest::addColumn<QString>("entry");

    QTest::newRow("com at 17 characters")
        << false << u"abcdefghijklm.com"_qs << 0 << u"abcdefghijklm.com"_qs;
    QTest::newRow("com at 18 characters dropped")
        << false << u"abcdefghijklmn.com"_qs << -1 << u""_qs;
    QTest::newRow("CR counts toward 18") << false << u"abcdefghijklm.com\r"_qs << -1 << u""_qs;
    QTest::newRow("CR kept at 17")
        << false << u"abcdefghijkl.com\r"_qs << 0 << u"abcdefghijkl.com\r"_qs;
    QTest::newRow("com inside a net name") << false << u"comic.net"_qs << 0 << u"comic.net"_qs;
    QTest::newRow("long net name with com dropped")
        << false << u"welcometotheinter.net"_qs << -1 << u""_qs;
    QTest::newRow("com before info") << false << u"netcom.info"_qs << 0 << u"netcom.info"_qs;
    QTest::newRow("info before net") << false << u"info.net"_qs << 1 << u"info.net"_qs;
    QTest::newRow("net inside an org name")
        << false << u"internet.org"_qs << 2 << u"internet.org"_qs;
    QTest::newRow("org inside a biz name") << false << u"organic.biz"_qs << 3 << u"organic.biz"_qs;
    QTest::newRow("empty line to biz") << false << u""_qs << 4 << u""_qs;
    QTest::newRow("upper case is not com") << false << u"ABC.COM"_qs << 4 << u"ABC.COM"_qs;
    QTest::newRow("net.cn without dot to cn") << true << u"net.cn"_qs << 9 << u"net.cn"_qs;
    QTest::newRow("com.cn without dot to cn") << true << u"com.cn"_qs << 9 << u"com.cn"_qs;
    QTest::newRow("gov.cn needs no dot") << true << u"gov.cn"_qs << 8 << u"gov.cn"_qs;
    QTest::newRow("label ending in org") << true << u"abcorg.cn"_qs << 7 << u"abcorg.cn"_qs;
    QTest::newRow("gov.cn before org.cn")
        << true << u"org.cn.gov.cn"_qs << 8 << u"org.cn.gov.cn"_qs;
    QTest::newRow("net.cn before com.cn")
        << true << u"a.com.cn.net.cn"_qs << 5 << u"a.com.cn.net.cn"_qs;
    QTest::newRow("com.cn before gov.cn")
        << true << u"gov.cn.com.cn"_qs << 6 << u"gov.cn.com.cn"_qs;
    QTest::newRow("brackets removed before filing")
        << true << u"abc[.net].cn"_qs << 5 << u"abc.net.cn"_qs;
    QTest::newRow("reversed brackets") << true << u"]a[b.gov.cn"_qs << 8 << u"ab.gov.cn"_qs;
    QTest::newRow("only brackets") << true << u"[[]]"_qs << 9 << u""_qs;
    QTest::newRow("CR kept, brackets gone")
        << true << u"[abc.org.cn]\r"_qs << 7 << u"abc.org.cn\r"_qs;
    QTest::newRow("upper case to cn") << true << u"ABC.NET.CN"_qs << 9 << u"ABC.NET.CN"_qs;
    QTest::newRow("other brackets kept") << true << u"(abc).cn"_qs << 9 << u"(abc).cn"_qs;
}

void TestSources::fileLine()
{
    QFETCH(bool, cn);
    QFETCH(QString, line);
    QFETCH(int, index);
    QFETCH(QString, entry);
    const Filing filing = cn ? Sources::fileCnLine(line) : Sources::fileDailyLine(line);
    QCOMPARE(filing.index.value_or(-1), index);
    if (filing.index)
        QCOMPARE(filing.entry, entry);
}

void TestSources::filePage_data()
{
    QTest::addColumn<bool>("cn");
    QTest::addColumn<QString>("page");
    QTest::addColumn<int>("chunk");
    QTest::addColumn<QStringList>("filed");

    const QString daily = u"abc.com\nabc.info\r\nabc.net\nabc.org\nabc.biz\nnotshortenough.com\n"
                          u"internet.org\n\nabcd.com\n"_qs;
    const QStringList dailyFiled = {
        "0:abc.com", "0:abcd.com", "1:abc.info\r", "2:abc.net", "2:internet.org",
        "3:abc.org", "4:abc.biz",  "4:",           "4:"};
    for (int chunk : {1, 3, 1000})
        QTest::addRow("daily, chunks of %d", chunk) << false << daily << chunk << dailyFiled;
    QTest::newRow("daily without final feed")
        << false << u"abc.biz\nabc.net"_qs << 2 << QStringList{"2:abc.net", "4:abc.biz"};

    const QString cnPage = u"[a.net.cn]\r\nb.com.cn\r\nc.org.cn\r\nd.gov.cn\r\ne.cn\r\n[]\r\n"_qs;
    const QStringList cnFiled = {
        "5:a.net.cn\r", "6:b.com.cn\r", "7:c.org.cn\r", "8:d.gov.cn\r", "9:e.cn\r", "9:\r", "9:"};
    for (int chunk : {4, 1000})
        QTest::addRow("cn, chunks of %d", chunk) << true << cnPage << chunk << cnFiled;
}

void TestSources::filePage()
{
    QFETCH(bool, cn);
    QFETCH(QString, page);
    QFETCH(int, chunk);
    QFETCH(QStringList, filed);
    const QList<QStringView> pieces = Sources::cutLines(page);
    SourceLists lists;
    for (qsizetype from = 0; from < pieces.size(); from += chunk) {
        if (cn)
            fileCnLines(pieces, from, from + chunk, lists);
        else
            fileDailyLines(pieces, from, from + chunk, lists);
    }
    QCOMPARE(flatten(lists), filed);

    // A range outside the pieces files nothing more.
    const QStringList before = flatten(lists);
    fileDailyLines(pieces, pieces.size(), pieces.size() + 10, lists);
    fileCnLines(pieces, 3, 1, lists);
    fileCnLines(pieces, -5, 0, lists);
    QCOMPARE(flatten(lists), before);
}

void TestSources::bigPage_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");

    QTest::newRow("70000 com") << u"abc.com"_qs << 70000 << 0 << u"大于32768条"_qs;
    QTest::newRow("a million net") << u"abcdefgh.net"_qs << 1000000 << 2 << u".net 共：1000000"_qs;
}

void TestSources::bigPage()
{
    QFETCH(QString, line);
    QFETCH(int, lines);
    QFETCH(int, index);
    QFETCH(QString, caption);
    const QString page = QString(line + u'\n').repeated(lines);
    const QList<QStringView> pieces = Sources::cutLines(page);
    SourceLists lists;
    fileDailyLines(pieces, 0, pieces.size(), lists);
    QCOMPARE(lists[index].size(), qsizetype(lines));
    QCOMPARE(lists[index].first(), line);
    QCOMPARE(lists[index].last(), line);
    QCOMPARE(lists[Biz], QStringList{QString()}); // the piece after the last line feed
    QCOMPARE(Sources::suffixCaption(index, lists[index].size()), caption);
}

void TestSources::sourceConstants_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("length");

    const QStringList captions = {"com",    "info",   "net",    "org",    "biz",
                                  "net.cn", "com.cn", "org.cn", "gov.cn", "cn"};
    const int lengths[] = {7, 8, 7, 7, 7, 10, 10, 10, 10, 6};
    for (int i = 0; i < captions.size(); ++i)
        QTest::addRow("%s", qPrintable(captions[i])) << i << captions[i] << lengths[i];
    QTest::newRow("below range") << -1 << QString() << -1;
    QTest::newRow("above range") << 10 << QString() << -1;
}

void TestSources::sourceConstants()
{
    QFETCH(int, index);
    QFETCH(QString, caption);
    QFETCH(int, length);
    QCOMPARE(Sources::initialCaption(index), caption);
    QCOMPARE(Sources::baseLength(index), length);
}

void TestSources::suffixCaption_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<qsizetype>("count");
    QTest::addColumn<QString>("caption");

    const QStringList prefixes = {".com",   ".info",  ".net",   ".org",   ".biz",
                                  "net.cn", "com.cn", "org.cn", "gov.cn", ".cn"};
    for (int i = 0; i < prefixes.size(); ++i)
        QTest::addRow("%s empty", qPrintable(prefixes[i]))
            << i << qsizetype(0) << prefixes[i] + u" 共：0"_qs;
    QTest::newRow("com 32767") << 0 << qsizetype(32767) << u".com 共：32767"_qs;
    QTest::newRow("com 32768") << 0 << qsizetype(32768) << u"大于32768条"_qs;
    QTest::newRow("org 32768") << 3 << qsizetype(32768) << u".org 共：32768"_qs;
    QTest::newRow("biz one entry") << 4 << qsizetype(1) << u".biz 共：0"_qs;
    QTest::newRow("biz two entries") << 4 << qsizetype(2) << u".biz 共：1"_qs;
    QTest::newRow("cn one entry") << 9 << qsizetype(1) << u".cn 共：1"_qs;
    QTest::newRow("below range") << -1 << qsizetype(5) << QString();
    QTest::newRow("above range") << 10 << qsizetype(5) << QString();
}

void TestSources::suffixCaption()
{
    QFETCH(int, index);
    QFETCH(qsizetype, count);
    QFETCH(QString, caption);
    QCOMPARE(Sources::suffixCaption(index, count), caption);
}

void TestSources::numericLabel_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("numeric");

    QTest::newRow("digit") << u"0"_qs << true;
    QTest::newRow("long digits") << u"12345678901234567890"_qs << true;
    QTest::newRow("e exponent") << u"1e5"_qs << true;
    QTest::newRow("E exponent") << u"1E5"_qs << true;
    QTest::newRow("d exponent") << u"12d3"_qs << true;
    QTest::newRow("D exponent") << u"1D50"_qs << true;
    QTest::newRow("empty") << u""_qs << false;
    QTest::newRow("letter then digit") << u"a12"_qs << false;
    QTest::newRow("other letter between digits") << u"1x5"_qs << false;
    QTest::newRow("exponent without digits after") << u"1e"_qs << false;
    QTest::newRow("exponent without digits before") << u"e5"_qs << false;
    QTest::newRow("two exponents") << u"1e5e5"_qs << false;
    QTest::newRow("signed exponent") << u"1e-5"_qs << false;
    QTest::newRow("hyphen between digits") << u"1-2"_qs << false;
    QTest::newRow("leading minus") << u"-12"_qs << false;
    QTest::newRow("decimal point") << u"1.5"_qs << false;
    QTest::newRow("leading blank") << u" 12"_qs << false;
    QTest::newRow("trailing CR") << u"12\r"_qs << false;
    QTest::newRow("full-width digits") << u"１２"_qs << false;
}

void TestSources::numericLabel()
{
    QFETCH(QString, label);
    QFETCH(bool, numeric);
    QCOMPARE(isNumericLabel(label), numeric);
}

void TestSources::breakdown_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("categorized"); // "category:entry"

    QTest::newRow("cn example, last entry not examined")
        << QStringList{"abc.cn", "1234.cn", ""} << 9
        << QStringList{"0:abc.cn", "1:1234.cn", "6:1234.cn"};
    QTest::newRow("every length step")
        << QStringList{"ab.com",     "abc.com",     "abcd.com",     "abcde.com",
                       "abcdef.com", "abcdefg.com", "abcdefgh.com", "abcdefghijklmnopqrst.com"}
        << 0
        << u"0:abc.com 1:abcd.com 2:abcde.com 3:abcdef.com 4:abcdefg.com 5:abcdefgh.com "
           u"5:abcdefghijklmnopqrst.com"_qs.split(u' ');
    QTest::newRow("biz, empty entry inside, last not examined")
        << QStringList{"abc.biz", "", "abcd.biz", "12.biz", "123.biz", "abcde.biz"} << 4
        << QStringList{"0:abc.biz", "0:123.biz", "1:abcd.biz", "6:12.biz", "6:123.biz"};
    QTest::newRow("one-entry biz list") << QStringList{"abc.biz"} << 4 << QStringList();
    QTest::newRow("empty biz list") << QStringList() << 4 << QStringList();
    QTest::newRow("one-entry com list is examined, short label still numeric")
        << QStringList{"12.com"} << 0 << QStringList{"6:12.com"};
    QTest::newRow("trailing CR counts") << QStringList{"abc.com\r", "123.com\r"} << 0
                                        << QStringList{"1:abc.com\r", "1:123.com\r", "6:123.com\r"};
    QTest::newRow("no dot: whole entry is the label")
        << QStringList{"12345678", "123\r", "abcdefg"} << 0
        << QStringList{"0:abcdefg", "1:12345678", "6:12345678"};
    QTest::newRow("label ends at the first dot")
        << QStringList{"12.34.com", ".com"} << 0 << QStringList{"2:12.34.com", "6:12.34.com"};
    QTest::newRow("index out of range") << QStringList{"abc.com"} << 10 << QStringList();
}

void TestSources::breakdown()
{
    QFETCH(QStringList, list);
    QFETCH(int, index);
    QFETCH(QStringList, categorized);
    QCOMPARE(flatten(LengthBreakdown(list, index)), categorized);
}

void TestSources::categoryCaption_data()
{
    QTest::addColumn<int>("category");
    QTest::addColumn<QString>("caption");

    const QStringList captions = {"三位域名", "四位域名", "五位域名", "六位域名",
                                  "七位域名", "八位以上", "数字域名"};
    for (int i = 0; i < captions.size(); ++i)
        QTest::addRow("%d", i) << i << captions[i];
    QTest::newRow("below range") << -1 << QString();
    QTest::newRow("above range") << 7 << QString();
}

void TestSources::categoryCaption()
{
    QFETCH(int, category);
    QFETCH(QString, caption);
    QCOMPARE(Sources::categoryCaption(category), caption);
}

QTEST_GUILESS_MAIN(TestSources)
#include "tst_sources.moc"
