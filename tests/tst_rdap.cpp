// RDAP: the bootstrap table and its layers, reading answers, the drop estimate, and the whole
// road through the simulator's registries.
#include "Fixture.h"
#include "rdap/DropEstimate.h"
#include "rdap/RdapBootstrap.h"
#include "rdap/RdapRecord.h"

#include <QFile>
#include <QTemporaryDir>

#include <limits>

using namespace Qt::StringLiterals;
using DropEstimate::Stage;
using SimContent::RdapStage;

namespace {

const QDate kToday(2026, 12, 7);
const QDateTime kNow(kToday, QTime(12, 0), Qt::UTC);

// JSON written with single quotes, which no text here needs otherwise: easier to read than
// escaped double quotes.
QByteArray json(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}

const QByteArray kTable =
    json("{'version': '1.0', 'publication': '2026-01-02T03:04:05Z',\n"
         "  'services': [\n"
         "    [['com', 'NET'], ['http://plain.example/com/', 'https://secure.example/com/']],\n"
         "    [['example'], ['https://ex.example/rdap']],\n"
         "    [['b.example'], ['https://b.example/rdap/']],\n"
         "    [['org'], ['ftp://files.example/', 'http://only-http.example/']]\n"
         "  ]}");

RdapBootstrap table(const QByteArray &text)
{
    QString error;
    const std::optional<RdapBootstrap> parsed = RdapBootstrap::parse(text, &error);
    if (!parsed)
        qFatal("test table rejected: %s", qPrintable(error));
    return *parsed;
}

QByteArray oneSuffix(const char *suffix, const char *base, const char *publication = nullptr)
{
    QByteArray json = "{";
    if (publication)
        json += "\"publication\": \"" + QByteArray(publication) + "\", ";
    return json + "\"services\": [[[\"" + suffix + "\"], [\"" + base + "\"]]]}";
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

RdapAnswer registered(const QStringList &statuses, const QString &lastChanged,
                      const QString &expiration)
{
    RdapAnswer answer;
    answer.kind = RdapAnswer::Registered;
    answer.statuses = statuses;
    answer.lastChanged = readRdapDate(lastChanged);
    answer.expiration = readRdapDate(expiration);
    return answer;
}

// Asks the simulator's registry for `name` the way the program will, and checks the answer
// against what the simulator says of the name.
void checkAgainstSimulator(SimFixture &f, const RdapBootstrap &bootstrap, const QString &name)
{
    const SimContent::RdapInfo info = SimContent::rdapInfo(name, kToday);
    const std::optional<QString> url = bootstrap.domainUrl(name);
    QVERIFY(url);
    const FetchResult page = await(f.fetcher.fetch(*url, Charset::Utf8));
    // RDAP answers with its status: 404, 400 and 429 are answers too.
    QVERIFY2(page.status != FetchResult::Status::Failed, qPrintable(page.error));
    const RdapAnswer answer =
        readAnswer(page.httpStatus, page.body, page.retryAfter, QDateTime::currentDateTimeUtc());
    const DropEstimate::Estimate guess = DropEstimate::estimate(answer, kToday);
    const auto within = [&](int first, int last) {
        return *guess.earliest >= kToday.addDays(first) && *guess.latest <= kToday.addDays(last);
    };
    switch (info.stage) {
    case RdapStage::NotRegistered:
        QCOMPARE(answer.kind, RdapAnswer::NotRegistered);
        QCOMPARE(DropEstimate::estimate(answer, kToday, Stage::PendingDelete).stage,
                 Stage::Dropped);
        return;
    case RdapStage::InvalidName:
        QCOMPARE(answer.kind, RdapAnswer::InvalidName);
        return;
    case RdapStage::SlowDown:
        QCOMPARE(answer.kind, RdapAnswer::SlowDown);
        QVERIFY(answer.retryAfterSeconds);
        // A date has whole seconds, and a second may pass between sending and reading.
        QVERIFY(*answer.retryAfterSeconds <= info.retryAfterSeconds);
        QVERIFY(*answer.retryAfterSeconds >= info.retryAfterSeconds - 2);
        return;
    case RdapStage::Malformed:
        QCOMPARE(answer.kind, RdapAnswer::Failed);
        QVERIFY(!answer.error.isEmpty());
        return;
    default:
        QCOMPARE(answer.kind, RdapAnswer::Registered);
        QCOMPARE(answer.statuses, info.statuses);
        QCOMPARE(answer.registration, info.registration);
        QCOMPARE(answer.expiration, info.expiration);
        QCOMPARE(answer.lastChanged, info.lastChanged);
        QCOMPARE(answer.databaseUpdate, info.databaseUpdate);
    }
    // Whatever dates a stage draws, its estimate must fall where the cycle puts it.
    switch (info.stage) {
    case RdapStage::Active:
        QCOMPARE(guess.stage, Stage::Active);
        QVERIFY(!guess.earliest);
        break;
    case RdapStage::AutoRenew:
        QCOMPARE(guess.stage, Stage::Grace);
        QCOMPARE(*guess.earliest, kToday.addDays(35));
        QVERIFY(within(35, 79) && *guess.latest > *guess.earliest);
        break;
    case RdapStage::Redemption:
        QCOMPARE(guess.stage, Stage::Redemption);
        QVERIFY(within(6, 35));
        break;
    default:
        QCOMPARE(guess.stage, Stage::PendingDelete);
        QVERIFY(within(1, 5));
    }
}

RdapBootstrap simulatorBootstrap(SimFixture &f)
{
    const FetchResult page = await(f.fetcher.fetch(f.address(u"/rdap/dns.json"_s), Charset::Utf8));
    if (!page.gotPage() || page.httpStatus != 200)
        qFatal("no bootstrap from the simulator: %s", qPrintable(page.error));
    return table(page.body);
}

} // namespace

class TestRdap : public QObject {
    Q_OBJECT

    SimFixture m_f;

private Q_SLOTS:
    void initTestCase() { m_f.sim.setRdapDay(kToday); }

    void bootstrapLookup_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("base"); // empty: no server
        const auto row = [](const char *what, const char *name, const char *base) {
            QTest::newRow(what) << QString::fromUtf8(name) << QString::fromUtf8(base);
        };
        row("https preferred", "x.com", "https://secure.example/com/");
        row("case, final dot", "WWW.X.NET.", "https://secure.example/com/");
        row("longest suffix", "a.b.example", "https://b.example/rdap/");
        row("shorter suffix, slash added", "c.example", "https://ex.example/rdap/");
        row("whole labels only", "xb.example", "https://ex.example/rdap/");
        row("the name itself", "b.example", "https://b.example/rdap/");
        row("http when alone", "x.org", "http://only-http.example/");
        row("no service", "x.cn", "");
        row("empty", "", "");
    }
    void bootstrapLookup()
    {
        QFETCH(QString, name);
        QFETCH(QString, base);
        QCOMPARE(table(kTable).baseFor(name).value_or(QString()), base);
    }

    void bootstrapRejects_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("not JSON") << QByteArray("{\"services\": [");
        QTest::newRow("array") << QByteArray("[]");
        QTest::newRow("no services") << json("{'version': '1.0'}");
        QTest::newRow("services object") << json("{'services': {}}");
        QTest::newRow("service not a pair") << json("{'services': [['com']]}");
        QTest::newRow("URL not a string") << json("{'services': [[['com'], [42]]]}");
        QTest::newRow("no http URL") << json("{'services': [[['com'], ['ftp://x/']]]}");
        QTest::newRow("suffix a number") << json("{'services': [[[1], ['https://x/']]]}");
        QTest::newRow("suffix with a space") << oneSuffix("c om", "https://x/");
        QTest::newRow("bad publication") << oneSuffix("com", "https://x/", "yesterday");
    }
    void bootstrapRejects()
    {
        QFETCH(QByteArray, json);
        QString error;
        QVERIFY(!RdapBootstrap::parse(json, &error));
        QVERIFY(!error.isEmpty());
    }

    void builtInTable()
    {
        const RdapBootstrap builtIn = RdapBootstrap::builtIn();
        const QList<std::pair<QString, QString>> expected = {
            {u"com"_s, u"https://rdap.verisign.com/com/v1/"_s},
            {u"net"_s, u"https://rdap.verisign.com/net/v1/"_s},
            {u"org"_s, u"https://rdap.publicinterestregistry.org/rdap/"_s},
            {u"info"_s, u"https://rdap.identitydigital.services/rdap/"_s},
            {u"biz"_s, u"https://rdap.nic.biz/"_s},
        };
        for (const auto &[suffix, base] : expected)
            QCOMPARE(builtIn.baseFor(u"name."_s + suffix), base);
        QVERIFY(!builtIn.baseFor(u"name.cn"_s));
        QVERIFY(builtIn.publication().isValid());
        QCOMPARE(builtIn.domainUrl(u"Example.COM"_s),
                 u"https://rdap.verisign.com/com/v1/domain/example.com"_s);
        QCOMPARE(builtIn.domainUrl(u"例子.com"_s),
                 u"https://rdap.verisign.com/com/v1/domain/xn--fsqu00a.com"_s);
    }

    // The downloaded copy, the built-in table and the user's file, in every combination that
    // decides something. An empty text: no such file.
    void loadLayers_data()
    {
        QTest::addColumn<QByteArray>("cached");
        QTest::addColumn<QByteArray>("user");
        QTest::addColumn<QString>("comBase");
        QTest::addColumn<QString>("netBase");
        QTest::addColumn<int>("errors");
        const QString verisignCom = u"https://rdap.verisign.com/com/v1/"_s;
        const QString verisignNet = u"https://rdap.verisign.com/net/v1/"_s;
        const QByteArray newer = oneSuffix("com", "https://cache.example/", "2099-01-01T00:00:00Z");
        const auto row = [](const char *what, const QByteArray &cached, const QByteArray &user,
                            const QString &com, const QString &net, int errors) {
            QTest::newRow(what) << cached << user << com << net << errors;
        };
        row("built-in", {}, {}, verisignCom, verisignNet, 0);
        row("user replaces one suffix", {}, oneSuffix("net", "https://mine.example/"), verisignCom,
            u"https://mine.example/"_s, 0);
        row("bad user file kept out", {}, "{", verisignCom, verisignNet, 1);
        row("newer download replaces the table", newer, {}, u"https://cache.example/"_s, {}, 0);
        row("older download ignored",
            oneSuffix("com", "https://old.example/", "2001-01-01T00:00:00Z"), {}, verisignCom,
            verisignNet, 0);
        row("bad download ignored", "garbage", {}, verisignCom, verisignNet, 1);
        row("user over download", newer, oneSuffix("com", "https://mine.example/"),
            u"https://mine.example/"_s, {}, 0);
    }
    void loadLayers()
    {
        QFETCH(QByteArray, cached);
        QFETCH(QByteArray, user);
        QFETCH(QString, comBase);
        QFETCH(QString, netBase);
        QFETCH(int, errors);
        QTemporaryDir dir;
        const QString cachedPath = dir.filePath(u"cache.json"_s);
        const QString userPath = dir.filePath(u"user.json"_s);
        if (!cached.isEmpty())
            writeFile(cachedPath, cached);
        if (!user.isEmpty())
            writeFile(userPath, user);
        QStringList messages;
        const RdapBootstrap loaded = RdapBootstrap::load(userPath, cachedPath, &messages);
        QCOMPARE(loaded.baseFor(u"a.com"_s).value_or(QString()), comBase);
        QCOMPARE(loaded.baseFor(u"a.net"_s).value_or(QString()), netBase);
        QCOMPARE(messages.size(), errors);
        for (const QString &message : messages)
            QVERIFY(message.contains(dir.path()));
    }

    void storeDownloadKeepsTheLastGoodCopy()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"sub/rdap-dns.json"_s);
        QString error;
        QVERIFY(RdapBootstrap::storeDownload(kTable, path, &error));
        QVERIFY(!RdapBootstrap::storeDownload("<html>busy</html>", path, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!RdapBootstrap::storeDownload(json("{'services': []}"), path, &error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), kTable);
    }

    void answerKinds_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("retryAfter");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("seconds"); // -1: none
        const auto row = [](const char *name, int status, const QByteArray &body,
                            const QByteArray &retryAfter, RdapAnswer::Kind kind, int seconds) {
            QTest::newRow(name) << status << body << retryAfter << int(kind) << seconds;
        };
        const QByteArray domain = json("{'objectClassName': 'domain', ");
        row("404", 404, json("{'errorCode': 404}"), {}, RdapAnswer::NotRegistered, -1);
        row("404 html", 404, "<html>gone</html>", {}, RdapAnswer::NotRegistered, -1);
        row("400", 400, {}, {}, RdapAnswer::InvalidName, -1);
        row("429 seconds", 429, {}, " 120 ", RdapAnswer::SlowDown, 120);
        row("429 IMF date", 429, {}, "Mon, 07 Dec 2026 12:02:00 GMT", RdapAnswer::SlowDown, 120);
        row("429 RFC 850 date", 429, {}, "Monday, 07-Dec-26 12:00:30 GMT", RdapAnswer::SlowDown,
            30);
        row("429 asctime date", 429, {}, "Mon Dec  7 12:01:00 2026", RdapAnswer::SlowDown, 60);
        row("429 past date", 429, {}, "Sun, 06 Dec 2026 12:00:00 GMT", RdapAnswer::SlowDown, 0);
        row("429 huge", 429, {}, "99999999999999999999999", RdapAnswer::SlowDown,
            std::numeric_limits<int>::max());
        row("429 unreadable", 429, {}, "soon", RdapAnswer::SlowDown, -1);
        row("429 bare", 429, {}, {}, RdapAnswer::SlowDown, -1);
        row("malformed", 200, domain + json("'status': ["), {}, RdapAnswer::Failed, -1);
        row("not an object", 200, "[]", {}, RdapAnswer::Failed, -1);
        row("an entity", 200, json("{'objectClassName': 'entity'}"), {}, RdapAnswer::Failed, -1);
        row("status a string", 200, domain + json("'status': 'active'}"), {}, RdapAnswer::Failed,
            -1);
        row("status a number", 200, domain + json("'status': [1]}"), {}, RdapAnswer::Failed, -1);
        row("events an object", 200, domain + json("'events': {}}"), {}, RdapAnswer::Failed, -1);
        row("bad expiration", 200,
            domain + json("'events': [{'eventAction': 'expiration', 'eventDate': "
                          "'2027-13-01T00:00:00Z'}]}"),
            {}, RdapAnswer::Failed, -1);
        row("date without offset", 200,
            domain + json("'events': [{'eventAction': 'registration', 'eventDate': "
                          "'2020-01-01T00:00:00'}]}"),
            {}, RdapAnswer::Failed, -1);
        row("503", 503, domain + "}", "5", RdapAnswer::Failed, -1);
    }
    void answerKinds()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, retryAfter);
        QFETCH(int, kind);
        QFETCH(int, seconds);
        const RdapAnswer answer = readAnswer(status, body, retryAfter, kNow);
        QCOMPARE(int(answer.kind), kind);
        QCOMPARE(answer.retryAfterSeconds.value_or(-1), seconds);
        QCOMPARE(answer.error.isEmpty(), kind != RdapAnswer::Failed);
    }

    void registeredAnswer()
    {
        const QByteArray body = json(
            "{'objectClassName': 'domain', 'ldhName': 'EXAMPLE.COM', 'status': "
            "[' Client Transfer Prohibited ', 'REDEMPTION PERIOD', 'pending delete', "
            "'redemption period'], 'events': ["
            "{'eventAction': 'registration', 'eventDate': '2010-03-15T04:00:00.5+08:00'}, "
            "{'eventAction': 'expiration', 'eventDate': '2026-03-15t04:00:00z'}, "
            "{'eventAction': 'last changed', 'eventDate': '2026-11-01T10:00:00Z'}, "
            "{'eventAction': 'last changed', 'eventDate': '2026-11-20T23:30:00Z'}, "
            "{'eventAction': 'transfer', 'eventDate': 'not a date'}, "
            "{'eventAction': 'last update of RDAP database', 'eventDate': '2026-12-07T11:59:00Z'}"
            "]}");
        const RdapAnswer answer = readAnswer(200, body, "30", kNow);
        QCOMPARE(answer.kind, RdapAnswer::Registered);
        QCOMPARE(answer.statuses, QStringList({u"client transfer prohibited"_s,
                                               u"redemption period"_s, u"pending delete"_s}));
        QCOMPARE(*answer.registration,
                 QDateTime(QDate(2010, 3, 14), QTime(20, 0, 0, 500), Qt::UTC));
        QCOMPARE(*answer.expiration, QDateTime(QDate(2026, 3, 15), QTime(4, 0), Qt::UTC));
        QCOMPARE(*answer.lastChanged, QDateTime(QDate(2026, 11, 20), QTime(23, 30), Qt::UTC));
        QCOMPARE(*answer.databaseUpdate, QDateTime(QDate(2026, 12, 7), QTime(11, 59), Qt::UTC));
        QVERIFY(!answer.retryAfterSeconds);
    }

    void dropEstimate_data()
    {
        QTest::addColumn<RdapAnswer>("answer");
        QTest::addColumn<int>("previous");
        QTest::addColumn<QString>("stage");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("realExpiry");
        const auto row = [](const char *name, const RdapAnswer &answer, Stage previous,
                            const char *stage, const QString &text, const char *expiry) {
            QTest::newRow(name) << answer << int(previous) << stage << text << expiry;
        };
        RdapAnswer gone;
        gone.kind = RdapAnswer::NotRegistered;
        RdapAnswer slow;
        slow.kind = RdapAnswer::SlowDown;
        row("active", registered({u"client transfer prohibited"_s}, {}, u"2027-05-01T00:00:00Z"_s),
            Stage::Unknown, "active", {}, "2027-05-01");
        // Shown a year ahead: expired 2026-11-20, deleted by 2027-01-04, dropped 35 days on.
        row("grace", registered({u"auto renew period"_s}, {}, u"2027-11-20T05:00:00Z"_s),
            Stage::Unknown, "grace", u"预计 2027-01-11 至 2027-02-08"_s, "2026-11-20");
        row("grace nearly over",
            registered({u"auto renew period"_s}, {}, u"2027-10-01T05:00:00Z"_s), Stage::Unknown,
            "grace", u"预计 2027-01-11"_s, "2026-10-01");
        row("grace without expiration", registered({u"auto renew period"_s}, {}, {}),
            Stage::Unknown, "grace", {}, "");
        row("redemption beside pending delete",
            registered({u"pending delete"_s, u"redemption period"_s},
                       u"2026-11-21T01:00:00+08:00"_s, u"2026-10-01T00:00:00Z"_s),
            Stage::Unknown, "redemption", u"预计 2026-12-25"_s, "2026-10-01");
        row("redemption without last changed", registered({u"redemption period"_s}, {}, {}),
            Stage::Unknown, "redemption", {}, "");
        row("pending delete", registered({u"pending delete"_s}, u"2026-12-05T08:00:00Z"_s, {}),
            Stage::Unknown, "pending delete", u"预计 2026-12-10"_s, "");
        row("gone after pending delete", gone, Stage::PendingDelete, "dropped", u"已删除"_s, "");
        row("gone after redemption", gone, Stage::Redemption, "dropped", u"已删除"_s, "");
        row("gone, never deleting", gone, Stage::Active, "unknown", {}, "");
        row("no answer", slow, Stage::PendingDelete, "unknown", {}, "");
    }
    void dropEstimate()
    {
        QFETCH(RdapAnswer, answer);
        QFETCH(int, previous);
        QFETCH(QString, stage);
        QFETCH(QString, text);
        QFETCH(QString, realExpiry);
        const DropEstimate::Estimate guess =
            DropEstimate::estimate(answer, kToday, Stage(previous));
        QCOMPARE(DropEstimate::stageName(guess.stage), stage);
        QCOMPARE(DropEstimate::estimateText(guess), text);
        const std::optional<QDate> expiry = DropEstimate::realExpiry(answer);
        QCOMPARE(expiry ? expiry->toString(Qt::ISODate) : QString(), realExpiry);
    }

    void age_data()
    {
        QTest::addColumn<QString>("registration");
        QTest::addColumn<QString>("text"); // empty: no age
        QTest::newRow("years and days") << "2010-03-15T04:00:00Z" << u"16年267天"_s;
        QTest::newRow("day before anniversary") << "2020-12-08T00:00:00Z" << u"5年364天"_s;
        QTest::newRow("on the anniversary") << "2020-12-07T23:59:59Z" << u"6年0天"_s;
        // The anniversary of 29 February falls on the 28th in other years.
        QTest::newRow("leap day") << "2024-02-29T00:00:00Z" << u"2年282天"_s;
        QTest::newRow("in the future") << "2027-01-01T00:00:00Z" << QString();
    }
    void age()
    {
        QFETCH(QString, registration);
        QFETCH(QString, text);
        RdapAnswer answer;
        answer.kind = RdapAnswer::Registered;
        answer.registration = readRdapDate(registration);
        const std::optional<DropEstimate::Age> age = DropEstimate::age(answer, kToday);
        QCOMPARE(age ? DropEstimate::ageText(*age) : QString(), text);
    }

    // Names of every stage, forced and drawn, asked through the bootstrap the simulator serves.
    void throughTheSimulator_data()
    {
        QTest::addColumn<QStringList>("names");
        const QStringList suffixes = SimContent::rdapSuffixes();
        const auto forced = [&](RdapStage stage) {
            QStringList names;
            for (int i = 0; i < 6; ++i)
                names << SimContent::rdapNameFor(stage, u"n%1"_s.arg(i), suffixes[i % 5]);
            return names;
        };
        QTest::newRow("active") << forced(RdapStage::Active);
        QTest::newRow("auto renew") << forced(RdapStage::AutoRenew);
        QTest::newRow("redemption") << forced(RdapStage::Redemption);
        QTest::newRow("pending delete") << forced(RdapStage::PendingDelete);
        QTest::newRow("not registered") << forced(RdapStage::NotRegistered);
        QTest::newRow("invalid name") << forced(RdapStage::InvalidName);
        QTest::newRow("slow down") << forced(RdapStage::SlowDown);
        QTest::newRow("malformed") << forced(RdapStage::Malformed);
        QStringList drawn;
        for (int i = 0; i < 200; ++i)
            drawn << u"Look%1."_s.arg(i) + suffixes[i % 5];
        QTest::newRow("drawn") << drawn;
    }
    void throughTheSimulator()
    {
        QFETCH(QStringList, names);
        const RdapBootstrap bootstrap = simulatorBootstrap(m_f);
        QCOMPARE(bootstrap.suffixes().size(), SimContent::rdapSuffixes().size());
        m_f.sim.clearLog();
        for (const QString &name : names) {
            checkAgainstSimulator(m_f, bootstrap, name);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(u"for "_s + name));
        }
        QCOMPARE(m_f.sim.requestCount(Route::Rdap), names.size());
    }

    // Both forms of Retry-After are sent, and the drawn names cover every stage.
    void simulatorCoversEveryCase()
    {
        QSet<bool> forms;
        for (int i = 0; i < 6; ++i)
            forms << SimContent::rdapInfo(
                         SimContent::rdapNameFor(RdapStage::SlowDown, u"n%1"_s.arg(i)), kToday)
                         .retryAfterIsDate;
        QCOMPARE(forms.size(), 2);
        QSet<RdapStage> stages;
        for (int i = 0; i < 200; ++i)
            stages << SimContent::rdapInfo(u"look%1.com"_s.arg(i), kToday).stage;
        stages << RdapStage::InvalidName; // drawn names are all valid
        QCOMPARE(stages.size(), 8);
    }

    void throttledRouteKeepsRetryAfter()
    {
        m_f.sim.setFault(Route::Rdap, Fault::throttled(429));
        const FetchResult page = await(
            m_f.fetcher.fetch(m_f.address(u"/rdap/com/domain/active-x.com"_s), Charset::Utf8));
        m_f.sim.clearFaults();
        const RdapAnswer answer = readAnswer(page.httpStatus, page.body, page.retryAfter, kNow);
        QCOMPARE(answer.kind, RdapAnswer::SlowDown);
        QCOMPARE(answer.retryAfterSeconds, 120);
    }
};

QTEST_GUILESS_MAIN(TestRdap)
#include "tst_rdap.moc"
