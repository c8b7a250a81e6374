#include "SimContent.h"
#include "SimExpect.h"
#include "SiteSimulator.h"
#include "probes/Probes.h"
#include "probes/Recipes.h"
#include "table/ResultTable.h"

#include <QTcpServer>
#include <QTest>

#include <QCoroTask>

using Route = SiteSimulator::Route;
using Fault = SiteSimulator::Fault;

namespace {

QStringList domains(int n)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << QStringLiteral("name%1.com").arg(i);
    return out;
}

void fill(ResultTable &t, const QStringList &names)
{
    t.ResetTable();
    for (int i = 0; i < names.size(); ++i) {
        QStringList cells(kColumnCount - 1, kBlankCell);
        cells[0] = names[i];
        t.AddRow(QString::number(i), cells);
    }
}

} // namespace

class TestProbes : public QObject {
    Q_OBJECT

    SiteSimulator m_sim;
    PageFetcher m_fetcher;
    ResultTable m_table;
    bool m_stop = false;

    Probes::ProbeEnv env(const Endpoints &endpoints)
    {
        Probes::ProbeEnv e;
        e.table = &m_table;
        e.fetcher = &m_fetcher;
        e.endpoints = endpoints;
        e.shouldStop = [this] { return m_stop; };
        return e;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_sim.listen()); }
    void init()
    {
        m_sim.clearFaults();
        m_sim.clearLog();
        m_stop = false;
    }

    void fillsItsColumn_data()
    {
        QTest::addColumn<int>("metric");
        for (int k = 0; k < Probes::kMetricCount; ++k)
            QTest::newRow(qPrintable(Probes::metric(k).probe)) << k;
    }
    void fillsItsColumn()
    {
        QFETCH(int, metric);
        const QStringList names = domains(40);
        fill(m_table, names);
        QCoro::waitFor(Probes::runProbe(env(m_sim.endpoints()), metric));
        const int column = Probes::metric(metric).column;
        QSet<QString> distinct;
        for (int r = 1; r <= names.size(); ++r) {
            QCOMPARE(m_table.CellText(r, column), expectedCell(metric, names[r - 1]));
            distinct << m_table.CellText(r, column);
            for (int other = 2; other < kColumnCount; ++other) {
                if (other != column)
                    QCOMPARE(m_table.CellText(r, other), kBlankCell);
            }
        }
        QVERIFY2(distinct.size() > 1, "a probe that writes one value everywhere proves nothing");
    }

    void oneRequestPerRowInOrder()
    {
        const QStringList names = domains(3);
        fill(m_table, names);
        QCoro::waitFor(Probes::runProbe(env(m_sim.endpoints()), 4)); // yahooflwww
        QCOMPARE(m_sim.requestTargets(Route::YahooLinks),
                 (QStringList{QStringLiteral("/search?bwm=i&p=www.name0.com"),
                              QStringLiteral("/search?bwm=i&p=www.name1.com"),
                              QStringLiteral("/search?bwm=i&p=www.name2.com")}));
    }

    void pageRankWithoutFrameFetchesOnce()
    {
        QString noFrame;
        QString framed;
        for (const QString &d : domains(200)) {
            (SimContent::pageRank(d).isEmpty() ? noFrame : framed) = d;
        }
        QVERIFY(!noFrame.isEmpty() && !framed.isEmpty());
        fill(m_table, {noFrame, framed});
        QString lastAnswer = QStringLiteral("unset");
        Probes::ProbeEnv e = env(m_sim.endpoints());
        e.answerPage = [&](const QString &page) { lastAnswer = page; };
        QCoro::waitFor(Probes::runProbe(e, 6));
        QCOMPARE(m_sim.requestCount(Route::PageRank), 2);
        QCOMPARE(m_sim.requestCount(Route::PageRankFrame), 1);
        QCOMPARE(m_table.CellText(1, PageRank), QStringLiteral("0"));
        QVERIFY(lastAnswer.contains(QStringLiteral("Rank_")));
    }

    void stopFlagBeforeFirstRow()
    {
        fill(m_table, domains(3));
        m_stop = true;
        QCoro::waitFor(Probes::runProbe(env(m_sim.endpoints()), 0));
        QCOMPARE(m_sim.requestCount(), 0);
        for (int r = 1; r <= 3; ++r)
            QCOMPARE(m_table.CellText(r, BaiduSite), kBlankCell);
    }

    void unreachableServiceIsAFailedQuery_data()
    {
        QTest::addColumn<int>("metric");
        QTest::newRow("baidu") << 0;
        QTest::newRow("pr") << 6;
        QTest::newRow("zhuce") << 7;
    }
    void unreachableServiceIsAFailedQuery()
    {
        QFETCH(int, metric);
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const Endpoints nowhere =
            Endpoints::allAt(QStringLiteral("127.0.0.1:%1").arg(closed.serverPort()));
        closed.close();
        fill(m_table, domains(2));
        QCoro::waitFor(Probes::runProbe(env(nowhere), metric));
        const int column = Probes::metric(metric).column;
        QCOMPARE(m_table.CellText(1, column), kQueryFailed);
        QCOMPARE(m_table.CellText(2, column), kQueryFailed);
    }

    void pageRankSecondPageFailing()
    {
        QString framed;
        for (const QString &d : domains(200)) {
            if (!SimContent::pageRank(d).isEmpty())
                framed = d;
        }
        fill(m_table, {framed});
        m_sim.setFault(Route::PageRankFrame, Fault::refuse());
        QCoro::waitFor(Probes::runProbe(env(m_sim.endpoints()), 6));
        QCOMPARE(m_table.CellText(1, PageRank), kQueryFailed);
    }

    void errorPageWithoutMarkerIsZero()
    {
        fill(m_table, {QStringLiteral("x.com")});
        m_sim.setFault(Route::Google, Fault::errorStatus(404));
        // An error page is still a page: the count is what it shows.
        QCoro::waitFor(Probes::runProbe(env(m_sim.endpoints()), 2));
        QCOMPARE(m_table.CellText(1, GoogleSite), expectedCell(2, QStringLiteral("x.com")));
    }

    void tableChangesDuringAWait()
    {
        const QStringList names = domains(5);
        fill(m_table, names);
        m_sim.hold(Route::Google);
        bool done = false;
        auto task = Probes::runProbe(env(m_sim.endpoints()), 2);
        task.then([&] { done = true; });
        QTRY_COMPARE(m_sim.heldCount(Route::Google), 1); // row 1 (name0) waits
        // While it waits: sort so name0 moves, and delete name1 and name3.
        m_table.SortByColumn(kDomainColumn); // descending: name4 .. name0
        m_table.removeRowsWhere([](const ResultRow &r) {
            return r.cells[kDomainColumn] == u"name1.com" || r.cells[kDomainColumn] == u"name3.com";
        });
        m_sim.release(Route::Google);
        QTRY_VERIFY(done);
        QCOMPARE(m_table.RowCount(), 3);
        for (int r = 1; r <= 3; ++r) {
            const QString domain = m_table.CellText(r, kDomainColumn);
            QCOMPARE(m_table.CellText(r, GoogleSite), expectedCell(2, domain));
        }
        QCOMPARE(m_sim.requestCount(Route::Google), 3); // the deleted rows were skipped
    }

    void importDuringAWaitWritesNothingNew()
    {
        fill(m_table, domains(3));
        m_sim.hold(Route::Registrar);
        bool done = false;
        auto task = Probes::runProbe(env(m_sim.endpoints()), 7);
        task.then([&] { done = true; });
        QTRY_COMPARE(m_sim.heldCount(Route::Registrar), 1);
        fill(m_table, domains(3)); // the same names, but new rows
        m_sim.release(Route::Registrar);
        QTRY_VERIFY(done);
        for (int r = 1; r <= 3; ++r)
            QCOMPARE(m_table.CellText(r, Registration), kBlankCell);
        QCOMPARE(m_sim.requestCount(Route::Registrar), 1);
    }
};

QTEST_GUILESS_MAIN(TestProbes)
#include "tst_probes.moc"
