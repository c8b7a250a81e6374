// The session's actions without a window, as the window and varnel-cli call them.
#include "Fixture.h"
#include "SimFeeds.h"
#include "session/Catalogue.h"
#include "session/Session.h"
#include "sources/DeletionLists.h"
#include "table/ResultTable.h"
#include "text/Clock.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <libical/ical.h>

using namespace Qt::StringLiterals;

class TestSession : public QObject {
    Q_OBJECT

    SimFixture m_f;
    std::unique_ptr<Session> m_s;
    QTemporaryDir m_dir;

    ResultTable &grid() { return *m_s->grid(); }

private Q_SLOTS:
    void init()
    {
        m_f.reset();
        Clock::setNow({});
        m_s = std::make_unique<Session>(m_f.options());
        m_s->importNames({u"a.com"_s, u"=b.com"_s, u"c-d.com"_s});
        grid().setCell(1, BaiduSite, u"1,230"_s);
    }
    void cleanup()
    {
        m_f.sim.release(Route::All);
        m_s.reset();
    }

    void exportCsv_data()
    {
        QTest::addColumn<QList<int>>("selection");
        QTest::addColumn<QStringList>("firstCells"); // each row's first cell, as written
        QTest::newRow("nothing selected: every row")
            << QList<int>() << QStringList{u"a.com"_s, u"'=b.com"_s, u"c-d.com"_s};
        QTest::newRow("one row: still every row")
            << QList<int>{1} << QStringList{u"a.com"_s, u"'=b.com"_s, u"c-d.com"_s};
        QTest::newRow("two rows alone")
            << QList<int>{0, 2} << QStringList{u"a.com"_s, u"c-d.com"_s};
    }
    void exportCsv()
    {
        QFETCH(QList<int>, selection);
        QFETCH(QStringList, firstCells);
        const QString path = m_dir.filePath(u"out.csv"_s);
        const Session::ExportResult result = m_s->exportCsv(path, selection);
        QVERIFY(result.written);
        QCOMPARE(result.notice, u"已导出 %1 行到 %2"_s.arg(firstCells.size()).arg(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readLine().startsWith("\xEF\xBB\xBF" + u"查询域名,百度收录"_s.toUtf8()));
        for (const QString &first : firstCells)
            QCOMPARE(QString::fromUtf8(file.readLine()).section(u',', 0, 0), first);
        QVERIFY(file.atEnd());
    }

    void exportFailureKeepsTheOldFile()
    {
        const QString path = m_dir.filePath(u"missing/out.csv"_s);
        const Session::ExportResult result = m_s->exportCsv(path, {});
        QVERIFY(!result.written);
        QVERIFY2(result.notice.startsWith(u"无法写入 "_s + path), qPrintable(result.notice));
    }

    // A list's exact drop and an RDAP estimate's date, parsed back; without either, no file.
    void exportCalendar()
    {
        const QString path = m_dir.filePath(u"drops.ics"_s);
        QVERIFY(!m_s->exportCalendar(path, {}).written && !QFile::exists(path));
        StartOptions options = m_f.options();
        options.rdapBootstrap = m_f.rdapBootstrap();
        m_s = std::make_unique<Session>(options);
        const QString held = SimContent::rdapNameFor(SimContent::RdapStage::Redemption, u"y"_s);
        m_s->importNames({u"a.com"_s, held});
        grid().setDropTimes({QDateTime(QDate(2026, 12, 9), QTime(18, 5), Qt::UTC)});
        m_s->setTicked(Catalogue::kRdapMetric, true);
        QCoro::waitFor(m_s->startRun());
        QVERIFY(m_s->exportCalendar(path, {}).written);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const std::unique_ptr<icalcomponent, decltype(&icalcomponent_free)> ical(
            icalparser_parse_string(file.readAll().constData()), &icalcomponent_free);
        QCOMPARE(icalcomponent_count_components(ical.get(), ICAL_VEVENT_COMPONENT), 2);
        icalcomponent *drop = icalcomponent_get_first_component(ical.get(), ICAL_VEVENT_COMPONENT);
        QCOMPARE(icaltime_as_ical_string(icalcomponent_get_dtstart(drop)), "20261209T180500Z");
        drop = icalcomponent_get_next_component(ical.get(), ICAL_VEVENT_COMPONENT);
        const icaltimetype day = icalcomponent_get_dtstart(drop);
        QVERIFY(day.is_date &&
                m_s->rdapCells(grid().rowId(1))[2].startsWith(
                    u"预计 "_s + QDate(day.year, day.month, day.day).toString(Qt::ISODate)));
        QCOMPARE(icalcomponent_get_description(drop), "阶段：redemption\n来源：RDAP");
    }

    // A double-click on the label, the PageRank or the registration cell, or below the last row,
    // does nothing.
    void actionAtOtherCells()
    {
        const std::pair<int, int> cells[] = {
            {0, kLabelColumn}, {0, PageRank}, {0, Registration}, {3, kDomainColumn}};
        for (const auto &[row, column] : cells)
            QCOMPARE(m_s->actionAt(row, column), Session::CellAction());
    }

    // Each notice stays 12 s after it last came, on the session's clock; several stand together.
    void noticeLifetime()
    {
        const QDateTime start(QDate(2011, 4, 15), QTime(12, 0), Qt::UTC);
        QSignalSpy changed(m_s.get(), &Session::noticesChanged);
        Clock::setNow(start);
        m_s->notify(u"a"_s);
        Clock::setNow(start.addSecs(5));
        m_s->notify(u"b"_s);
        QCOMPARE(m_s->noticeText(), u"a；b"_s);
        QCOMPARE(m_s->nextNoticeExpiry(), start.addSecs(12));
        Clock::setNow(start.addMSecs(11'999));
        m_s->expireNotices();
        QCOMPARE(changed.size(), 2);
        Clock::setNow(start.addSecs(12));
        m_s->notify(u"b"_s); // again: from now on
        QCOMPARE(m_s->noticeText(), u"b"_s);
        QCOMPARE(m_s->nextNoticeExpiry(), start.addSecs(24));
        Clock::setNow(start.addSecs(24));
        m_s->expireNotices();
        QCOMPARE(m_s->noticeText(), QString());
        QCOMPARE(m_s->nextNoticeExpiry(), std::nullopt);
        QCOMPARE(changed.size(), 4);
    }

    // An import during a run ends the run: no queue writes into, or walks, the new rows.
    void importEndsTheRun()
    {
        m_s->setTicked(7, true);
        m_f.sim.hold(Route::Registrar);
        auto run = m_s->startRun();
        QTRY_COMPARE(m_f.sim.heldCount(Route::Registrar), 1);
        m_s->lists()->setList(Sources::Com, {u"abc.com"_s, u"xyz.com"_s});
        m_s->breakDown(Sources::Com);
        m_s->importCategory(0);
        QVERIFY(!m_s->isRunning());
        m_f.sim.release(Route::Registrar);
        QCoro::waitFor(std::move(run));
        QCOMPARE(grid().rowCount(), 2);
        QCOMPARE(grid().cell(0, Registration), kBlankCell);
        QCOMPARE(m_f.sim.requestCount(Route::Registrar), 1);
    }

    // A registry's list on one UTC day of the session's clock, whichever side of midnight the
    // clock stands; the simulator publishes a new file each UTC day.
    void registryListDay_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("daysAhead");
        const QDateTime lastMinute(QDate(2026, 12, 8), QTime(23, 59), Qt::UTC);
        QTest::newRow("23:59, today") << lastMinute << 0;
        QTest::newRow("23:59, tomorrow") << lastMinute << 1;
        QTest::newRow("00:00, today") << lastMinute.addSecs(60) << 0;
        QTest::newRow("00:00, yesterday") << lastMinute.addSecs(60) << -1;
    }
    void registryListDay()
    {
        QFETCH(QDateTime, now);
        QFETCH(int, daysAhead);
        Clock::setNow(now);
        const ListDownload::Outcome outcome = QCoro::waitFor(m_s->downloadList(u"uk"_s));
        QVERIFY2(outcome.ok(), qPrintable(outcome.message));
        QStringList want, got;
        for (const SimFeeds::Listed &l : SimFeeds::listed(SimFeeds::File::UkCsvGz, now.date()))
            if (l.dropUtc.date() == now.date().addDays(daysAhead))
                want << l.name;
        for (const DropList::Entry &e : m_s->pickEntries(outcome.list.entries, daysAhead))
            got << e.name;
        QCOMPARE(got, want);
        QCOMPARE(got.isEmpty(), daysAhead < 0); // no file lists a day gone by
    }

    // A registry's list replaces the grid as an import does, with each name's drop time (none
    // for a time that does not read): the run ends first, a notice says what came in.
    void importListSource()
    {
        m_s->setTicked(7, true);
        m_f.sim.hold(Route::Registrar);
        auto run = m_s->startRun();
        QTRY_COMPARE(m_f.sim.heldCount(Route::Registrar), 1);
        const QString notice = QCoro::waitFor(m_s->importListSource(u"se"_s));
        QVERIFY(!m_s->isRunning());
        m_f.sim.release(Route::Registrar);
        QCoro::waitFor(std::move(run));
        const QList<SimFeeds::Listed> listed =
            SimFeeds::listed(SimFeeds::File::SeJson, Clock::nowUtc().date());
        QCOMPARE(grid().rowCount(), listed.size());
        for (int r = 0; r < grid().rowCount(); ++r) {
            QCOMPARE(grid().cell(r, kDomainColumn), listed[r].name);
            QCOMPARE(grid().dropTime(r), listed[r].dropUtc);
        }
        QCOMPARE(grid().cell(0, Registration), kBlankCell);
        QVERIFY2(notice.startsWith(u"已从删除列表 se 导入 %1 个域名"_s.arg(listed.size())),
                 qPrintable(notice));
        QCOMPARE(m_s->noticeText(), notice);
        QCOMPARE(QCoro::waitFor(m_s->importListSource(u"nowhere"_s)),
                 u"删除列表 nowhere：未知的列表"_s);
        QCOMPARE(grid().rowCount(), listed.size());
    }

    // The re-query asks only the cells not yet measured (not row 1), after which all of them are.
    void requery()
    {
        m_s->setTicked(0, true);
        QVERIFY(!m_s->measuredAll({0}));
        QCoro::waitFor(m_s->requery());
        QCOMPARE(m_f.sim.requestCount(Route::BaiduSite), 2);
        QCOMPARE(grid().cell(2, BaiduSite), expectedCell(0, u"c-d.com"_s));
        QVERIFY(m_s->measuredAll({0}));
    }
};

QTEST_MAIN(TestSession)
#include "tst_session.moc"
