// Every byte the program reads comes from sites it does not control. These tests feed it hostile
// servers, hostile lists and hostile names through the same roads the window uses, and check
// that each ends with its documented result.

#include "SimContent.h"
#include "SiteSimulator.h"
#include "fetch/PageFetcher.h"

#include <QTest>

#include <QCoroTask>

using Route = SiteSimulator::Route;
using Fault = SiteSimulator::Fault;

namespace {

constexpr qint64 kMiB = 1024 * 1024;

} // namespace

class TestHostile : public QObject {
    Q_OBJECT

    SiteSimulator m_sim;

    QString url(const QString &pathAndQuery) const
    {
        return QStringLiteral("http://") + m_sim.hostPort() + pathAndQuery;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_sim.listen()); }
    void init()
    {
        m_sim.clearFaults();
        m_sim.clearLog();
    }

    // Any status that came with a whole body is a page, whatever Qt calls the status.
    void statusPages_data()
    {
        QTest::addColumn<int>("status");
        for (int s : {200, 203, 300, 400, 401, 403, 404, 405, 407, 409, 410, 418, 429, 451, 500,
                      501, 502, 503, 599})
            QTest::newRow(qPrintable(QString::number(s))) << s;
    }
    void statusPages()
    {
        QFETCH(int, status);
        const QByteArray body = "<p>\xe6\x89\xbe\xe5\x88\xb0\xe7\xba\xa6 12 x</p>";
        m_sim.setFault(Route::Google, Fault::body(body, status));
        PageFetcher fetcher;
        const FetchResult r = QCoro::waitFor(
            fetcher.FetchUtf8(url(QStringLiteral("/search?hl=zh-CN&source=hp&q=site%3Ax.com"))));
        QVERIFY2(r.gotPage(), qPrintable(r.error));
        QCOMPARE(r.httpStatus, status);
        QCOMPARE(r.text, QString::fromUtf8(body));
    }

    // A host gets a handful of connections; every request ended early must give its own back,
    // or a few hostile answers leave the host unreachable for the rest of the session.
    void endedRequestsFreeTheirConnections_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("value");
        QTest::newRow("never answers") << int(SiteSimulator::FaultKind::Hang) << qint64(0);
        QTest::newRow("drips forever") << int(SiteSimulator::FaultKind::Drip) << qint64(50);
        QTest::newRow("over the cap") << int(SiteSimulator::FaultKind::Oversized) << 17 * kMiB;
        QTest::newRow("inflates past the cap")
            << int(SiteSimulator::FaultKind::GzipBomb) << qint64(17);
    }
    void endedRequestsFreeTheirConnections()
    {
        QFETCH(int, kind);
        QFETCH(qint64, value);
        PageFetcher fetcher;
        PageFetcher::Limits limits;
        limits.transferTimeoutMs = 200;
        limits.totalDeadlineMs = 400;
        fetcher.setLimits(limits);
        const QString page = url(QStringLiteral("/search?bwm=p&p=a.com"));
        m_sim.setFault(Route::YahooPages, {SiteSimulator::FaultKind(kind), value});
        for (int i = 0; i < 8; ++i) // more than the connections Qt opens to one host
            QVERIFY(!QCoro::waitFor(fetcher.FetchUtf8(page)).gotPage());
        QCOMPARE(m_sim.requestCount(Route::YahooPages), 8);
        m_sim.clearFaults();
        const FetchResult r = QCoro::waitFor(fetcher.FetchUtf8(page));
        QVERIFY2(r.gotPage(), qPrintable(r.error));
        QCOMPARE(r.text, QString::fromUtf8(SimContent::yahooPagesPage(QStringLiteral("a.com"))));
        QCOMPARE(m_sim.requestCount(Route::YahooPages), 9);
    }
};

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
