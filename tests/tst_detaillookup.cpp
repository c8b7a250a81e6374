#include "SimContent.h"
#include "SiteSimulator.h"
#include "lookup/DetailLookup.h"
#include "probes/Recipes.h"

#include <QSignalSpy>
#include <QTest>

#include <QCoroTask>

using Route = SiteSimulator::Route;

namespace {

// What the panel shows after the signals of one lookup: Label6(1..6) and Label7 (as [7]).
struct Panel {
    QString values[8];
    QStringList messages;

    void attach(DetailLookup &lookup)
    {
        QObject::connect(&lookup, &DetailLookup::dateValue,
                         [this](int k, const QString &t) { values[k] = t; });
        QObject::connect(&lookup, &DetailLookup::filingValue,
                         [this](const QString &t) { values[7] = t; });
        QObject::connect(&lookup, &DetailLookup::emptyInput,
                         [this] { messages << DetailLookup::kEmptyInputMessage; });
    }
};

QString findDomain(const std::function<bool(const QString &)> &wanted)
{
    for (int i = 0;; ++i) {
        const QString d = QStringLiteral("look%1.cn").arg(i);
        if (wanted(d))
            return d;
    }
}

} // namespace

class TestDetailLookup : public QObject {
    Q_OBJECT

    SiteSimulator m_sim;
    PageFetcher m_fetcher;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_sim.listen());
        PageFetcher::Limits limits;
        limits.transferTimeoutMs = 1000;
        limits.totalDeadlineMs = 2000;
        m_fetcher.setLimits(limits);
    }
    void init()
    {
        m_sim.clearFaults();
        m_sim.clearLog();
    }

    void knownDomain()
    {
        const QString d = findDomain([](const QString &d) {
            return !SimContent::deletionInfo(d).cells.isEmpty() &&
                   !SimContent::icpNumber(d).isEmpty();
        });
        DetailLookup lookup(&m_fetcher);
        lookup.setEndpoints(m_sim.endpoints());
        Panel panel;
        panel.attach(lookup);
        QCoro::waitFor(lookup.LookUpDomainDetail(d));
        const SimContent::DeletionInfo info = SimContent::deletionInfo(d);
        // Bold tags and the approximation note go; the age keeps its number and unit.
        QVERIFY(!panel.values[1].contains(u'<'));
        QVERIFY(!panel.values[1].contains(QStringLiteral("近似值")));
        QVERIFY(!panel.values[1].isEmpty());
        QCOMPARE(panel.values[3], info.cells.value(2));
        QCOMPARE(panel.values[5], info.cells.value(4));
        QCOMPARE(panel.values[6], QString(info.countdown).remove(u' '));
        QVERIFY(!panel.values[6].contains(u' '));
        QCOMPARE(panel.values[7], SimContent::icpNumber(d));
        QCOMPARE(m_sim.requestTargets(), (QStringList{QStringLiteral("/DomainDel/?wd=") + d,
                                                      QStringLiteral("/s?keytype=0&q=") + d}));
    }

    void noInformationStillLooksUpTheFiling()
    {
        const QString d = findDomain([](const QString &d) {
            return SimContent::deletionInfo(d).cells.isEmpty() &&
                   SimContent::icpNumber(d).isEmpty();
        });
        DetailLookup lookup(&m_fetcher);
        lookup.setEndpoints(m_sim.endpoints());
        Panel panel;
        panel.attach(lookup);
        QCoro::waitFor(lookup.LookUpDomainDetail(d));
        for (int k : {1, 3, 5, 6})
            QCOMPARE(panel.values[k], QStringLiteral("无信息"));
        QCOMPARE(panel.values[7], QStringLiteral("无备案"));
        QCOMPARE(m_sim.requestCount(Route::Icp), 1);
    }

    void failedPages_data()
    {
        QTest::addColumn<int>("route");
        QTest::addColumn<QString>("dates");
        QTest::addColumn<QString>("filing");
        QTest::newRow("filing site unreachable") << int(Route::Icp) << ""
                                                 << "查询失败";
        QTest::newRow("date site unreachable") << int(Route::DeletionTool) << ".."
                                               << "";
    }
    void failedPages()
    {
        QFETCH(int, route);
        QFETCH(QString, dates);
        QFETCH(QString, filing);
        const QString d = findDomain([](const QString &d) {
            return !SimContent::deletionInfo(d).cells.isEmpty() &&
                   !SimContent::icpNumber(d).isEmpty();
        });
        m_sim.setFault(Route(route), SiteSimulator::Fault::refuse());
        DetailLookup lookup(&m_fetcher);
        lookup.setEndpoints(m_sim.endpoints());
        Panel panel;
        panel.attach(lookup);
        QSignalSpy failed(&lookup, &DetailLookup::fetchFailed);
        QCoro::waitFor(lookup.LookUpDomainDetail(d));
        QCOMPARE(failed.size(), 1);
        if (!dates.isEmpty())
            QCOMPARE(panel.values[1], dates);
        if (!filing.isEmpty())
            QCOMPARE(panel.values[7], filing);
        else
            QCOMPARE(panel.values[7], SimContent::icpNumber(d)); // the other page still counts
    }

    void emptyInputFetchesNothing()
    {
        DetailLookup lookup(&m_fetcher);
        lookup.setEndpoints(m_sim.endpoints());
        Panel panel;
        panel.attach(lookup);
        QCoro::waitFor(lookup.LookUpDomainDetail(QString()));
        QCOMPARE(panel.messages, QStringList{DetailLookup::kEmptyInputMessage});
        QCOMPARE(panel.values[1], QStringLiteral(".."));
        QCOMPARE(panel.values[7], QStringLiteral(".."));
        QCOMPARE(m_sim.requestCount(), 0);
        // Blanks are not empty: they are looked up as typed.
        QCoro::waitFor(lookup.LookUpDomainDetail(QStringLiteral(" ")));
        QCOMPARE(m_sim.requestCount(Route::DeletionTool), 1);
    }

    void newerLookupSupersedesAWaitingOne()
    {
        const QString first =
            findDomain([](const QString &d) { return !SimContent::icpNumber(d).isEmpty(); });
        const QString second =
            findDomain([](const QString &d) { return SimContent::icpNumber(d).isEmpty(); });
        DetailLookup lookup(&m_fetcher);
        lookup.setEndpoints(m_sim.endpoints());
        Panel panel;
        panel.attach(lookup);
        m_sim.hold(Route::DeletionTool);
        bool firstDone = false;
        auto older = lookup.LookUpDomainDetail(first);
        older.then([&] { firstDone = true; });
        QTRY_COMPARE(m_sim.heldCount(Route::DeletionTool), 1);
        auto newer = lookup.LookUpDomainDetail(second);
        QTRY_COMPARE(m_sim.heldCount(Route::DeletionTool), 2);
        m_sim.release(Route::DeletionTool);
        QCoro::waitFor(newer);
        QTRY_VERIFY(firstDone);
        QCOMPARE(panel.values[7], QStringLiteral("无备案"));
        QCOMPARE(m_sim.requestCount(Route::Icp), 1); // the older lookup went no further
    }
};

QTEST_GUILESS_MAIN(TestDetailLookup)
#include "tst_detaillookup.moc"
