// The deletion lists: filing a day's files by suffix, the length categories, the list sorts and
// the two loaders against the simulator.
#include "Fixture.h"
#include "Reference.h"
#include "sources/DeletionLists.h"
#include "sources/LengthBreakdown.h"
#include "sources/ListSorts.h"
#include "sources/SourceLists.h"

#include <QRandomGenerator>
#include <QSignalSpy>

using namespace Qt::StringLiterals;
using Sources::SourceLists;

namespace {

SourceLists file(const QString &page, bool cn, qsizetype *skipped = nullptr)
{
    SourceLists lists;
    const QList<QStringView> pieces = Sources::cutLines(page);
    const qsizetype n =
        (cn ? Sources::fileCnLines : Sources::fileDailyLines)(pieces, 0, pieces.size(), lists);
    if (skipped)
        *skipped = n;
    return lists;
}

// The lists a loader must leave for the simulator's two files of a day, filed by the plain rule.
SourceLists expectedDay(const QDate &date, int listSize, const QString &token)
{
    SourceLists lists;
    for (const bool cn : {false, true}) {
        const QByteArray bytes =
            cn ? SimContent::cnDeletionList(token) : SimContent::dailyDeletionList(date, listSize);
        const QString text = PageFetcher::decodeBody(bytes, Charset::Gb2312);
        for (QStringView line : Sources::cutLines(text)) {
            const auto [entry, index] = Reference::filing(line, cn);
            if (index >= 0)
                lists[std::size_t(index)] << entry;
        }
    }
    return lists;
}

} // namespace

class TestSources : public QObject {
    Q_OBJECT

    SimFixture m_f;
    const QDate m_today{2011, 4, 15};

private Q_SLOTS:
    void init()
    {
        m_f.sim.clearFaults();
        m_f.sim.release(Route::All);
        m_f.sim.setListSize(3000);
    }

    void filing_data()
    {
        QTest::addColumn<bool>("cn");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("list"); // -1: skipped, -2: dropped by the com length rule
        QTest::addColumn<QString>("entry");
        QTest::newRow("com at 17") << false << "abcdefghijklm.com" << 0 << "abcdefghijklm.com";
        QTest::newRow("com at 18 dropped") << false << "abcdefghijklmn.com" << -2 << "";
        QTest::newRow("CR and blanks go")
            << false << " abcdefghijklm.com\r" << 0 << "abcdefghijklm.com";
        QTest::newRow("telecom.net") << false << "telecom.net" << 2 << "telecom.net";
        QTest::newRow("comic.org") << false << "comic.org" << 3 << "comic.org";
        QTest::newRow("any case") << false << "ABC.COM" << 0 << "ABC.COM";
        QTest::newRow("other suffix") << false << "abc.mobi" << -1 << "";
        QTest::newRow("CN name in the daily file") << false << "abc.com.cn" << -1 << "";
        QTest::newRow("markup") << false << "<td>x.com</td>" << -1 << "";
        QTest::newRow("inner blank") << false << "a b.com" << -1 << "";
        QTest::newRow("blank line") << false << "   " << -1 << "";
        QTest::newRow("xgov.cn") << true << "xgov.cn" << 9 << "xgov.cn";
        QTest::newRow("gov.cn") << true << "x.gov.cn" << 8 << "x.gov.cn";
        QTest::newRow("province domain") << true << "abc.bj.cn" << -1 << "";
        QTest::newRow("com in the CN file") << true << "abc.com" << -1 << "";
        QTest::newRow("brackets removed") << true << "[ab]c.COM.CN\r" << 6 << "abc.COM.CN";
        QTest::newRow("Chinese name") << true << "中文域名.cn" << 9 << "中文域名.cn";
        QTest::newRow("only brackets") << true << "[[]]" << -1 << "";
    }
    void filing()
    {
        QFETCH(bool, cn);
        QFETCH(QString, line);
        QFETCH(int, list);
        QFETCH(QString, entry);
        qsizetype skipped = 0;
        const SourceLists lists = file(line, cn, &skipped);
        for (int i = 0; i < Sources::kSourceCount; ++i)
            QCOMPARE(lists[std::size_t(i)], i == list ? QStringList{entry} : QStringList());
        QCOMPARE(skipped, list == -1 ? 1 : 0);
    }

    // The last line counts whether or not a line feed ends the file, and the biz caption shows
    // the list's true size.
    void lastLineAndCaptions()
    {
        const SourceLists ended = file(u"a.biz\r\nb.biz\r\n"_s, false);
        QCOMPARE(file(u"a.biz\r\nb.biz"_s, false), ended);
        QCOMPARE(ended[Sources::Biz], (QStringList{u"a.biz"_s, u"b.biz"_s}));
        QCOMPARE(Sources::countCaption(Sources::Biz, 2), u".biz 共：2"_s);
        QCOMPARE(Sources::countCaption(Sources::Com, 32768), u"大于32768条"_s);
        QCOMPARE(Sources::countCaption(Sources::Org, 100000), u".org 共：100000"_s);
    }

    void breakdown_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QList<QStringList>>("categories");
        QTest::newRow("com") << int(Sources::Com)
                             << QStringList{"abc.com", "abcd.com", "ab.com",  "abcdefgh.com",
                                            "12.com",  "123.com",  "1e5.com", "a-b.com"}
                             << QList<QStringList>{{"abc.com", "123.com", "1e5.com", "a-b.com"},
                                                   {"abcd.com"},
                                                   {},
                                                   {},
                                                   {},
                                                   {"abcdefgh.com"},
                                                   {"12.com", "123.com", "1e5.com"}};
        QTest::newRow("info") << int(Sources::Info)
                              << QStringList{"abc.info", "abcdefg.info", "abcdefgh.info"}
                              << QList<QStringList>{{"abc.info"},      {}, {}, {}, {"abcdefg.info"},
                                                    {"abcdefgh.info"}, {}};
        QTest::newRow("cn, last entry too")
            << int(Sources::Cn) << QStringList{"abc.cn", "1234.cn"}
            << QList<QStringList>{{"abc.cn"}, {"1234.cn"}, {}, {}, {}, {}, {"1234.cn"}};
        QTest::newRow("net.cn") << int(Sources::NetCn) << QStringList{"a1b.net.cn"}
                                << QList<QStringList>{{"a1b.net.cn"}, {}, {}, {}, {}, {}, {}};
    }
    void breakdown()
    {
        QFETCH(int, index);
        QFETCH(QStringList, list);
        QFETCH(QList<QStringList>, categories);
        const Sources::Categories got = Sources::lengthBreakdown(list, index);
        for (int k = 0; k < Sources::kCategoryCount; ++k)
            QCOMPARE(got[std::size_t(k)], categories[k]);
    }

    // The fast length sort leaves exactly the order the exchange procedure leaves.
    void sortByLengthMatchesTheProcedure()
    {
        QStringList example{u"bb"_s, u"ab"_s, u"a"_s};
        Sources::sortByLength(example);
        QCOMPARE(example, (QStringList{u"a"_s, u"ab"_s, u"bb"_s}));

        QRandomGenerator rng(20110415);
        for (int round = 0; round < 300; ++round) {
            QStringList list;
            const int n = int(rng.bounded(60));
            const int lengths = 1 + int(rng.bounded(round < 150 ? 6 : 300));
            for (int i = 0; i < n; ++i)
                list << QString(int(rng.bounded(lengths)), QChar(u'a' + i % 26));
            QStringList literal = list;
            Reference::sortByLengthLiteral(literal);
            Sources::sortByLength(list);
            QCOMPARE(list, literal);
        }
    }

    void sortBySize()
    {
        QCOMPARE(Sources::sortBySize(Sources::kSizeSortSample).join(u' '),
                 u"26 35 47 54 56 68 95 120 456 484 488 512 782 1256 3123 8948 45968"_s);
        QCOMPARE(Sources::sortBySize({u"x"_s, u"2.5"_s}), (QStringList{u"0"_s, u"2.5"_s}));
    }

    // The two list sorts each sort their own suffixes, in place, and leave the others alone.
    void listSortsTouchOnlyTheirLists()
    {
        DeletionLists lists(&m_f.fetcher, m_today);
        const QStringList unsorted{u"abcd.x"_s, u"a.x"_s, u"ab.x"_s};
        const QStringList sorted{u"a.x"_s, u"ab.x"_s, u"abcd.x"_s};
        for (int i = 0; i < Sources::kSourceCount; ++i)
            lists.setList(i, unsorted);
        Sources::sortInternationalLists(lists);
        for (int i = 0; i < Sources::kSourceCount; ++i)
            QCOMPARE(lists.list(i), i <= Sources::Biz ? sorted : unsorted);
        Sources::sortDomesticLists(lists);
        for (int i = 0; i < Sources::kSourceCount; ++i)
            QCOMPARE(lists.list(i), i == Sources::Cn ? unsorted : sorted);
    }

    void dayLoadFillsAllTenLists()
    {
        DeletionLists lists(&m_f.fetcher, m_today);
        lists.setEndpoints(m_f.endpoints());
        lists.setChunkSize(700); // several returns to the event loop per file
        QCOMPARE(lists.dayDate(), u"2011-04-15"_s);
        QCOMPARE(lists.cnToken(), u"1todayDel"_s);
        QSignalSpy captions(&lists, &DeletionLists::captionChanged);
        await(lists.loadDay(0, m_today));
        QCOMPARE(lists.dayDate(), u"2011-04-13"_s);
        QCOMPARE(lists.cnToken(), u"3todayDel"_s);
        QCOMPARE(lists.dayHeader(), u"以下为前天删除域名信息"_s);
        QCOMPARE(lists.lists(), expectedDay(QDate(2011, 4, 13), 3000, u"3todayDel"_s));
        QCOMPARE(captions.size(), 10);
        QVERIFY(lists.loadStatus().startsWith(u"载入完毕,共"_s));
        QCOMPARE(m_f.sim.requestTargets(Route::DailyList).last(), u"/2011-04-13.txt"_s);
    }

    // The CN button reloads the current day's CN list in place of the old one.
    void cnReloadReplaces()
    {
        DeletionLists lists(&m_f.fetcher, m_today);
        lists.setEndpoints(m_f.endpoints());
        await(lists.loadDay(3, m_today));
        const SourceLists before = lists.lists();
        await(lists.reloadCnList());
        QCOMPARE(lists.lists(), before);
        QCOMPARE(m_f.sim.requestTargets(Route::CnRegistryList).last(),
                 u"/download/registar_list/future1todayDel.txt"_s);
    }

    // A day not yet published answers 404: its page is not a list, and nothing of it is filed;
    // the CN list of the day still loads.
    void failedDayFilesNothing()
    {
        DeletionLists lists(&m_f.fetcher, m_today);
        lists.setEndpoints(m_f.endpoints());
        m_f.sim.setFault(Route::DailyList, Fault::errorStatus(404));
        QSignalSpy failed(&lists, &DeletionLists::downloadFailed);
        QSignalSpy captions(&lists, &DeletionLists::captionChanged);
        await(lists.loadDay(2, m_today));
        QCOMPARE(failed.size(), 1);
        for (int i = Sources::Com; i <= Sources::Biz; ++i)
            QVERIFY(lists.list(i).isEmpty());
        QVERIFY(!lists.list(Sources::Cn).isEmpty());
        QCOMPARE(captions.first().at(1).toString(), u".com 共：0"_s);
    }

    void failedCnReloadKeepsTheLists()
    {
        DeletionLists lists(&m_f.fetcher, m_today);
        lists.setEndpoints(m_f.endpoints());
        await(lists.loadDay(2, m_today));
        const SourceLists before = lists.lists();
        QVERIFY(!before[Sources::Cn].isEmpty());
        m_f.sim.setFault(Route::CnRegistryList, Fault::refuse());
        QSignalSpy failed(&lists, &DeletionLists::downloadFailed);
        QSignalSpy panel(&lists, &DeletionLists::loadingPanel);
        await(lists.reloadCnList());
        QCOMPARE(failed.size(), 1);
        QCOMPARE(lists.lists(), before);
        QCOMPARE(panel.last().at(0).toBool(), false);
    }

    void newerDaySupersedesAnOlderLoad()
    {
        DeletionLists lists(&m_f.fetcher, m_today);
        lists.setEndpoints(m_f.endpoints());
        m_f.sim.hold(Route::DailyList);
        auto older = lists.loadDay(1, m_today);
        QTRY_COMPARE(m_f.sim.heldCount(Route::DailyList), 1);
        m_f.sim.release(Route::DailyList);
        await(lists.loadDay(4, m_today));
        await(std::move(older));
        QCOMPARE(lists.lists(), expectedDay(QDate(2011, 4, 17), 3000, u"future2todayDel"_s));
    }
};

QTEST_GUILESS_MAIN(TestSources)
#include "tst_sources.moc"
