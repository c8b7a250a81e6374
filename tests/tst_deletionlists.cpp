#include "SimContent.h"
#include "SiteSimulator.h"
#include "sources/DeletionLists.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <QCoroTask>

using Route = SiteSimulator::Route;

namespace {

// The lists a correct load of these two pages must leave.
Sources::SourceLists expectedLists(const QByteArray &daily, const QByteArray &cn)
{
    Sources::SourceLists lists;
    const QString dailyText = PageFetcher::DecodeBody(daily, Charset::Gb2312);
    const QString cnText = PageFetcher::DecodeBody(cn, Charset::Gb2312);
    const auto dailyPieces = Sources::cutLines(dailyText);
    const auto cnPieces = Sources::cutLines(cnText);
    Sources::fileDailyLines(dailyPieces, 0, dailyPieces.size(), lists);
    Sources::fileCnLines(cnPieces, 0, cnPieces.size(), lists);
    return lists;
}

} // namespace

class TestDeletionLists : public QObject {
    Q_OBJECT

    SiteSimulator m_sim;
    PageFetcher m_fetcher;
    const QDate m_today{2026, 12, 6};

    std::unique_ptr<DeletionLists> make()
    {
        auto lists = std::make_unique<DeletionLists>(&m_fetcher);
        lists->setEndpoints(m_sim.endpoints());
        lists->setChunkSize(997); // several returns to the event loop per page
        return lists;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_sim.listen()); }
    void init()
    {
        m_sim.clearFaults();
        m_sim.clearLog();
        m_sim.setListSize(6000);
    }
    void cleanup() { m_sim.release(Route::All); }

    void dayDates_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QStringList>("dates");
        QTest::newRow("plain") << QDate(2011, 4, 15)
                               << QStringList{"2011-04-13", "2011-04-14", "2011-04-15",
                                              "2011-04-16", "2011-04-17"};
        QTest::newRow("month start")
            << QDate(2026, 3, 1)
            << QStringList{"2026-02-27", "2026-02-28", "2026-03-01", "2026-03-02", "2026-03-03"};
        QTest::newRow("leap day") << QDate(2024, 2, 28)
                                  << QStringList{"2024-02-26", "2024-02-27", "2024-02-28",
                                                 "2024-02-29", "2024-03-01"};
        QTest::newRow("year end") << QDate(2026, 12, 31)
                                  << QStringList{"2026-12-29", "2026-12-30", "2026-12-31",
                                                 "2027-01-01", "2027-01-02"};
        QTest::newRow("year start")
            << QDate(2027, 1, 1)
            << QStringList{"2026-12-30", "2026-12-31", "2027-01-01", "2027-01-02", "2027-01-03"};
    }
    void dayDates()
    {
        QFETCH(QDate, today);
        QFETCH(QStringList, dates);
        for (int k = 0; k < 5; ++k)
            QCOMPARE(DeletionLists::dayDateText(k, today), dates[k]);
    }

    void dayLoadFillsAllTenLists()
    {
        auto lists = make();
        QSignalSpy day(lists.get(), &DeletionLists::dayChosen);
        QSignalSpy captions(lists.get(), &DeletionLists::captionChanged);
        QSignalSpy panel(lists.get(), &DeletionLists::loadingPanel);
        QCoro::waitFor(lists->LoadDailyDeletionList(3, m_today));
        QCOMPARE(day.size(), 1);
        QCOMPARE(day[0][0].toString(), QStringLiteral("2026-12-07"));
        QCOMPARE(day[0][1].toString(), QStringLiteral("future1todayDel"));
        QCOMPARE(day[0][2].toString(), QStringLiteral("以下为明天删除域名信息"));
        QCOMPARE(m_sim.requestTargets(),
                 (QStringList{QStringLiteral("/2026-12-07.txt"),
                              QStringLiteral("/download/registar_list/future1todayDel.txt")}));
        const auto want =
            expectedLists(SimContent::dailyDeletionList(QDate(2026, 12, 7), 6000),
                          SimContent::cnDeletionList(QStringLiteral("future1todayDel")));
        for (int i = 0; i < Sources::kSourceCount; ++i) {
            QCOMPARE(lists->list(i), want[std::size_t(i)]);
            QVERIFY2(!want[std::size_t(i)].isEmpty(), "every suffix should have names");
        }
        QCOMPARE(captions.size(), 10);
        for (const auto &c : captions)
            QCOMPARE(c[1].toString(),
                     Sources::suffixCaption(c[0].toInt(), lists->list(c[0].toInt()).size()));
        QCOMPARE(panel.first().first().toBool(), true);
        QCOMPARE(panel.last().first().toBool(), false);
    }

    void secondDaySupersedesTheFirst()
    {
        auto lists = make();
        m_sim.hold(Route::DailyList);
        bool firstDone = false;
        auto first = lists->LoadDailyDeletionList(0, m_today);
        first.then([&] { firstDone = true; });
        QTRY_COMPARE(m_sim.heldCount(Route::DailyList), 1);
        auto second = lists->LoadDailyDeletionList(4, m_today);
        QTRY_COMPARE(m_sim.heldCount(Route::DailyList), 2);
        m_sim.release(Route::DailyList);
        QCoro::waitFor(second);
        QTRY_VERIFY(firstDone);
        const auto want =
            expectedLists(SimContent::dailyDeletionList(QDate(2026, 12, 8), 6000),
                          SimContent::cnDeletionList(QStringLiteral("future2todayDel")));
        for (int i = 0; i < Sources::kSourceCount; ++i)
            QCOMPARE(lists->list(i), want[std::size_t(i)]);
        QCOMPARE(m_sim.requestCount(Route::CnRegistryList), 1); // the first never got that far
    }

    void cnButtonTwiceReplacesInsteadOfDoubling()
    {
        auto lists = make();
        QCoro::waitFor(lists->LoadCnDeletionList(QStringLiteral("1todayDel")));
        const Sources::SourceLists once = lists->lists();
        QCoro::waitFor(lists->LoadCnDeletionList(QStringLiteral("1todayDel")));
        QCOMPARE(lists->lists(), once);
        QVERIFY(lists->list(Sources::Com).isEmpty()); // the international lists are not touched
    }

    void failedDownloadIsReported()
    {
        auto lists = make();
        m_sim.setFault(Route::DailyList, SiteSimulator::Fault::refuse());
        QSignalSpy failed(lists.get(), &DeletionLists::downloadFailed);
        QSignalSpy captions(lists.get(), &DeletionLists::captionChanged);
        QCoro::waitFor(lists->LoadDailyDeletionList(2, m_today));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed[0][0].toString(),
                 QStringLiteral("http://") + m_sim.hostPort() + QStringLiteral("/2026-12-06.txt"));
        for (int i = Sources::Com; i <= Sources::Biz; ++i)
            QVERIFY(lists->list(i).isEmpty());
        QCOMPARE(captions[4][1].toString(), QStringLiteral(".biz 共：0"));
        QVERIFY(!lists->list(Sources::Cn).isEmpty()); // the CN list still loads
    }

    void largeListsLoadWhole()
    {
        auto lists = make();
        m_sim.setListSize(120'000);
        QCoro::waitFor(lists->LoadDailyDeletionList(2, m_today));
        qsizetype total = 0;
        for (int i = Sources::Com; i <= Sources::Biz; ++i)
            total += lists->list(i).size();
        const auto want = expectedLists(SimContent::dailyDeletionList(m_today, 120'000), {});
        qsizetype wanted = 0;
        for (int i = Sources::Com; i <= Sources::Biz; ++i)
            wanted += want[std::size_t(i)].size();
        QCOMPARE(total, wanted);
        QVERIFY(wanted > 100'000);
    }
};

QTEST_GUILESS_MAIN(TestDeletionLists)
#include "tst_deletionlists.moc"
