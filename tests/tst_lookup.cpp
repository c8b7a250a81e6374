// The single-domain lookup: its two scrapers, and the values it reports against the simulator.
#include "Fixture.h"
#include "lookup/DetailLookup.h"
#include "lookup/DetailScrape.h"
#include "rdap/RdapClient.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;
using Field = DetailLookup::Field;

namespace {

QString cell(const QString &content)
{
    return u"<td class=\"deltd1\">"_s + content + u"</td>"_s;
}

// The values a lookup leaves, by field, starting from "..".
QMap<Field, QString> lookUp(DetailLookup &lookup, const QString &domain)
{
    QMap<Field, QString> values;
    QObject::connect(&lookup, &DetailLookup::valueChanged,
                     [&](Field field, const QString &text) { values[field] = text; });
    await(lookup.lookUp(domain));
    QObject::disconnect(&lookup, &DetailLookup::valueChanged, nullptr, nullptr);
    return values;
}

} // namespace

class TestLookup : public QObject {
    Q_OBJECT

    SimFixture m_f;

private Q_SLOTS:
    void deletionPage()
    {
        const QString page = cell(u"<b>13年</b>(近似值)"_s) + cell(u"x"_s) + cell(u"2011-04-18"_s) +
                             cell(u"y"_s) + cell(u"<i>2024-04-18</i>"_s) +
                             u"<p>还剩：3 天 14 小时</p>"_s;
        const DetailScrape::DeletionInfo info = DetailScrape::scrapeDeletionPage(page);
        QCOMPARE(*info.cells[1], u"13年"_s);
        QCOMPARE(*info.cells[3], u"2011-04-18"_s);
        QCOMPARE(*info.cells[5], u"<i>2024-04-18</i>"_s); // other markup stays, shown as text
        QCOMPARE(*info.countdown, u"3天14小时"_s);

        const DetailScrape::DeletionInfo partial = DetailScrape::scrapeDeletionPage(cell(u"a"_s));
        QVERIFY(partial.cells[1] && !partial.cells[2] && !partial.countdown);
        QVERIFY(DetailScrape::scrapeDeletionPage(u"没有查询到相应的信息"_s + cell(u"a"_s))
                    .noInformation);
    }

    void filingPage_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("number");
        QTest::newRow("filed") << "<td class=\"ap\"><a href=\"/i\">x</a> <a target=\"_blank\">"
                                  "京ICP备10212345号-2</a></td>"
                               << int(DetailScrape::FilingResult::Filed) << "京ICP备10212345号-2";
        QTest::newRow("not filed")
            << "<p>未备案</p>" << int(DetailScrape::FilingResult::NotFiled) << "";
        QTest::newRow("entry without link")
            << "<td class=\"ap\"><a>x</a></td><a target=\"_blank\">late</a>"
            << int(DetailScrape::FilingResult::Unreadable) << "";
    }
    void filingPage()
    {
        QFETCH(QString, page);
        QFETCH(int, kind);
        QFETCH(QString, number);
        const DetailScrape::FilingResult got = DetailScrape::scrapeFilingPage(page);
        QCOMPARE(int(got.kind), kind);
        QCOMPARE(got.number, number);
    }

    // Domains the simulator knows and does not know, filed and not: every value as the pages
    // give it.
    void lookUpAgainstTheSimulator()
    {
        DetailLookup lookup(&m_f.fetcher);
        lookup.setEndpoints(m_f.endpoints());
        int known = 0;
        int unknown = 0;
        for (int i = 0; i < 30; ++i) {
            const QString domain = QStringLiteral("look%1.com").arg(i);
            const SimContent::DeletionInfo info = SimContent::deletionInfo(domain);
            const QMap<Field, QString> values = lookUp(lookup, domain);
            const QString icp = SimContent::icpNumber(domain);
            QCOMPARE(values[Field::Filing], icp.isEmpty() ? DetailLookup::kNotFiled : icp);
            if (info.cells.isEmpty()) {
                ++unknown;
                QCOMPARE(values[Field::Age], DetailLookup::kNoInformation);
                QCOMPARE(values[Field::Countdown], DetailLookup::kNoInformation);
                continue;
            }
            ++known;
            QCOMPARE(values[Field::Registered], info.cells[2]);
            QCOMPARE(values[Field::Expires], info.cells[4]);
            QCOMPARE(values[Field::Countdown], QString(info.countdown).remove(u' '));
            QVERIFY(!values[Field::Age].contains(u"<b>"_s));
        }
        QVERIFY(known > 0 && unknown > 0);
    }

    // Where the deletion-date page fails, the registry's RDAP record fills the dates, each
    // value saying where it came from.
    void rdapFillsWhatThePageCannot()
    {
        RdapClient rdap(&m_f.fetcher, m_f.rdapBootstrap());
        DetailLookup lookup(&m_f.fetcher);
        lookup.setEndpoints(m_f.endpoints());
        lookup.setRdap(&rdap);
        m_f.sim.setFault(Route::DeletionTool, Fault::errorStatus(503));
        const QString name = SimContent::rdapNameFor(SimContent::RdapStage::Redemption, u"z"_s);
        QMap<Field, QString> notes;
        connect(&lookup, &DetailLookup::valueNoteChanged, this,
                [&](Field field, const QString &note) { notes[field] = note; });
        const QMap<Field, QString> values = lookUp(lookup, name);
        m_f.sim.clearFaults();
        const SimContent::RdapInfo info = SimContent::rdapInfo(name, QDate::currentDate());
        QCOMPARE(values[Field::Registered], info.registration.date().toString(Qt::ISODate));
        QVERIFY2(values[Field::Countdown].startsWith(u"预计"_s),
                 qPrintable(values[Field::Countdown]));
        QVERIFY(notes[Field::Expires].startsWith(u"来源：RDAP\n状态："_s));
    }

    void emptyInputAsksNothing()
    {
        DetailLookup lookup(&m_f.fetcher);
        lookup.setEndpoints(m_f.endpoints());
        QSignalSpy empty(&lookup, &DetailLookup::emptyInput);
        m_f.sim.clearLog();
        const QMap<Field, QString> values = lookUp(lookup, QString());
        QCOMPARE(empty.size(), 1);
        QCOMPARE(values.size(), DetailLookup::kFieldCount);
        for (const QString &v : values)
            QCOMPARE(v, DetailLookup::kReset);
        QCOMPARE(m_f.sim.requestCount(), 0);
    }

    void unreachablePagesAreFailedQueries()
    {
        DetailLookup lookup(&m_f.fetcher);
        lookup.setEndpoints(m_f.endpoints());
        m_f.sim.setFault(Route::Icp, Fault::refuse());
        m_f.sim.setFault(Route::DeletionTool, Fault::refuse());
        QSignalSpy failed(&lookup, &DetailLookup::fetchFailed);
        const QMap<Field, QString> values = lookUp(lookup, u"abc.com"_s);
        m_f.sim.clearFaults();
        QCOMPARE(values[Field::Filing], kQueryFailed);
        QCOMPARE(values[Field::Age], kQueryFailed);
        QCOMPARE(failed.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestLookup)
#include "tst_lookup.moc"
