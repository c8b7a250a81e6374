// The web archive's and the DNS resolver's answers: each shape from the simulator through the
// fetcher into the readers, the readers' edge cases, and the other-suffix cell.
#include "Fixture.h"
#include "SimApis.h"
#include "probes/ApiAnswers.h"

using namespace Qt::StringLiterals;
using namespace ApiAnswers;
using SimContent::ArchiveShape;
using SimContent::DohShape;

class TestApis : public QObject {
    Q_OBJECT
    SimFixture m_f;

    // What the simulator, at the archive's or the resolver's endpoint, answers for `name`.
    FetchResult ask(bool archive, const QString &name)
    {
        const QString url =
            archive ? u"http://%1/cdx/search/cdx?url=%2&output=json&fl=timestamp"
                      u"&collapse=timestamp:4"_s.arg(m_f.endpoints().archive, name)
                    : u"http://%1/resolve?name=%2&type=NS"_s.arg(m_f.endpoints().doh, name);
        return await(m_f.fetcher.fetch(url, Charset::Utf8));
    }

    // `input`: a name asked of the simulator, or a body (JSON, in single quotes) read as it is.
    QByteArray bodyOf(bool archive, const QString &input)
    {
        return input[0].isLetter() ? ask(archive, input).body : input.toUtf8().replace('\'', '"');
    }

private Q_SLOTS:
    void cleanup() { m_f.reset(); }

    void archive_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("years");
        const QString captured = SimContent::archiveNameFor(ArchiveShape::Captured, u"alpha"_s);
        const QList<int> years = SimContent::archiveYears(captured);
        QTest::newRow("captured") << captured << QString::number(years.first())
                                  << QString::number(years.size());
        const QString failed = kQueryFailed;
        for (const auto &[shape, first, count] :
             {std::tuple(ArchiveShape::Empty, kNoArchive, u"0"_s),
              std::tuple(ArchiveShape::HeaderOnly, kNoArchive, u"0"_s),
              std::tuple(ArchiveShape::Malformed, failed, failed)})
            QTest::addRow("%d", int(shape))
                << SimContent::archiveNameFor(shape, u"beta"_s) << first << count;
        for (const char *body :
             {"{'timestamp': ['20040312101010']}", "[['original'],['20040312101010']]",
              "[['timestamp'],['2004O312101010']]", "[['timestamp'],['20040231101010']]",
              "[['timestamp'],['20050101000000'],['20040101000000']]",
              "[['timestamp'],['20040101000000'],['20041231000000']]"})
            QTest::newRow(body) << QString::fromLatin1(body) << failed << failed;
    }
    void archive()
    {
        QFETCH(QString, input);
        const ArchiveCells cells = readArchive(bodyOf(true, input));
        QTEST(cells.firstYear, "first");
        QTEST(cells.years, "years");
        QCOMPARE(cells.state, cells.years == kQueryFailed ? CellState::Failed : CellState::Value);
    }

    void doh_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<Doh>("expected");
        for (const auto &[shape, expected] :
             {std::pair(DohShape::Taken, Doh::Taken), std::pair(DohShape::NoRecord, Doh::NotTaken),
              std::pair(DohShape::NxDomain, Doh::NotTaken),
              std::pair(DohShape::ServFail, Doh::Failed),
              std::pair(DohShape::Malformed, Doh::Failed)})
            QTest::addRow("%d", int(shape))
                << SimContent::dohLabelFor(shape, u"gamma"_s) + u".net"_s << expected;
        for (const auto &[body, expected] :
             {std::pair("{'Status': 0}", Doh::NotTaken),
              std::pair("{'Status': 0, 'Answer': {'type': 2}}", Doh::Failed),
              std::pair("{'Status': '0', 'Answer': [{'type': 2}]}", Doh::Failed),
              std::pair("[{'Status': 0}]", Doh::Failed)})
            QTest::newRow(body) << QString::fromLatin1(body) << expected;
    }
    void doh()
    {
        QFETCH(QString, input);
        QTEST(readDoh(bodyOf(false, input)), "expected");
    }

    void otherSuffixes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("asked");
        const QString all = u"com info net org biz cn com.cn net.cn org.cn"_s;
        QTest::newRow("drawn") << u"delta.com"_s << QString(all).remove(u"com "_s);
        QTest::newRow("taken") << u"taken-delta.COM.cn."_s << QString(all).remove(u" com.cn"_s);
        QTest::newRow("failing") << u"servfail-delta.gov.cn"_s << all;
    }
    void otherSuffixes()
    {
        QFETCH(QString, name);
        QList<Doh> answers;
        QStringList suffixes;
        int taken = 0;
        bool failing = false;
        for (const QString &fqdn : otherSuffixNames(name)) {
            suffixes << fqdn.section(u'.', 1);
            answers << readDoh(ask(false, fqdn).body);
            taken += SimContent::dohShape(fqdn) == DohShape::Taken;
            failing |= SimContent::dohShape(fqdn) >= DohShape::ServFail;
        }
        QTEST(suffixes.join(u' '), "asked");
        QCOMPARE(combineSuffixes(answers).text,
                 failing ? kQueryFailed : u"%1/%2"_s.arg(taken).arg(suffixes.size()));
    }

    // Turning a refusal into 查询受限 is the caller's: the status and the wait must reach it.
    void throttled()
    {
        m_f.sim.setFault(Route::All, Fault::throttled(429));
        for (const bool archive : {true, false}) {
            const FetchResult r = ask(archive, u"epsilon.com"_s);
            QCOMPARE(r.httpStatus, 429);
            QCOMPARE(r.retryAfter, QByteArray("120"));
        }
    }
};

QTEST_GUILESS_MAIN(TestApis)
#include "tst_apis.moc"
