// The registries' drop lists: each format as the simulator serves it, the time rules, the table of
// list sources with a user's file over it, and downloads through the cache with conditional
// requests.
#include "Fixture.h"
#include "SimFeeds.h"
#include "sources/DropList.h"
#include "sources/ListCache.h"
#include "sources/ListDownload.h"
#include "sources/ListSources.h"
#include "text/Clock.h"

#include <QStringEncoder>

using namespace Qt::StringLiterals;
using DropList::ListFormat;
using SimFeeds::File;
using From = ListDownload::Outcome::From;

namespace {

const QDate kDay(2026, 12, 8);
const QDateTime kNow(kDay, QTime(9, 30), Qt::UTC);

// JSON in single quotes reads better than escaped double quotes.
QByteArray json(QByteArray text)
{
    return text.replace('\'', '"');
}

ListFormat builtInFormat(const char *id)
{
    return ListSources::withUserFile({}).find(QLatin1String(id))->format;
}

QList<DropList::Entry> expected(File file, const QDate &day)
{
    QList<DropList::Entry> out;
    for (const SimFeeds::Listed &l : SimFeeds::listed(file, day))
        out << DropList::Entry{l.name,
                               l.dropUtc.isValid() ? std::optional(l.dropUtc) : std::nullopt};
    return out;
}

QStringList names(const QList<DropList::Entry> &entries)
{
    QStringList out;
    for (const DropList::Entry &e : entries)
        out << e.name;
    return out;
}

} // namespace

class TestFeeds : public QObject {
    Q_OBJECT

    SimFixture m_f;

private Q_SLOTS:
    void initTestCase()
    {
        // Local time far from UTC, so that a rule which slips into it shows.
        qputenv("TZ", "Asia/Shanghai");
        Clock::setNow(kNow);
    }
    void cleanupTestCase() { Clock::setNow({}); }

    // Each list downloaded and read, then asked again later: unchanged, changed or failing.
    void downloads_data()
    {
        QTest::addColumn<ListSources::ListSource>("source");
        QTest::addColumn<File>("file");
        QTest::addColumn<Route>("route");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<bool>("cached");
        QTest::addColumn<bool>("keepEtag");
        QTest::addColumn<int>("hoursLater");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<From>("from");
        QTest::addColumn<QString>("message"); // what it holds; empty: there is none
        const ListSources::Table table = ListSources::withUserFile({});
        const auto row = [&](const char *id) { return *table.find(QLatin1String(id)); };
        const auto asText = [&](const char *id, const QString &path) {
            ListSources::ListSource text = row(id);
            text.path = path;
            text.format.kind = ListFormat::Kind::Lines;
            return text;
        };
        const Fault none = Fault::none();
        QTest::newRow("uk, gzipped CSV: unchanged, ETag")
            << row("uk") << File::UkCsvGz << Route::DropListUk << 5 << true << true << 1 << none
            << From::Cache << "";
        QTest::newRow("se, JSON: unchanged, date")
            << row("se") << File::SeJson << Route::DropListSe << 5 << true << false << 2 << none
            << From::Cache << "";
        QTest::newRow("nu, JSON with a BOM: unreadable")
            << row("nu") << File::NuJson << Route::DropListNu << 5 << true << true << 3
            << Fault::body("{}") << From::StaleCache << u"使用 3 小时前的缓存"_s;
        QTest::newRow("pl, lines after a header: failed")
            << row("pl") << File::PlText << Route::DropListPl << 3 << true << true << 25
            << Fault::errorStatus(503) << From::StaleCache << u"HTTP 503"_s;
        QTest::newRow("se, text: failed, no cache")
            << asText("se", u"/bardate_domains.txt"_s) << File::SeText << Route::DropListSe << 4
            << false << true << 1 << Fault::refuse() << From::Nothing << u"下载失败("_s;
        QTest::newRow("nu, text: the next day's")
            << asText("nu", u"/bardate_domains_nu.txt"_s) << File::NuText << Route::DropListNu << 4
            << true << true << 24 << none << From::Download << "";
    }
    void downloads()
    {
        QFETCH(ListSources::ListSource, source);
        QFETCH(File, file);
        QFETCH(Route, route);
        QFETCH(int, skipped);
        QFETCH(bool, cached);
        QFETCH(bool, keepEtag);
        QFETCH(int, hoursLater);
        QFETCH(Fault, fault);
        QFETCH(From, from);
        QFETCH(QString, message);
        QTemporaryDir dir;
        ListCache cache(dir.filePath(u"lists"_s));
        const auto download = [&] {
            return await(ListDownload::download(&m_f.fetcher, m_f.endpoints(), source, {}, {},
                                                cached ? &cache : nullptr));
        };
        Clock::setNow(kNow);
        const ListDownload::Outcome first = download();
        QCOMPARE(first.from, From::Download);
        QCOMPARE(first.message, QString());
        QCOMPARE(first.list.entries, expected(file, kDay));
        QCOMPARE(first.list.duplicates, 3);
        QCOMPARE(first.list.skipped, skipped);
        QCOMPARE(first.list.badTimes, source.format.timeRule == ListFormat::TimeRule::None ? 0 : 1);
        if (!keepEtag) {
            const std::optional<ListCache::Copy> copy = cache.cached(source.id, kNow);
            QVERIFY(copy);
            QVERIFY(cache.store(source.id, copy->body, copy->lastModified, {}, kNow));
        }

        const QDateTime later = kNow.addSecs(hoursLater * 3600);
        Clock::setNow(later);
        m_f.sim.setFault(route, fault);
        const ListDownload::Outcome second = download();
        m_f.sim.clearFaults();
        Clock::setNow(kNow);
        QCOMPARE(second.from, from);
        QVERIFY2(message.isEmpty() ? second.message.isEmpty() : second.message.contains(message),
                 qPrintable(second.message));
        QCOMPARE(second.list.entries,
                 from == From::Nothing
                     ? QList<DropList::Entry>()
                     : expected(file, from == From::Download ? later.date() : kDay));
    }

    void awkwardBodies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<ListFormat>("format");
        QTest::addColumn<qint64>("cap");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("error");
        const ListFormat lines;
        ListFormat gb;
        gb.charset = u"GB2312"_s;
        ListFormat csv;
        csv.kind = ListFormat::Kind::Csv;
        csv.nameColumn = u"domain"_s;
        ListFormat noName = csv;
        noName.nameColumn.clear();
        ListFormat bareJson;
        bareJson.kind = ListFormat::Kind::Json;
        bareJson.nameField = u"n"_s;
        ListFormat keyedJson = bareJson;
        keyedJson.arrayKey = u"data"_s;
        const ListFormat uk = builtInFormat("uk");
        const QByteArray ukGz = SimFeeds::body(File::UkCsvGz, kDay);
        const qint64 cap = DropList::kMaxInflatedBytes;

        QTest::newRow("gb2312") << QByteArray(QStringEncoder("GB18030").encode(
                                       u"\uFEFFABC.COM\r\n域名列表\r\n例子.cn\r\n"_s))
                                << gb << cap << QStringList{u"abc.com"_s, u"xn--fsqu00a.cn"_s}
                                << "";
        QTest::newRow("UTF-8 BOM over gb2312") << QByteArray("\xef\xbb\xbf\xc3\xa4.se\n") << gb
                                               << cap << QStringList{u"xn--4ca.se"_s} << "";
        QTest::newRow("not names")
            << QByteArray("1.2.3.4\n-a.com\na-.com\nlocalhost\na..com\nEXAMPLE.com.\n") << lines
            << cap << QStringList{u"example.com"_s} << "";
        QTest::newRow("quoted CSV") << QByteArray("Other,Domain\n\"x, \"\"y\"\"\",\"a.uk\"\n")
                                    << csv << cap << QStringList{u"a.uk"_s} << "";
        QTest::newRow("CSV without the column")
            << QByteArray("\n\nname\na.uk\n") << csv << cap << QStringList()
            << "the header has no \"domain\" column";
        QTest::newRow("CSV format without a name column")
            << QByteArray("domain\na.uk\n") << noName << cap << QStringList()
            << "the header has no \"\" column";
        QTest::newRow("bare JSON array") << json("[{'n': 'b.se'}, {'n': 7}, 'c.se']") << bareJson
                                         << cap << QStringList{u"b.se"_s} << "";
        QTest::newRow("JSON without the key")
            << json("{'rows': []}") << keyedJson << cap << QStringList()
            << "no \"data\" array in the document";
        QTest::newRow("gzip arrived inflated")
            << QByteArray("roid,domain,drop_time\r\n1,x.uk,2026-12-08T13:05:00Z\r\n") << uk << cap
            << QStringList{u"x.uk"_s} << "";
        QTest::newRow("gzip cut off") << ukGz.left(ukGz.size() / 2) << uk << cap << QStringList()
                                      << "the gzip file is cut off";
        QTest::newRow("gzip past the cap")
            << ukGz << uk << qint64(100) << QStringList() << "the list inflates past 100 bytes";
        QTest::newRow("gzip then padding") << ukGz + QByteArray(16, '\0') << uk << cap
                                           << names(expected(File::UkCsvGz, kDay)) << "";
    }
    void awkwardBodies()
    {
        QFETCH(QByteArray, body);
        QFETCH(ListFormat, format);
        QFETCH(qint64, cap);
        QFETCH(QStringList, names);
        QFETCH(QString, error);
        const DropList::Result result = DropList::read(body, format, cap);
        QCOMPARE(result.error, error);
        QCOMPARE(::names(result.entries), names);
    }

    // The plain instant and the date at its release hour are read in downloads().
    void timeRules_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<ListFormat::TimeRule>("rule");
        QTest::addColumn<QDateTime>("utc"); // invalid: no time
        const auto iso = ListFormat::TimeRule::IsoInstant;
        const auto date = ListFormat::TimeRule::DateWithReleaseHourUtc;
        const QDateTime at1305(kDay, QTime(13, 5), Qt::UTC);
        QTest::newRow("offset") << "2026-12-08T21:05:00+08:00" << iso << at1305;
        QTest::newRow("fraction") << " 2026-12-08T13:05:00.250Z " << iso << at1305.addMSecs(250);
        QTest::newRow("no offset is UTC") << "2026-12-08 13:05:00" << iso << at1305;
        QTest::newRow("a date is no instant") << "2026-12-08" << iso << QDateTime();
        QTest::newRow("date with a time") << "2026-12-08T04:00" << date << QDateTime();
        QTest::newRow("no such date") << "2026-02-30" << date << QDateTime();
        QTest::newRow("no rule") << "2026-12-08" << ListFormat::TimeRule::None << QDateTime();
    }
    void timeRules()
    {
        QFETCH(QString, text);
        QFETCH(ListFormat::TimeRule, rule);
        QFETCH(QDateTime, utc);
        ListFormat format;
        format.timeRule = rule;
        format.releaseHourUtc = 4;
        const std::optional<QDateTime> at = DropList::readTime(text, format);
        QCOMPARE(at.value_or(QDateTime()), utc);
        if (at)
            QCOMPARE(at->timeSpec(), Qt::UTC);
    }

    void droppingOn_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("daysAhead");
        QTest::addColumn<QStringList>("names");
        const auto zone = [](int hours, int minutes, int offsetHours) {
            return QDateTime(kDay, QTime(hours, minutes), Qt::OffsetFromUTC, offsetHours * 3600);
        };
        const QStringList today{u"b.uk"_s, u"c.uk"_s};
        QTest::newRow("UTC") << kNow << 0 << today;
        QTest::newRow("UTC, tomorrow") << kNow << 1 << QStringList{u"e.uk"_s};
        QTest::newRow("UTC, yesterday") << kNow << -1 << QStringList{u"a.uk"_s};
        QTest::newRow("Beijing past midnight, UTC not")
            << zone(7, 30, 8) << 0 << QStringList{u"a.uk"_s};
        QTest::newRow("Beijing past midnight, tomorrow") << zone(7, 30, 8) << 1 << today;
        QTest::newRow("UTC past midnight, New York not")
            << zone(20, 0, -5) << 0 << QStringList{u"e.uk"_s};
    }
    void droppingOn()
    {
        QFETCH(QDateTime, now);
        QFETCH(int, daysAhead);
        QFETCH(QStringList, names);
        const auto at = [](int day, int hours, int minutes) {
            return std::optional(QDateTime(QDate(2026, 12, day), QTime(hours, minutes), Qt::UTC));
        };
        const QList<DropList::Entry> entries{{u"a.uk"_s, at(7, 23, 59)},
                                             {u"b.uk"_s, at(8, 0, 0)},
                                             {u"c.uk"_s, at(8, 23, 59)},
                                             {u"d.uk"_s, std::nullopt},
                                             {u"e.uk"_s, at(9, 4, 0)}};
        QCOMPARE(::names(DropList::droppingOn(entries, daysAhead, now)), names);
    }

    void sourcesFile_data()
    {
        QTest::addColumn<QByteArray>("user");
        QTest::addColumn<QStringList>("fromUser");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("warnings"); // what each warning begins with, in order
        const QByteArray ok = "{'endpoint': 'droplist_uk', 'path': '/mirror/uk.csv', 'format': "
                              "'csv', 'name_column': 'domain'}";
        QTest::newRow("no file") << QByteArray() << QStringList() << QStringList() << QStringList();
        QTest::newRow("probes are another reader's")
            << json("{'probes': {'baidu': {'endpoint': 'baidu'}}, 'lists': {}}") << QStringList()
            << QStringList() << QStringList();
        QTest::newRow("an override and a new list")
            << json("{'lists': {'uk': " + ok + ", 'mine': " + ok + "}}")
            << QStringList{u"uk"_s, u"mine"_s} << QStringList{u"mine"_s} << QStringList();
        QTest::newRow("bad entries fall back")
            << json("{'lists': {'uk': {'endpoint': 'droplist_uk', 'path': '/x', 'format': 'xml'},"
                    " 'se': {'endpoint': 'droplist_se', 'path': '/x', 'format': 'lines', 'gzp': "
                    "true}, 'nu': 5, 'pl': {'endpoint': 'droplist_pl', 'path': '/{day}.txt', "
                    "'format': 'lines'}, 'daily': {'endpoint': 'nowhere', 'path': '/x', 'format': "
                    "'lines'}, 'Bad Key': " +
                    ok +
                    ", 'odd': {'endpoint': 'droplist_se', 'path': '/x', 'format': 'json', "
                    "'name_field': 'n', 'time': 'date'}}}")
            << QStringList() << QStringList()
            << QStringList{
                   u"sources.json: list \"Bad Key\": the key is not"_s,
                   u"sources.json: list \"daily\": unknown endpoint \"nowhere\"; the built-in row stays"_s,
                   u"sources.json: list \"nu\": not an object"_s,
                   u"sources.json: list \"odd\": \"release_hour_utc\" goes with"_s,
                   u"sources.json: list \"pl\": the path"_s,
                   u"sources.json: list \"se\": unknown key \"gzp\""_s,
                   u"sources.json: list \"uk\": \"format\" is \"xml\", not one of lines, csv, json"_s};
        QTest::newRow("not JSON") << QByteArray("{lists") << QStringList() << QStringList()
                                  << QStringList{u"sources.json: not JSON"_s};
        QTest::newRow("lists not an object")
            << json("{'lists': []}") << QStringList() << QStringList()
            << QStringList{u"sources.json: \"lists\" is not an object"_s};
    }
    void sourcesFile()
    {
        QFETCH(QByteArray, user);
        QFETCH(QStringList, fromUser);
        QFETCH(QStringList, added);
        QFETCH(QStringList, warnings);
        const ListSources::Table builtIn = ListSources::withUserFile({});
        const ListSources::Table table = ListSources::withUserFile(user);
        QCOMPARE(table.warnings.size(), warnings.size());
        for (qsizetype i = 0; i < warnings.size(); ++i)
            QVERIFY2(table.warnings[i].startsWith(warnings[i]), qPrintable(table.warnings[i]));
        QStringList ids;
        for (const ListSources::ListSource &row : table.lists) {
            ids << row.id;
            const bool mine = fromUser.contains(row.id);
            QCOMPARE(row.origin,
                     mine ? ListSources::Origin::UserFile : ListSources::Origin::BuiltIn);
            if (!mine)
                QCOMPARE(row, *builtIn.find(row.id));
        }
        QCOMPARE(ids,
                 QStringList({u"cn"_s, u"daily"_s, u"nu"_s, u"pl"_s, u"se"_s, u"uk"_s}) + added);
    }
};

QTEST_GUILESS_MAIN(TestFeeds)
#include "tst_feeds.moc"
