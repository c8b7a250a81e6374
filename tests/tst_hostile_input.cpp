// Names and lists as a hostile list server may send them: every request still goes to the
// configured site, and every list operation keeps every name.
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

#include <QTcpServer>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kMiB = 1024 * 1024;

// The path and query a probe puts before the name.
QString probePath(int metric)
{
    const ProbeColumn column = Probes::metric(metric).column;
    if (const ProbeRecipe *recipe = Probes::countRecipe(column))
        return recipe->pathAndQuery;
    return column == Registration ? Probes::kRegistrationPath : Probes::kPageRankPath;
}

// The percent-decoded rest of a logged target after `prefix`.
QString sentName(const QString &target, const QString &prefix)
{
    if (!target.startsWith(prefix))
        return u"<target %1 lacks %2>"_s.arg(target, prefix);
    return QUrl::fromPercentEncoding(target.mid(prefix.size()).toUtf8());
}

bool isSubsequence(const QStringList &part, const QStringList &whole)
{
    qsizetype at = 0;
    for (const QString &p : part) {
        while (at < whole.size() && whole[at] != p)
            ++at;
        if (at++ == whole.size())
            return false;
    }
    return true;
}

} // namespace

class TestHostileInput : public QObject {
    Q_OBJECT

    SimFixture m_f;

private Q_SLOTS:
    void init()
    {
        m_f.sim.clearFaults();
        m_f.sim.clearLog();
    }

    // Only the configured site answers; any request sent elsewhere would fail. The site hears
    // the name as it stands: percent-encoded, nothing in it can rewrite the address.
    void hostileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<int>("consumer"); // a metric, or 8 for the lookup
        const QList<std::pair<const char *, std::pair<QString, QString>>> names = {
            {"space", {u"a b.com"_s, u"a b.com"_s}},
            {"hash", {u"ab#cd.com"_s, u"ab#cd.com"_s}},
            {"ampersand", {u"a&wd=b.com"_s, u"a&wd=b.com"_s}},
            {"question mark", {u"a?b=c.com"_s, u"a?b=c.com"_s}},
            {"at", {u"user@evil.com"_s, u"user@evil.com"_s}},
            {"slashes", {u"a/../../b.com"_s, u"a/../../b.com"_s}},
            {"header injection",
             {u"a.com HTTP/1.1\r\nHost: evil.com\r\n\r\n"_s,
              u"a.com HTTP/1.1\r\nHost: evil.com\r\n\r\n"_s}},
            {"non-ASCII", {u"中文域名.中国"_s, u"中文域名.中国"_s}},
            {"10,000 characters",
             {QString(9996, u'w') + u".com"_s, QString(9996, u'w') + u".com"_s}},
        };
        for (const auto &[label, pair] : names) {
            for (int c = 0; c <= Probes::kMetricCount; ++c) {
                const QByteArray who =
                    c < Probes::kMetricCount ? Probes::metric(c).probe.toLatin1() : "lookup";
                QTest::addRow("%s, %s", label, who.constData()) << pair.first << pair.second << c;
            }
        }
    }
    void hostileNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, sent);
        QFETCH(int, consumer);
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        Endpoints only = Endpoints::allAt(u"127.0.0.1:%1"_s.arg(closed.serverPort()));
        closed.close();

        if (consumer == Probes::kMetricCount) {
            only.deletionTool = only.icp = m_f.sim.hostPort();
            DetailLookup lookup(&m_f.fetcher);
            lookup.setEndpoints(only);
            await(lookup.lookUp(name));
            QCOMPARE(m_f.sim.requestCount(), 2);
            QCOMPARE(sentName(m_f.sim.requestTargets(Route::DeletionTool).value(0),
                              u"/DomainDel/?wd="_s),
                     sent);
            QCOMPARE(sentName(m_f.sim.requestTargets(Route::Icp).value(0), u"/s?keytype=0&q="_s),
                     sent);
            return;
        }

        const Route route = routeOfMetric(consumer);
        only.baidu = only.google = only.yahoo = only.registrar = only.pagerank = m_f.sim.hostPort();
        ResultTable table;
        Sources::importCategory(table, {name});
        QueryRun run(&table, &m_f.fetcher);
        run.setEndpoints(only);
        run.setTicked(consumer, true);
        await(run.startOrStop());
        const QStringList targets = m_f.sim.requestTargets(route);
        QCOMPARE(targets.size(), 1);
        QCOMPARE(sentName(targets[0], probePath(consumer)), sent);
        const bool framed = route == Route::PageRank && !SimContent::pageRank(sent).isEmpty();
        QCOMPARE(m_f.sim.requestCount(), framed ? 2 : 1);
        QCOMPARE(table.cell(0, kDomainColumn), name);
        QCOMPARE(table.cell(0, Probes::metric(consumer).column), expectedCell(consumer, sent));
    }

    // Lists through both loaders, the breakdown, the length sort and the import: no name is
    // lost, duplicated or changed on the way.
    void hostileLists_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("NUL bytes")
            << QByteArray("abc.com\r\n\0\0\r\nde\0f.net\r\n[\0]ab.cn\r\n", 29);
        QTest::newRow("1 MB lines")
            << QByteArray(kMiB, 'a') + ".com\r\nshort.net\r\n" + QByteArray(kMiB, '7') + ".cn\r\n";
        QTest::newRow("only brackets") << QByteArray("[[[]]]\r\n[]\r\n]\r\n[\r\n").repeated(1000);
        QTest::newRow("a million empty lines") << QByteArray(1'000'000, '\n');
        QTest::newRow("invalid sequences")
            << QByteArray("\x80\xff.com\r\n\xc3\x28.net\r\nok.cn\r\n");
        QTest::newRow("mixed line ends")
            << QByteArray("a.com\rb.net\nc.org\r\n\n\r\r\nd.cn\r\n12e3.com");
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
        for (const bool cn : {false, true}) {
            for (QStringView line : Sources::cutLines(text)) {
                const auto [entry, index] = Reference::filing(line, cn);
                if (index >= 0)
                    want[std::size_t(index)] << entry;
            }
        }
        QCOMPARE(lists.lists(), want);
        for (int i = 0; i < Sources::kSourceCount; ++i) {
            const QStringList &list = lists.list(i);
            const Sources::Categories categories = Sources::lengthBreakdown(list, i);
            for (const QStringList &category : categories)
                QVERIFY(isSubsequence(category, list));
            QStringList sorted = list;
            Sources::sortByLength(sorted);
            QStringList literal = list;
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
