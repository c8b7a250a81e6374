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

SourceLists file(const QString &page, bool cn)
{
    SourceLists lists;
    const QList<QStringView> pieces = Sources::cutLines(page);
    (cn ? Sources::fileCnLines : Sources::fileDailyLines)(pieces, 0, pieces.size(), lists);
    return lists;
}

// The lists a loader must leave for the simulator's two files of a day.
SourceLists expectedDay(const QDate &date, int listSize, const QString &token)
{
    SourceLists lists;
    const QString daily =
        PageFetcher::decodeBody(SimContent::dailyDeletionList(date, listSize), Charset::Gb2312);
    for (QStringView line : Sources::cutLines(daily)) {
        if (const std::optional<int> index = Reference::dailyListOf(line))
            lists[std::size_t(*index)] << line.toString();
    }
    const QString cn = PageFetcher::decodeBody(SimContent::cnDeletionList(token), Charset::Gb2312);
    for (QStringView line : Sources::cutLines(cn)) {
        const auto [entry, index] = Reference::cnFiling(line);
        lists[std::size_t(index)] << entry;
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
        QTest::addColumn<int>("list"); // -1: dropped
        QTest::addColumn<QString>("entry");
        QTest::newRow("com at 17") << false << "abcdefghijklm.com" << 0 << "abcdefghijklm.com";
        QTest::newRow("com at 18 dropped") << false << "abcdefghijklmn.com" << -1 << "";
        QTest::newRow("CR counts toward 18") << false << "abcdefghijklm.com\r" << -1 << "";
        QTest::newRow("com inside a net name") << false << "comic.net" << 0 << "comic.net";
        QTest::newRow("info before net") << false << "info.net" << 1 << "info.net";
        QTest::newRow("anything else to biz") << false << "ABC.COM" << 4 << "ABC.COM";
        QTest::newRow("net.cn needs its dot") << true << "net.cn" << 9 << "net.cn";
        QTest::newRow("gov.cn before org.cn") << true << "org.gov.cn" << 8 << "org.gov.cn";
        QTest::newRow("brackets removed") << true << "[ab]c.com.cn" << 6 << "abc.com.cn";
        QTest::newRow("only brackets") << true << "[[]]" << 9 << "";
    }
    void filing()
    {
        QFETCH(bool, cn);
        QFETCH(QString, line);
        QFETCH(int, list);
        QFETCH(QString, entry);
        const SourceLists lists = file(line, cn);
        for (int i = 0; i < Sources::kSourceCount; ++i)
            QCOMPARE(lists[std::size_t(i)], i == list ? QStringList{entry} : QStringList());
    }

    void captions()
    {
        QCOMPARE(Sources::countCaption(Sources::Com, 32767), u".com 共：32767"_s);
        QCOMPARE(Sources::countCaption(Sources::Com, 32768), u"大于32768条"_s);
        QCOMPARE(Sources::countCaption(Sources::Org, 100000), u".org 共：100000"_s);
        QCOMPARE(Sources::countCaption(Sources::Biz, 2), u".biz 共：1"_s);
        QCOMPARE(Sources::countCaption(Sources::Biz, 0), u".biz 共：0"_s);
        QCOMPARE(Sources::countCaption(Sources::Cn, 3), u".cn 共：3"_s);
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
        QTest::newRow("cn skips its last entry")
            << int(Sources::Cn) << QStringList{"abc.cn", "1234.cn", "", "9.cn"}
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
