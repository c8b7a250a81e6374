// RDAP: the bootstrap table and its layers, reading answers, the drop estimate.
#include "Fixture.h"
#include "fetch/SiteAddress.h"
#include "rdap/DropEstimate.h"
#include "rdap/RdapBootstrap.h"
#include "rdap/RdapClient.h"
#include "rdap/RdapRecord.h"

#include <QFile>
#include <QTemporaryDir>

#include <ctime>

using namespace Qt::StringLiterals;
using DropEstimate::Stage;
using SimContent::RdapStage;

namespace {

// An evening in Los Angeles (initTestCase), already the next day in UTC.
const QDate kToday(2026, 12, 7);
const QDateTime kNow(kToday.addDays(1), QTime(5, 43), Qt::UTC);
const char *const kKinds[] = {"", // registered, which the statuses show
                              "not registered", "invalid name", "slow down", "failed"};

// JSON in single quotes reads better than escaped double quotes.
const auto json = [](QByteArray text) { return text.replace('\'', '"'); };

QByteArray oneSuffix(const char *suffix, const QByteArray &base)
{
    return json(QByteArray("{'services': [[['") + suffix + "'], ['" + base + "']]]}");
}

// A domain object: statuses split at commas, events written "action=date; action=date".
QByteArray domain(const QString &statuses, const QString &events = {})
{
    QStringList list;
    for (const QString &event : events.split(u';', Qt::SkipEmptyParts))
        list << u"{'eventAction': '%1', 'eventDate': '%2'}"_s.arg(
            event.section(u'=', 0, 0).trimmed(), event.section(u'=', 1));
    const QString status =
        statuses.isEmpty() ? QString() : u"'%1'"_s.arg(statuses.split(u',').join(u"', '"));
    return json(u"{'objectClassName': 'domain', 'status': [%1], 'events': [%2]}"_s
                    .arg(status, list.join(u", "))
                    .toUtf8());
}

} // namespace

class TestRdap : public QObject {
    Q_OBJECT

    SimFixture m_f;

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "America/Los_Angeles");
        tzset();
        m_f.sim.setRdapDay(kToday);
    }

    void bootstrapLookup()
    {
        const std::optional<RdapBootstrap> table = RdapBootstrap::parse(
            json("{'services': ["
                 "[['com', 'NET'], ['http://plain.example/com/', 'https://secure.example/com/']],"
                 "[['example'], ['https://ex.example/rdap']],"
                 "[['b.example'], ['https://b.example/rdap/']],"
                 "[['org'], ['ftp://files.example/', 'http://only-http.example/']],"
                 "[['lo'], ['http://127.0.0.2:8/']], [['lo6', 'local'], ['http://[::1]/']]]}"),
            nullptr);
        QVERIFY(table);
        QCOMPARE(table->warnings(), QStringList(u"service 4 skipped: http://only-http.example/ is "
                                                u"plain HTTP to another machine"_s));
        const std::pair<const char *, const char *> cases[] = {
            {"WWW.X.NET.", "https://secure.example/com/domain/www.x.net"}, // https preferred
            {"例子.com", "https://secure.example/com/domain/xn--fsqu00a.com"},
            {"a.b.example", "https://b.example/rdap/domain/a.b.example"}, // the longest suffix
            {"xb.example", "https://ex.example/rdap/domain/xb.example"},  // whole labels only
            {"b.example", "https://b.example/rdap/domain/b.example"},     // the name itself
            {"x.org", ""}, // plain HTTP elsewhere: anyone on the path could answer
            {"x.lo", "http://127.0.0.2:8/domain/x.lo"},
            {"x.local", "http://[::1]/domain/x.local"},
            {"x.cn", ""},
        };
        for (const auto &[name, url] : cases)
            QCOMPARE(table->domainUrl(QString::fromUtf8(name)).value_or(QString()),
                     QString::fromUtf8(url));
        // The bootstrap file itself comes the same way.
        QStringList schemes;
        for (const char *host : {"data.iana.org", "127.9.0.1:80", "[::1]:8", "LocalHost",
                                 "127.0.0.1.example", "[::2]:8"})
            schemes << secureSiteAddress(QString::fromUtf8(host), u"/").section(u':', 0, 0);
        QCOMPARE(schemes.join(u' '), u"https http http http https https"_s);
    }

    void badDownloadKeepsTheLastGoodCopy()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"sub/rdap-dns.json"_s);
        const QByteArray good = oneSuffix("com", "https://good.example/");
        QString error;
        QVERIFY2(RdapBootstrap::storeDownload(good, path, &error), qPrintable(error));
        for (const QByteArray &bad :
             {QByteArray("<html>busy</html>"), json("{'version': '1.0'}"), json("{'services': []}"),
              oneSuffix("com", "ftp://x/"), oneSuffix("c om", "https://x/"),
              oneSuffix("com", "http://x/")})
            QVERIFY2(!RdapBootstrap::storeDownload(bad, path, &error) &&
                         !std::exchange(error, QString()).isEmpty(),
                     bad);
        QCOMPARE(RdapBootstrap::load({}, path).baseFor(u"a.com"_s), u"https://good.example/"_s);
    }

    // The download over the built-in table, and the user's file over both; messages counted name
    // the file.
    void loadLayers()
    {
        const std::tuple<QByteArray, QByteArray, const char *> cases[] = {
            {"garbage", "{", "built-in built-in 2"},
            {json("{'services': [[['com'], ['http://plain.example/']], "
                  "[['net'], ['https://n.example/']]]}"),
             oneSuffix("net", "http://127.0.0.1:9/"), "built-in http://127.0.0.1:9/ 1"},
            // A download older than the built-in table still holds for every suffix it names.
            {json("{'publication': '2001-01-01T00:00:00Z', 'services': [[['com', 'net'], "
                  "['https://old.example/']]]}"),
             oneSuffix("com", "https://mine.example/"),
             "https://mine.example/ https://old.example/ 0"},
        };
        for (const auto &[cached, user, seen] : cases) {
            QTemporaryDir dir;
            QFile files[] = {QFile(dir.filePath(u"cache"_s)), QFile(dir.filePath(u"user"_s))};
            for (auto &[file, text] : {std::pair(&files[0], cached), std::pair(&files[1], user)})
                QVERIFY(text.isEmpty() || (file->open(QIODevice::WriteOnly) &&
                                           file->write(text) > 0 && file->flush()));
            QStringList messages;
            const RdapBootstrap loaded =
                RdapBootstrap::load(files[1].fileName(), files[0].fileName(), &messages);
            const auto shown = [&](const QString &name) {
                const std::optional<QString> base = loaded.baseFor(name);
                return base == RdapBootstrap::builtIn().baseFor(name) ? u"built-in"_s
                                                                      : base.value_or(u"none"_s);
            };
            QCOMPARE(u"%1 %2 %3"_s.arg(shown(u"a.com"_s), shown(u"a.net"_s))
                         .arg(messages.filter(dir.path()).size()),
                     seen);
        }
    }

    // An answer to a query for x.com as the server sends it, read and estimated after the stage
    // seen before: all the program shows of it, in one line a row can spell out.
    void answers()
    {
        QStringList wrong;
        const auto check = [&](const char *name, int status, const QByteArray &body,
                               const char *seen, const QByteArray &retryAfter = {},
                               Stage previous = Stage::Unknown) {
            const RdapAnswer a = readAnswer(u"x.com", status, body, retryAfter, kNow);
            const RdapResult r{true, a, DropEstimate::estimate(a, kNow, previous)};
            const auto expiry = DropEstimate::realExpiry(a);
            const auto age = DropEstimate::age(a, kToday);
            QStringList shown = {
                kKinds[a.kind],
                r.statusText(),
                r.estimate.stage == Stage::Unknown ? QString() : stageName(r.estimate.stage),
                estimateText(r.estimate),
                countdownText(r.estimate, kToday),
                expiry ? u"expiry "_s + expiry->toString(Qt::ISODate) : QString(),
                age ? u"age "_s + ageText(*age) : QString(),
                a.retryAfterSeconds ? u"retry %1"_s.arg(*a.retryAfterSeconds) : QString(),
                a.error.isEmpty() ? QString() : u"error"_s,
                a.warnings.isEmpty() ? QString() : r.note().section(u'\n', -1)};
            shown.removeAll(QString());
            if (shown.join(u" / "_s) != QString::fromUtf8(seen))
                wrong << name + (u": "_s + shown.join(u" / "_s));
        };
        check("404, never deleting", 404, json("{'errorCode': 404}"), "not registered", {},
              Stage::Active);
        check("404 after pending delete", 404, {}, "not registered / dropped / 已删除 / 已删除", {},
              Stage::PendingDelete);
        check("400", 400, {}, "invalid name");
        check("429 seconds", 429, {}, "slow down / retry 120", " 120 ", Stage::PendingDelete);
        check("429 IMF", 429, {}, "slow down / retry 120", "Tue, 08 Dec 2026 05:45:00 GMT");
        check("429 RFC 850", 429, {}, "slow down / retry 30", "Tuesday, 08-Dec-26 05:43:30 GMT");
        check("429 asctime", 429, {}, "slow down / retry 60", "Tue Dec  8 05:44:00 2026");
        check("429 past", 429, {}, "slow down / retry 0", "Sun, 06 Dec 2026 12:00:00 GMT");
        check("429 huge", 429, {}, "slow down / retry 2147483647", "99999999999999999999999");
        check("503", 503, domain({}), "failed / error", "5");
        const QByteArray d = "{'objectClassName': 'domain', ";
        check("malformed", 200, json(d + "'status': ["), "failed / error");
        check("an entity", 200, json("{'objectClassName': 'entity'}"), "failed / error");
        check("status a string", 200, json(d + "'status': 'active'}"), "failed / error");
        check("its own name", 200, json(d + "'ldhName': 'X.COM.', 'unicodeName': 'x.com'}"),
              "active");
        check("another name", 200, json(d + "'ldhName': 'x.com.cn'}"), "failed / error");
        check("another unicodeName", 200, json(d + "'unicodeName': 'y.com'}"), "failed / error");
        // Times are UTC; the dates shown are Los Angeles's, a day earlier before 08:00 UTC.
        check("active", 200,
              domain(u"clientTransferProhibited, Client Update  Prohibited"_s,
                     u"expiration=2027-05-01T00:00:00Z; registration=2010-03-15T04:00:00+08:00"_s),
              "client transfer prohibited, client update prohibited / active / expiry 2027-04-30 / "
              "age 16年268天");
        // Shown a year ahead: expired 2026-11-20, deleted by 2027-01-04, dropped 35 days on.
        check("grace", 200,
              domain(u" Auto Renew Period "_s,
                     u"expiration=2027-11-20t05:00:00z; registration=2020-12-08T08:00:00Z"_s),
              "auto renew period / grace / 预计 2027-01-11 至 2027-02-07 / 预计35至62天后 / "
              "expiry 2026-11-19 / age 5年364天");
        check("grace nearly over", 200,
              domain(u"autoRenewPeriod,clientHold"_s,
                     u"expiration=2027-10-01T05:00:00Z; registration=2020-12-08T07:59:59Z"_s),
              "auto renew period, client hold / grace / 预计 2027-01-11 / 预计35天后 / "
              "expiry 2026-09-30 / age 6年0天");
        check("grace without expiration", 200,
              domain(u"auto renew period"_s, u"registration=2027-01-01T00:00:00Z"_s),
              "auto renew period / grace");
        // The latest "last changed" counts; 29 February's anniversary is the 28th in 2026.
        check("redemption beside pending delete", 200,
              domain(u"REDEMPTION PERIOD,pending delete,redemption period"_s,
                     u"last changed=2026-11-21T01:00:00+08:00; last changed=2026-11-01T10:00:00Z; "
                     "transfer=not a date; expiration=2026-10-01T00:00:00Z; "
                     "registration=2024-02-29T12:00:00.5Z"_s),
              "redemption period, pending delete / redemption / 预计 2026-12-25 / 预计18天后 / "
              "expiry 2026-09-30 / age 2年282天");
        // Nomulus: the expiration no reader takes is left out, with a word in the note.
        check("redemption, EPP spelling", 200,
              domain(u"pendingDelete,redemptionPeriod"_s,
                     u"expiration=294247-01-10T04:00:54.775Z; last changed=2026-11-03T07:00:00Z"_s),
              "pending delete, redemption period / redemption / 预计 2026-12-07 / 预计0天后 / "
              "RDAP event \"expiration\" has no valid date; left out");
        check("pending delete", 200,
              domain(u"pending delete"_s, u"last changed=2026-12-05T08:00:00Z"_s),
              "pending delete / pending delete / 预计 2026-12-10 / 预计3天后");
        check("a restore under way", 200,
              domain(u"pending delete,redemption period,pending restore"_s,
                     u"last changed=2026-12-01T00:00:00Z"_s),
              "pending delete, redemption period, pending restore / 恢复中 / 恢复中");
        check("no date in year 9999", 200,
              domain(u"redemption period"_s, u"last changed=9999-12-31T00:00:00Z"_s),
              "redemption period / redemption");
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u"; ")));
    }

    // A name of each stage, in RdapStage's order, asked of the simulator's registries through
    // the bootstrap table that points at them.
    void throughTheSimulator()
    {
        RdapClient client(&m_f.fetcher, m_f.rdapBootstrap());
        m_f.sim.clearLog();
        QStringList seen;
        for (int stage = 0; stage <= int(RdapStage::Malformed); ++stage) {
            // Each under another suffix, so that every registry's route is taken.
            const QString name = SimContent::rdapNameFor(
                RdapStage(stage), u"n"_s, SimContent::rdapSuffixes().value(stage % 5));
            const RdapResult r = await(client.query(name)).value();
            seen << (kKinds[r.answer.kind] + (u' ' + stageName(r.estimate.stage)) +
                     (r.answer.retryAfterSeconds ? u" retry"_s : QString()))
                        .trimmed();
        }
        QCOMPARE(seen, QStringList({u"active"_s, u"grace"_s, u"redemption"_s, u"pending delete"_s,
                                    u"not registered unknown"_s, u"invalid name unknown"_s,
                                    u"slow down unknown retry"_s, u"failed unknown"_s}));
        // Each asks for RDAP's own media type.
        QCOMPARE(m_f.sim.requestAccepts(Route::Rdap),
                 QByteArrayList(seen.size(), "application/rdap+json"));
    }
};

QTEST_GUILESS_MAIN(TestRdap)
#include "tst_rdap.moc"
