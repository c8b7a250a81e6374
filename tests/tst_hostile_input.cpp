// Hostile names and lists: every request still goes to its site, every list keeps every name.
#include "Fixture.h"
#include "Reference.h"
#include "lookup/DetailLookup.h"
#include "probes/QueryRun.h"
#include "sources/CategoryImport.h"
#include "sources/DeletionLists.h"
#include "sources/LengthBreakdown.h"
#include "sources/ListSorts.h"
#include "sources/SourceLists.h"
#include "table/ResultTable.h"
#include "text/HostName.h"

#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// The percent-decoded rest of a logged target after `prefix`.
QString sentName(const QString &target, const QString &prefix)
{
    return target.startsWith(prefix) ? QUrl::fromPercentEncoding(target.mid(prefix.size()).toUtf8())
                                     : u"<target %1 lacks %2>"_s.arg(target, prefix);
}

bool isSubsequence(const QStringList &part, const QStringList &whole)
{
    qsizetype at = 0;
    return std::ranges::all_of(
        part, [&](const QString &p) { return (at = whole.indexOf(p, at) + 1) > 0; });
}

} // namespace

class TestHostileInput : public QObject {
    Q_OBJECT

    SimFixture m_f;

private Q_SLOTS:
    void init() { m_f.sim.clearLog(); }

    // The site hears the name as it stands, percent-encoded: nothing in it can rewrite the
    // address, so each request reaches the configured host and path.
    void hostileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("consumer"); // a metric, or 8 for the lookup
        const QStringList names =
            QStringList{"a b.com",       "ab#cd.com",     "a&wd=b.com",      "a?b=c.com",
                        "user@evil.com", "a/../../b.com", u"中文域名.中国"_s}
            << QString(9996, u'w') + ".com"
            << "a.com HTTP/1.1\r\nHost: evil.com\r\n\r\n";
        for (const QString &name : names) {
            for (int c = 0; c <= Probes::kMetricCount; ++c)
                QTest::addRow("%s, %s", qPrintable(name.left(20).simplified()),
                              c < Probes::kMetricCount ? qPrintable(Probes::metric(c).probe)
                                                       : "lookup")
                    << name << c;
        }
    }
    void hostileNames()
    {
        QFETCH(QString, name);
        QFETCH(int, consumer);
        QList<std::pair<Route, QString>> asked; // each request's route and what precedes the name
        // The PageRank probe asks for the answer frame too, when the tool's page has one.
        const bool framed = consumer == 6 && !SimContent::pageRank(name).isEmpty();
        QString sent = name;
        if (consumer == Probes::kMetricCount) {
            DetailLookup lookup(&m_f.fetcher);
            lookup.setEndpoints(m_f.endpoints());
            await(lookup.lookUp(name));
            // The lookup asks only for a host name, in its ASCII form.
            sent = asciiHostName(name).value_or(QString());
            if (!sent.isEmpty())
                asked = {{Route::DeletionTool, u"/DomainDel/?wd="_s},
                         {Route::Icp, u"/s?keytype=0&q="_s}};
        } else {
            const ProbeColumn column = *Probes::metric(consumer).column;
            const ProbeRecipe *recipe = Probes::countRecipe(column);
            asked = {{routeOfMetric(consumer), recipe                   ? recipe->pathAndQuery
                                               : column == Registration ? Probes::kRegistrationPath
                                                                        : Probes::kPageRankPath}};
            ResultTable table;
            Sources::importCategory(table, {name});
            QueryRun run(&table, &m_f.fetcher);
            run.setEndpoints(m_f.endpoints());
            run.setTicked(consumer, true);
            await(run.startOrStop());
            QCOMPARE(table.cell(0, kDomainColumn), name);
            QCOMPARE(table.cell(0, column), expectedCell(consumer, name));
        }
        QCOMPARE(m_f.sim.requestCount(), asked.size() + (framed ? 1 : 0));
        for (const auto &[route, prefix] : asked) {
            QCOMPARE(m_f.sim.requestTargets(route).size(), 1);
            QCOMPARE(sentName(m_f.sim.requestTargets(route)[0], prefix), sent);
        }
    }

    // Lists through both loaders, the breakdown, the length sort and the import: no name is
    // lost, duplicated or changed on the way.
    void hostileLists_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("NUL") << QByteArray("abc.com\r\n\0\0\r\nde\0f.net\r\n[\0]ab.cn\r\n", 29);
        QTest::newRow("1 MB lines") << QByteArray(1 << 20, 'a') + ".com\r\nshort.net\r\n" +
                                           QByteArray(1 << 20, '7') + ".cn\r\n";
        QTest::newRow("only brackets") << QByteArray("[[[]]]\r\n[]\r\n]\r\n[\r\n").repeated(1000);
        QTest::newRow("a million empty lines") << QByteArray(1'000'000, '\n');
        QTest::newRow("invalid bytes") << QByteArray("\x80\xff.com\r\n\xc3\x28.net\r\nok.cn\r\n");
        QTest::newRow("line ends") << QByteArray("a.com\rb.net\nc.org\r\n\n\r\r\nd.cn\r\n12e3.com");
    }
    void hostileLists()
    {
        QFETCH(QByteArray, bytes);
        m_f.sim.setFault(Route::DailyList, Fault::body(bytes));
        m_f.sim.setFault(Route::CnRegistryList, Fault::body(bytes));
        PageFetcher fetcher; // lists take longer than a probe's page
        DeletionLists lists(&fetcher, QDate(2026, 12, 6));
        lists.setEndpoints(m_f.endpoints());
        lists.setChunkSize(997);
        await(lists.loadDay(2, QDate(2026, 12, 6)));
        const QString text = PageFetcher::decodeBody(bytes, Charset::Gb2312);
        Sources::SourceLists want;
        for (const bool cn : {false, true})
            Reference::fileText(text, cn, want);
        QCOMPARE(lists.lists(), want);
        for (int i = 0; i < Sources::kSourceCount; ++i) {
            const QStringList &list = lists.list(i);
            const Sources::Categories categories = Sources::lengthBreakdown(list, i);
            for (const QStringList &category : categories)
                QVERIFY(isSubsequence(category, list));
            QStringList sorted = list, literal = list;
            Sources::sortByLength(sorted);
            Reference::sortByLengthLiteral(literal);
            QCOMPARE(sorted, literal);
            ResultTable table;
            Sources::importCategory(table, categories[0]);
            QCOMPARE(qsizetype(table.rowCount()), categories[0].size());
        }
    }
};

QTEST_GUILESS_MAIN(TestHostileInput)
#include "tst_hostile_input.moc"
