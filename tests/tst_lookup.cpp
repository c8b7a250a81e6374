// The single-domain lookup: its two scrapers, and the values it reports against the simulator.
#include "Fixture.h"
#include "lookup/DetailLookup.h"
#include "lookup/DetailScrape.h"
#include "rdap/RdapClient.h"
#include "text/Clock.h"

#include <QSignalSpy>

#include <ctime>

using namespace Qt::StringLiterals;
using Field = DetailLookup::Field;
using Filing = DetailScrape::FilingResult;

class TestLookup : public QObject {
    Q_OBJECT

    SimFixture m_f;
    std::unique_ptr<DetailLookup> m_lookup;
    QMap<Field, QString> m_values; // as the panel shows them; each lookup first resets them all
    QMap<Field, QString> m_notes;

private Q_SLOTS:
    void cleanup() { Clock::setNow({}); }
    void init()
    {
        m_f.reset();
        m_lookup = std::make_unique<DetailLookup>(&m_f.fetcher);
        m_lookup->setEndpoints(m_f.endpoints());
        connect(m_lookup.get(), &DetailLookup::valueChanged, this,
                [this](Field field, const QString &text) { m_values[field] = text; });
        connect(m_lookup.get(), &DetailLookup::valueNoteChanged, this,
                [this](Field field, const QString &note) { m_notes[field] = note; });
    }

    void deletionPage()
    {
        const auto cell = [](const QString &c) { return "<td class=\"deltd1\">" + c + "</td>"; };
        const QString page = cell("<b>13年</b>(近似值)") + cell("x") + cell("2011-04-18") +
                             cell("y") + cell("<i>2024-04-18</i>") + "<p>还剩：3 天 14 小时</p>";
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
                               << int(Filing::Filed) << u"京ICP备10212345号-2"_s;
        QTest::newRow("not filed") << "<p>未备案</p>" << int(Filing::NotFiled) << QString();
        QTest::newRow("entry without link")
            << "<td class=\"ap\"><a>x</a></td><a target=\"_blank\">late</a>"
            << int(Filing::Unreadable) << QString();
    }
    void filingPage()
    {
        QFETCH(QString, page);
        QFETCH(int, kind);
        QFETCH(QString, number);
        const Filing got = DetailScrape::scrapeFilingPage(page);
        QCOMPARE(int(got.kind), kind);
        QCOMPARE(got.number, number);
    }

    // Domains the simulator knows and does not, filed and not: every value as the pages give it.
    void lookUpAgainstTheSimulator()
    {
        int unknown = 0;
        for (int i = 0; i < 30; ++i) {
            const QString domain = QStringLiteral("look%1.com").arg(i);
            const SimContent::DeletionInfo info = SimContent::deletionInfo(domain);
            const QString icp = SimContent::icpNumber(domain);
            await(m_lookup->lookUp(domain));
            QCOMPARE(m_values[Field::Filing], icp.isEmpty() ? DetailLookup::kNotFiled : icp);
            if (info.cells.isEmpty()) {
                ++unknown;
                QCOMPARE(m_values[Field::Age], DetailLookup::kNoInformation);
            } else {
                QCOMPARE(m_values[Field::Registered], info.cells[2]);
                QCOMPARE(m_values[Field::Expires], info.cells[4]);
                QCOMPARE(m_values[Field::Countdown], QString(info.countdown).remove(u' '));
            }
        }
        QVERIFY(unknown > 0 && unknown < 30);
    }

    // Where the deletion-date page fails, the RDAP record fills the dates, noting the source.
    // It is evening in Los Angeles, already tomorrow in UTC: dates and days are local.
    void rdapFillsWhatThePageCannot()
    {
        qputenv("TZ", "America/Los_Angeles");
        tzset();
        const QDate today(2026, 12, 7);
        Clock::setNow(QDateTime(today, QTime(21, 43)));
        m_f.sim.setRdapDay(today.addDays(1)); // already the next day in UTC
        RdapClient rdap(&m_f.fetcher, m_f.rdapBootstrap());
        m_lookup->setRdap(&rdap);
        m_f.sim.setFault(Route::DeletionTool, Fault::errorStatus(503));
        const QString name = SimContent::rdapNameFor(SimContent::RdapStage::Redemption, u"z"_s);
        const SimContent::RdapInfo info = SimContent::rdapInfo(name, today.addDays(1));
        await(m_lookup->lookUp(name));
        const QDate drop = info.lastChanged.addDays(35).toLocalTime().date();
        QCOMPARE(m_values[Field::Countdown], u"预计%1天后"_s.arg(today.daysTo(drop)));
        QCOMPARE(m_values[Field::Registered],
                 info.registration.toLocalTime().date().toString(Qt::ISODate));
        QVERIFY(m_notes[Field::Expires].startsWith(u"来源：RDAP\n状态："_s));
    }

    void emptyInputAsksNothing()
    {
        QSignalSpy empty(m_lookup.get(), &DetailLookup::emptyInput);
        await(m_lookup->lookUp(QString()));
        QCOMPARE(empty.size(), 1);
        QCOMPARE(m_values.values(), QStringList(DetailLookup::kFieldCount, DetailLookup::kReset));
        QCOMPARE(m_f.sim.requestCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestLookup)
#include "tst_lookup.moc"
