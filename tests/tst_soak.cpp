// Long runs: what a fetch leaves behind must not add up.

#include "SiteSimulator.h"
#include "fetch/PageFetcher.h"

#include <QAbstractEventDispatcher>
#include <QTest>

#include <QCoroTask>

class TestSoak : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // With the built-in 90 s deadline, each fetch used to leave its deadline timer registered
    // until it fired: a long run slowed down and grew by one timer per page.
    void finishedFetchesLeaveNoTimersBehind()
    {
        SiteSimulator sim;
        QVERIFY(sim.listen());
        PageFetcher fetcher; // built-in limits
        const QString url = QStringLiteral("http://") + sim.hostPort() + QStringLiteral("/varnel/");
        QVERIFY(QCoro::waitFor(fetcher.FetchGb2312(url)).gotPage()); // connection and caches warm
        QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
        const qsizetype before = dispatcher->children().size();
        for (int i = 0; i < 300; ++i)
            QVERIFY(QCoro::waitFor(fetcher.FetchGb2312(url)).gotPage());
        const qsizetype after = dispatcher->children().size();
        QVERIFY2(after - before < 10,
                 qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(after)));
    }
};

QTEST_GUILESS_MAIN(TestSoak)
#include "tst_soak.moc"
