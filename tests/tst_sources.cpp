// The deletion lists: filing by suffix, the length categories, the list sorts and the loaders.
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
    Sources::PageFiling filing(page, cn);
    filing.fileLines(page.size() + 1, lists);
    if (skipped)
        *skipped = filing.skipped();
    return lists;
}

// The lists a loader must leave for the simulator's two files of a day, filed by the plain rule.
SourceLists expectedDay(const QDate &date, const QString &token)
{
    SourceLists lists;
    for (const bool cn : {false, true}) {
        const QByteArray bytes =
            cn ? SimContent::cnDeletionList(token) : SimContent::dailyDeletionList(date, 3000);
        Reference::fileText(PageFetcher::decodeBody(bytes, Charset::Gb2312), cn, lists);
    }
    return lists;
}

} // namespace

class TestSources : public QObject {
    Q_OBJECT

    SimFixture m_f;
    const QDate m_today{2011, 4, 15};
    std::unique_ptr<DeletionLists> m_lists;

private Q_SLOTS:
    void init()
    {
        m_f.sim.clearFaults();
        m_f.sim.setListSize(3000);
        m_lists = std::make_unique<DeletionLists>(&m_f.fetcher, m_today);
        m_lists->setEndpoints(m_f.endpoints());
    }

    void filing_data()
    {
        QTest::addColumn<bool>("cn");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("list"); // -1: skipped, -2: dropped by the com length rule
        QTest::addColumn<QString>("entry");
        QTest::newRow("com at 18 dropped") << false << "abcdefghijklmn.com" << -2 << "";
        QTest::newRow("CR and blanks go, com at 17")
            << false << " abcdefghijklm.com\r" << 0 << "abcdefghijklm.com";
        QTest::newRow("telecom.net") << false << "telecom.net" << 2 << "telecom.net";
        QTest::newRow("CR inside") << false << "ab\r.org" << -1 << "";
        QTest::newRow("any case, CR") << false << "ABC.COM\r" << 0 << "ABC.COM";
        QTest::newRow("other suffix") << false << "abc.mobi" << -1 << "";
        QTest::newRow("blank line") << false << "   " << -1 << "";
        QTest::newRow("xgov.cn") << true << "xgov.cn" << 9 << "xgov.cn";
        QTest::newRow("gov.cn") << true << "x.gov.cn" << 8 << "x.gov.cn";
        QTest::newRow("province domain") << true << "abc.bj.cn" << -1 << "";
        QTest::newRow("brackets removed") << true << "[ab]c.COM.CN\r" << 6 << "abc.COM.CN";
        QTest::newRow("Chinese name") << true << "中文域名.cn" << 9 << "中文域名.cn";
        // Characters whose low byte is a line feed or a dot, or whose high bit is set.
        QTest::newRow("Ċ and Į") << false << "abĊcĮd.net" << 2 << "abĊcĮd.net";
        QTest::newRow("fullwidth stop") << false << "ab．com" << -1 << "";
    }
    void filing()
    {
        QFETCH(bool, cn);
        QFETCH(QString, line);
        QFETCH(int, list);
        QFETCH(QString, entry);
        qsizetype skipped = 0; // thrice below, as lines near the page's end are filed another way
        const SourceLists lists = file((line + u'\n').repeated(3), cn, &skipped);
        for (int i = 0; i < Sources::kSourceCount; ++i)
            QCOMPARE(lists[std::size_t(i)], i == list ? QStringList(3, entry) : QStringList());
        QCOMPARE(skipped, list == -1 ? 3 : 0);
    }

    // A last line without a feed; entries end in a null, outlive the page, copy on change.
    void lastLineAndCaptions()
    {
        const QString page = u"a.biz\r\n"_s + u"b.biz"_s;
        QStringList biz = file(page, false)[Sources::Biz];
        QCOMPARE(biz[0].utf16()[5], u'\0');
        biz[0] += u"-long-tail"_s;
        QCOMPARE(biz, (QStringList{u"a.biz-long-tail"_s, u"b.biz"_s}));
        QCOMPARE(page, u"a.biz\r\nb.biz"_s);
        QCOMPARE(Sources::countCaption(Sources::Biz, 2), u".biz 共：2"_s);
        QCOMPARE(Sources::countCaption(Sources::Com, 32768), u"大于32768条"_s);
        QCOMPARE(Sources::countCaption(Sources::Org, 100000), u".org 共：100000"_s);
    }

    // The seven categories, '|' between them.
    void breakdown_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("categories");
        QTest::newRow("com")
            << int(Sources::Com)
            << "abc.com abcd.com ab.com abcdefgh.com 12.com 123.com 1e5.com a-b.com"
            << "abc.com 123.com 1e5.com a-b.com|abcd.com||||abcdefgh.com|"
               "12.com 123.com 1e5.com";
        QTest::newRow("info") << int(Sources::Info) << "abc.info abcdefg.info abcdefgh.info"
                              << "abc.info||||abcdefg.info|abcdefgh.info|";
        QTest::newRow("cn, last entry too") << int(Sources::Cn) << "abc.cn 1234.cn"
                                            << "abc.cn|1234.cn|||||1234.cn";
        // -1: a registry's own list, by its first label whatever the suffix.
        QTest::newRow("any suffix") << -1 << "abc.co.uk ab.se 1234.pl abcdefghi.waw.pl a.b"
                                    << "abc.co.uk|1234.pl||||abcdefghi.waw.pl|1234.pl";
    }
    void breakdown()
    {
        QFETCH(int, index);
        QFETCH(QString, list);
        QFETCH(QString, categories);
        QStringList got;
        const QStringList names = list.split(u' ');
        for (const QStringList &category :
             index < 0 ? Sources::labelBreakdown(names) : Sources::lengthBreakdown(names, index))
            got << category.join(u' ');
        QCOMPARE(got.join(u'|'), categories);
    }

    // The fast length sort leaves exactly the order the exchange procedure leaves.
    void sortByLengthMatchesTheProcedure()
    {
        QRandomGenerator rng(20110415);
        for (int round = 0; round < 300; ++round) {
            QStringList list;
            const int lengths = 1 + int(rng.bounded(round < 150 ? 6 : 300));
            for (int i = int(rng.bounded(60)); i > 0; --i)
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
        const QStringList unsorted{u"abcd.x"_s, u"a.x"_s, u"ab.x"_s};
        const QStringList sorted{u"a.x"_s, u"ab.x"_s, u"abcd.x"_s};
        for (int i = 0; i < Sources::kSourceCount; ++i)
            m_lists->setList(i, unsorted);
        Sources::sortInternationalLists(*m_lists);
        for (int i = 0; i < Sources::kSourceCount; ++i)
            QCOMPARE(m_lists->list(i), i <= Sources::Biz ? sorted : unsorted);
        Sources::sortDomesticLists(*m_lists);
        for (int i = 0; i < Sources::kSourceCount; ++i)
            QCOMPARE(m_lists->list(i), i == Sources::Cn ? unsorted : sorted);
    }

    // A day's load fills all ten lists, and supersedes an older load still waiting.
    void dayLoad()
    {
        m_lists->setChunkSize(700); // several returns to the event loop per file
        m_f.sim.hold(Route::DailyList);
        auto older = m_lists->loadDay(1, m_today);
        QTRY_COMPARE(m_f.sim.heldCount(Route::DailyList), 1);
        m_f.sim.release(Route::DailyList);
        QSignalSpy captions(m_lists.get(), &DeletionLists::captionChanged);
        await(m_lists->loadDay(0, m_today));
        await(std::move(older));
        QCOMPARE(m_lists->dayDate(), u"2011-04-13"_s);
        QCOMPARE(m_lists->dayHeader(), u"以下为前天删除域名信息"_s);
        QCOMPARE(m_lists->lists(), expectedDay(QDate(2011, 4, 13), u"3todayDel"_s));
        QCOMPARE(captions.size(), 10);
        QVERIFY(m_lists->loadStatus().startsWith(u"载入完毕,共"_s));
    }

    // A day not yet published (404) files nothing of its page; the day's CN list still loads.
    void failedDayFilesNothing()
    {
        m_f.sim.setFault(Route::DailyList, Fault::errorStatus(404));
        QSignalSpy failed(m_lists.get(), &DeletionLists::downloadFailed);
        await(m_lists->loadDay(2, m_today));
        QCOMPARE(failed.size(), 1);
        for (int i = Sources::Com; i <= Sources::Biz; ++i)
            QVERIFY(m_lists->list(i).isEmpty());
        QVERIFY(!m_lists->list(Sources::Cn).isEmpty());
    }

    // The CN button reloads the current day's CN list; when that fails the lists stay.
    void cnReload()
    {
        await(m_lists->loadDay(3, m_today));
        const SourceLists before = m_lists->lists();
        QVERIFY(!before[Sources::Cn].isEmpty());
        await(m_lists->reloadCnList());
        QCOMPARE(m_lists->lists(), before);
        QCOMPARE(m_f.sim.requestTargets(Route::CnRegistryList).last(),
                 u"/download/registar_list/future1todayDel.txt"_s);
        m_f.sim.setFault(Route::CnRegistryList, Fault::refuse());
        QSignalSpy failed(m_lists.get(), &DeletionLists::downloadFailed);
        QSignalSpy panel(m_lists.get(), &DeletionLists::loadingPanel);
        await(m_lists->reloadCnList());
        QCOMPARE(failed.size(), 1);
        QCOMPARE(m_lists->lists(), before);
        QCOMPARE(panel.last().at(0).toBool(), false);
    }
};

QTEST_GUILESS_MAIN(TestSources)
#include "tst_sources.moc"
