// The session's actions without a window, as the window and varnel-cli call them.
#include "Fixture.h"
#include "session/Session.h"
#include "sources/DeletionLists.h"
#include "table/ResultTable.h"
#include "text/Clock.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

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

    void exportAndCopy_data()
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
    void exportAndCopy()
    {
        QFETCH(QList<int>, selection);
        QFETCH(QStringList, firstCells);
        const QString path = m_dir.filePath(u"out.csv"_s);
        const Session::ExportResult result = m_s->exportCsv(path, selection);
        QVERIFY(result.written);
        QCOMPARE(result.notice, u"已导出 %1 行到 %2"_s.arg(firstCells.size()).arg(path));
        QCOMPARE(m_s->noticeText(), result.notice);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readLine().startsWith("\xEF\xBB\xBF" + u"查询域名,百度收录"_s.toUtf8()));
        for (const QString &first : firstCells)
            QCOMPARE(QString::fromUtf8(file.readLine()).section(u',', 0, 0), first);
        QVERIFY(file.atEnd());
        QCOMPARE(m_s->copyRows({1}), u"'=b.com\t1,230\t\t\t\t\t\t\t\n"_s);
    }

    void exportFailureKeepsTheOldFile()
    {
        const Session::ExportResult result =
            m_s->exportCsv(m_dir.filePath(u"missing/out.csv"_s), {});
        QVERIFY(!result.written);
        QVERIFY2(result.notice.startsWith(u"无法写入 "_s + m_dir.filePath(u"missing/out.csv"_s)),
                 qPrintable(result.notice));
    }

    void actionAt_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        using Kind = Session::CellAction::Kind;
        QTest::newRow("domain: into the lookup")
            << 0 << kDomainColumn << int(Kind::LookUp) << u"a.com"_s;
        QTest::newRow("count: its search page")
            << 0 << int(YahooLinksWww) << int(Kind::Open) << u"/search?bwm=i&p=www.a.com"_s;
        QTest::newRow("label") << 0 << kLabelColumn << int(Kind::None) << QString();
        QTest::newRow("PageRank") << 0 << int(PageRank) << int(Kind::None) << QString();
        QTest::newRow("registration") << 0 << int(Registration) << int(Kind::None) << QString();
        QTest::newRow("no row") << 3 << kDomainColumn << int(Kind::None) << QString();
    }
    void actionAt()
    {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(int, kind);
        QFETCH(QString, text);
        const Session::CellAction action = m_s->actionAt(row, column);
        QCOMPARE(int(action.kind), kind);
        QCOMPARE(action.text,
                 kind == int(Session::CellAction::Kind::Open) ? m_f.address(text) : text);
    }

    void filterRows()
    {
        QCOMPARE(m_s->filterRows(u"删除带-的域名"_s, {}), u"结果筛选：删除 1 行，剩余 2 行"_s);
        QCOMPARE(m_s->filterRows(u"no such criterion"_s, {}), u"结果筛选：删除 0 行，剩余 2 行"_s);
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

    void imports()
    {
        m_s->lists()->setList(Sources::Com, {u"abc.com"_s, u"xyz.com"_s, u"abcd.com"_s});
        m_s->breakDown(Sources::Com);
        m_s->importCategory(0);
        QCOMPARE(grid().rowCount(), 2);
        QCOMPARE(m_s->noticeText(), u"已导入2个域名"_s);

        // UTF-16 with an IDN name, a URL, a duplicate and junk.
        QFile names(m_dir.filePath(u"names.txt"_s));
        QVERIFY(names.open(QIODevice::WriteOnly));
        QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
        names.write(utf16(u"中文.com\r\nhttp://www.X.com/a\r\nx.com\r\n<b>\r\n"_s));
        names.close();
        QCOMPARE(QCoro::waitFor(m_s->importFile(names.fileName())),
                 u"已从文件导入 2 个域名，跳过 2 行（其中重复 1 个）"_s);
        QCOMPARE(grid().cell(0, kDomainColumn), u"xn--fiq228c.com"_s);
        QCOMPARE(grid().cell(1, kDomainColumn), u"x.com"_s);
        QCOMPARE(QCoro::waitFor(m_s->importFile(m_dir.filePath(u"none.txt"_s))),
                 u"无法读取文件：%1"_s.arg(m_dir.filePath(u"none.txt"_s)));
        QCOMPARE(grid().rowCount(), 2);
    }

    void lookUp()
    {
        QString known = u"d0.com"_s;
        for (int i = 1; SimContent::deletionInfo(known).cells.isEmpty(); ++i)
            known = u"d%1.com"_s.arg(i);
        const Session::LookupReport report = QCoro::waitFor(m_s->lookUp(known));
        const QString icp = SimContent::icpNumber(known);
        QCOMPARE(report.values.value(1), icp.isEmpty() ? u"无备案"_s : icp);
        QCOMPARE(report.values.value(2), SimContent::deletionInfo(known).cells[2]);
        QSignalSpy refused(m_s.get(), &Session::lookupRefused);
        const int asked = m_f.sim.requestCount();
        QCOMPARE(QCoro::waitFor(m_s->lookUp(u"x/../a.test"_s)).refusal,
                 u"不是有效的域名：x/../a.test"_s);
        QCOMPARE(refused.size(), 1);
        QCOMPARE(m_f.sim.requestCount(), asked);
    }

    // A stop ends the run after the request in flight; the re-query asks only what is left.
    void startStopRequery()
    {
        m_s->setTicked(0, true);
        m_f.sim.hold(Route::BaiduSite);
        auto run = m_s->startRun();
        QTRY_COMPARE(m_f.sim.heldCount(Route::BaiduSite), 1);
        QVERIFY(m_s->isRunning());
        m_f.sim.release(Route::BaiduSite);
        m_f.sim.hold(Route::BaiduSite);
        QTRY_COMPARE(m_f.sim.heldCount(Route::BaiduSite), 1);
        m_s->stop();
        QVERIFY(!m_s->isRunning());
        m_f.sim.release(Route::BaiduSite);
        QCoro::waitFor(std::move(run));
        QCOMPARE(grid().cell(2, BaiduSite), kBlankCell);
        QVERIFY(!m_s->measuredAll({0}));
        m_s->setStopFlag(false);
        QCoro::waitFor(m_s->requery());
        for (int r = 0; r < 3; ++r)
            QCOMPARE(grid().cell(r, BaiduSite), expectedCell(0, grid().cell(r, kDomainColumn)));
        QCOMPARE(m_f.sim.requestCount(Route::BaiduSite), 3);
        QVERIFY(m_s->measuredAll({0}));
    }
};

QTEST_MAIN(TestSession)
#include "tst_session.moc"
