// The two programs' command lines, run as separate processes against a simulator in this one.
#include "Fixture.h"
#include "Reference.h"
#include "SimFeeds.h"
#include "probes/QueryRun.h"
#include "session/Catalogue.h"
#include "sources/SourceLists.h"
#include "table/GridExport.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A program run with folders of its own (no settings, no session) while this event loop runs.
struct Child {
    QTemporaryDir home;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QByteArray m_out, m_err;

    QByteArray &out() { return m_out += process.readAllStandardOutput(); }
    QByteArray &err() { return m_err += process.readAllStandardError(); }
    QString file(const QString &name, const QByteArray &bytes)
    {
        QFile f(home.filePath(name));
        if (QDir().mkpath(QFileInfo(f).path()) && f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return f.fileName();
    }
    // Null `input`: standard input is left as set up before.
    void start(const QString &program, const QStringList &arguments, const QByteArray &input = "")
    {
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        for (const QString &folder : {u"config"_s, u"data"_s, u"cache"_s})
            env.insert(u"XDG_%1_HOME"_s.arg(folder.toUpper()), home.filePath(folder));
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        if (!input.isNull()) {
            process.write(input);
            process.closeWriteChannel();
        }
    }
    // An event loop of its own, not the test's polling one, so that the simulator in this
    // process answers as fast as the program asks.
    int finish()
    {
        QSignalSpy ended(&process, &QProcess::finished);
        return process.state() == QProcess::NotRunning || ended.wait(120000) ? process.exitCode()
                                                                             : -1;
    }
};

// How a run is made to end early.
enum Stop { FullDisk, ClosedPipe, CtrlCWhileReading, CtrlCWhileWaiting };

} // namespace

class TestCli : public QObject {
    Q_OBJECT

    SimFixture m_f;

    // Starts varnel-cli with every site, every registry included, at the simulator, and a
    // back-off of one second. `command` is split as a shell would ("--metrics \"a, b\"").
    void runCli(Child &child, const QString &command, const QByteArray &input = "")
    {
        child.file(u"config/Varnel/rdap-dns.json"_s,
                   SimContent::rdapBootstrap(m_f.sim.hostPort(), QDateTime::currentDateTimeUtc()));
        child.file(u"config/Varnel/varnel.conf"_s, "[backoff]\ntries=2\nfirst_s=1\nmax_s=1\n");
        const QString endpoints = child.file(u"e.txt"_s, m_f.endpoints().toFileText().toUtf8());
        child.start(QStringLiteral(VARNEL_CLI_BINARY),
                    QProcess::splitCommand(command) << u"--endpoints"_s << endpoints, input);
    }

    // The CSV the window exports for these names, measured for `metrics`, without its mark; the
    // archive and other-suffix metrics' columns after the ten.
    static QByteArray windowCsv(const QStringList &names, const QList<int> &metrics)
    {
        QStringList header = GridExport::header();
        for (int k : metrics) {
            if (k >= Probes::kMetricCount)
                header += GridExport::header(Catalogue::metricColumns(k));
        }
        QList<QStringList> rows;
        for (const QString &name : names) {
            rows << QStringList{name} + QStringList(kColumnCount - 2);
            for (int k : metrics) {
                if (k < Probes::kMetricCount)
                    rows.last()[*Probes::metric(k).column - 1] = expectedCell(k, name);
                else
                    rows.last() << expectedCell(k, name);
                if (Probes::metric(k).secondColumn)
                    rows.last() << expectedCell(k, name, true);
            }
        }
        return GridExport::csv(header, rows, false);
    }

private Q_SLOTS:
    void init() { m_f.reset(); }

    // Yesterday's .com.cn names as the reference files them, by length; options may come before
    // the subcommand.
    void lists()
    {
        Child child;
        runCli(child, u"--day -1 lists --suffix com.cn --sort length"_s);
        QCOMPARE(child.finish(), 0);
        Sources::SourceLists want;
        Reference::fileText(
            PageFetcher::decodeBody(SimContent::cnDeletionList(u"2todayDel"_s), Charset::Gb2312),
            true, want);
        Reference::sortByLengthLiteral(want[Sources::ComCn]);
        QCOMPARE(QString::fromUtf8(child.out()).split(u'\n', Qt::SkipEmptyParts),
                 want[Sources::ComCn]);
    }

    // A registry's list as the simulator publishes it today: with its drop minutes in UTC, or
    // "-" where it gives none; one UTC day's names; one category by the first label.
    void registryLists_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("file");
        QTest::addColumn<int>("day"); // -1: every day
        QTest::newRow("uk, times") << u"--times"_s << int(SimFeeds::File::UkCsvGz) << -1;
        QTest::newRow("uk, tomorrow") << u"--day 1 --times"_s << int(SimFeeds::File::UkCsvGz) << 1;
        QTest::newRow("se, today") << u"--day 0"_s << int(SimFeeds::File::SeJson) << 0;
        QTest::newRow("pl, no times") << u"--times"_s << int(SimFeeds::File::PlText) << -1;
        QTest::newRow("uk, tomorrow's calendar")
            << u"--day 1 --ics"_s << int(SimFeeds::File::UkCsvGz) << 1;
    }
    void registryLists()
    {
        QFETCH(QString, arguments);
        QFETCH(int, file);
        QFETCH(int, day);
        const QString id = QStringList{u"uk"_s, u"se"_s, u"se"_s, u"nu"_s, u"nu"_s, u"pl"_s}[file];
        const QDate today = QDateTime::currentDateTimeUtc().date();
        Child child;
        const bool ics = arguments.contains(u"--ics");
        runCli(child, u"lists --source %1 %2"_s.arg(id, arguments));
        QCOMPARE(child.finish(), 0);
        QStringList want;
        for (const SimFeeds::Listed &l : SimFeeds::listed(SimFeeds::File(file), today)) {
            if ((day >= 0 && l.dropUtc.date() != today.addDays(day)) ||
                (ics && !l.dropUtc.isValid()))
                continue;
            want << l.name;
            if (arguments.contains(u"--times"))
                want.last() +=
                    u'\t' + (l.dropUtc.isValid() ? l.dropUtc.toString(Qt::ISODate) : u"-"_s);
        }
        QVERIFY(!want.isEmpty());
        if (ics) {
            QVERIFY(child.out().startsWith("BEGIN:VCALENDAR\r\n"));
            QCOMPARE(child.out().count("BEGIN:VEVENT"), want.size());
            QVERIFY(child.out().contains((u"SUMMARY:"_s + want[0] + u" 删除"_s).toUtf8()));
        } else {
            QCOMPARE(QString::fromUtf8(child.out()).split(u'\n', Qt::SkipEmptyParts), want);
        }
    }

    // Every recipe and list with its endpoint and origin; a user's entry that does not read
    // warns and leaves the built-in row.
    void sourcesTable()
    {
        Child child;
        child.file(u"config/Varnel/sources.json"_s,
                   R"({"lists": {"uk": {"endpoint": "droplist_uk", "path": "/uk.txt",
                       "format": "lines"}, "se": {"endpoint": "nowhere", "path": "/x",
                       "format": "lines"}}})");
        runCli(child, u"sources"_s);
        QCOMPARE(child.finish(), 0);
        QCOMPARE(child.err(), "varnel-cli: sources.json: list \"se\": unknown endpoint "
                              "\"nowhere\"; the built-in row stays\n");
        const QStringList lines = QString::fromUtf8(child.out()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 14);
        const QString at = u"http://"_s + m_f.sim.hostPort();
        QCOMPARE(lines[0], u"probe\tbaidu\tbaidu\t%1/s?wd=site%3A{name}\tbuilt-in"_s.arg(at));
        QCOMPARE(lines[7], u"probe\ttlds\tdoh\t%1/resolve?name={name}&type=NS\tbuilt-in"_s.arg(at));
        QCOMPARE(lines[12], u"list\tse\tdroplist_se\t%1/bardate_domains.json\tbuilt-in"_s.arg(at));
        QCOMPARE(lines[13], u"list\tuk\tdroplist_uk\t%1/uk.txt\tuser file"_s.arg(at));
    }

    // Names as the file import reads them, written as the window exports them, with progress,
    // over more names than the grid holds at once; a site that gives up on refusals is not asked
    // again for the later names; input without names writes nothing.
    void measureWritesTheWindowsCsv()
    {
        QStringList names = {u"a.com"_s, u"b.com"_s, u"c.net"_s};
        QByteArray input = "a.com\r\nHTTP://www.B.com/x\r\na.com\r\n<junk>\r\nc.net\r\n";
        for (int i = 0; i < 1200; ++i) {
            names << u"n%1.com"_s.arg(i);
            input += names.last().toLatin1() + (i == 1100 ? "\na.com\n" : "\n");
        }
        Child child;
        runCli(child, u"measure --metrics google,zhuce,pr -"_s, input);
        QCOMPARE(child.finish(), 0);
        QCOMPARE(child.out(), windowCsv(names, {2, 6, 7}));
        QVERIFY2(child.err().contains("skipped 1 lines that are not names and 2 duplicates") &&
                     child.err().contains("measured 1203/1203 names"),
                 child.err().constData());

        m_f.sim.clearLog();
        m_f.sim.setFault(Route::Google, Fault::throttled(429));
        runCli(child, u"measure --metrics google -"_s, input);
        QCOMPARE(child.finish(), 1);
        QCOMPARE(m_f.sim.requestCount(Route::Google), 2 * QueryRun::kRefusedRowsToGiveUp);

        child.out().clear();
        child.err().clear();
        runCli(child, u"measure"_s, "<junk>\n\n");
        QCOMPARE(child.finish(), 1);
        QCOMPARE(child.out(), QByteArray());
        QCOMPARE(child.err(), "varnel-cli: 未找到域名：跳过 1 行\n");

        child.out().clear();
        const QStringList apiNames{u"archived-a.com"_s, u"noarchive-b.net"_s, u"broken-c.org"_s};
        runCli(child, u"measure --metrics tlds,archive,zhuce -"_s, apiNames.join(u'\n').toUtf8());
        QCOMPARE(child.finish(), 1); // broken-c.org's archive answer is cut off
        QCOMPARE(child.out(),
                 windowCsv(apiNames, {7, Probes::kArchiveMetric, Probes::kOtherSuffixMetric}));
    }

    // Every failed or refused cell counts, RDAP's included; --metrics is read once, trimmed;
    // bad usage, an unknown metric or a name that is no host name, asks nothing and writes
    // nothing.
    void exitCodes_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<Route>("route");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("code");
        QTest::newRow("a failed list") << "lists" << Route::All << Fault::refuse() << 1;
        QTest::newRow("blanks in the metrics") << "measure --metrics \"baidu, google\""
                                               << Route::Google << Fault::errorStatus(500) << 1;
        QTest::newRow("rdap after a blank")
            << "measure --metrics \"baidu, rdap\"" << Route::Rdap << Fault::errorStatus(500) << 1;
        QTest::newRow("a refused RDAP cell")
            << "measure --metrics rdap" << Route::Rdap << Fault::throttled(429) << 1;
        QTest::newRow("unknown metric")
            << "measure --metrics \"baidu, bing\"" << Route::All << Fault::none() << 2;
        QTest::newRow("no subcommand") << "--day 1" << Route::All << Fault::none() << 2;
        QTest::newRow("a failed registry list")
            << "lists --source uk" << Route::DropListUk << Fault::refuse() << 1;
        QTest::newRow("unknown list") << "lists --source xx" << Route::All << Fault::none() << 2;
        QTest::newRow("a day of a list without times")
            << "lists --source pl --day 0" << Route::All << Fault::none() << 2;
        QTest::newRow("a calendar of a list without times")
            << "lists --source pl --ics" << Route::All << Fault::none() << 2;
        QTest::newRow("lookup without a name") << "lookup" << Route::All << Fault::none() << 2;
        QTest::newRow("lookup of a path")
            << "lookup x/../../../admin/ok.test" << Route::All << Fault::none() << 2;
    }
    void exitCodes()
    {
        QFETCH(QString, arguments);
        QFETCH(Route, route);
        QFETCH(Fault, fault);
        QFETCH(int, code);
        m_f.sim.setFault(route, fault);
        Child child;
        runCli(child, arguments, "a.com"); // a last line without a line break is a name too
        QCOMPARE(child.finish(), code);
        QCOMPARE(m_f.sim.requestCount() == 0, code == 2);
        if (code == 2)
            QCOMPARE(child.out(), QByteArray());
    }

    // Output that cannot be written ends a run (1); a reader that goes away ends it at once and
    // quietly (141); Ctrl+C ends it (130) while names are still being read or a server never
    // answers, and writes what is complete as valid CSV.
    void stopsAtOnce_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("stop");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("out");
        const QString measure = u"measure --metrics google"_s;
        const QByteArray header = windowCsv({}, {});
        QTest::newRow("measure into a full disk") << measure << int(FullDisk) << 1 << QByteArray();
        QTest::newRow("lists into a full disk") << u"lists"_s << int(FullDisk) << 1 << QByteArray();
        QTest::newRow("measure into a closed pipe") << measure << int(ClosedPipe) << 141 << header;
        QTest::newRow("Ctrl+C while reading")
            << measure << int(CtrlCWhileReading) << 130 << windowCsv({u"a.com"_s}, {2});
        QTest::newRow("Ctrl+C while a request hangs")
            << measure << int(CtrlCWhileWaiting) << 130
            << windowCsv({u"a.com"_s}, {2}) + "b.com,,,,,,,,\r\nc.com,,,,,,,,\r\n";
        QTest::newRow("Ctrl+C while a list hangs")
            << u"lists"_s << int(CtrlCWhileWaiting) << 130 << QByteArray();
    }
    void stopsAtOnce()
    {
        QFETCH(QString, command);
        QFETCH(int, stop);
        QFETCH(int, code);
        QFETCH(QByteArray, out);
        Child child;
        QProcess reader; // "| head -n1": takes the header, then goes away
        int fifo = -1;   // a writer that never closes
        QByteArray input = "a.com\nb.com\nc.com\n";
        if (stop == FullDisk)
            child.process.setStandardOutputFile(u"/dev/full"_s);
        if (stop == ClosedPipe) {
            child.process.setStandardOutputProcess(&reader);
            reader.start(u"head"_s, {u"-n1"_s});
            m_f.sim.hold(Route::Google);
        }
        if (stop == CtrlCWhileReading) {
            const QByteArray path = child.home.filePath(u"names"_s).toLocal8Bit();
            QCOMPARE(::mkfifo(path.constData(), 0600), 0);
            fifo = ::open(path.constData(), O_RDWR);
            QCOMPARE(::write(fifo, "a.com\nb.co", 10), 10); // the last line not yet whole
            child.process.setStandardInputFile(QString::fromLocal8Bit(path));
            input = QByteArray();
        }
        // The sites stop answering at b.com, a list's at once.
        const QString hangAt = command == u"lists" ? u"/"_s : u"b.com"_s;
        QObject hangs;
        if (stop == CtrlCWhileWaiting)
            connect(&m_f.sim, &SiteSimulator::requestReceived, &hangs,
                    [&](Route, const QString &target) {
                        if (target.contains(hangAt))
                            m_f.sim.setFault(Route::All, Fault::hang());
                    });
        runCli(child, command, input);

        if (stop == ClosedPipe) {
            QTRY_COMPARE_WITH_TIMEOUT(reader.state(), QProcess::NotRunning, 20000);
            m_f.sim.release(Route::Google);
        }
        int unread = -1;
        if (stop == CtrlCWhileReading) // the whole lines are measured before the input ends
            QTRY_VERIFY_WITH_TIMEOUT(
                ::ioctl(fifo, FIONREAD, &unread) == 0 && unread == 0 && child.out() == out, 20000);
        if (stop == CtrlCWhileWaiting)
            QTRY_VERIFY_WITH_TIMEOUT(m_f.sim.requestTargets(Route::All).join(u' ').contains(hangAt),
                                     20000);
        if (code == 130)
            ::kill(pid_t(child.process.processId()), SIGINT);
        QCOMPARE(child.finish(), code);
        if (fifo >= 0)
            ::close(fifo);
        QCOMPARE(stop == ClosedPipe ? reader.readAllStandardOutput() : child.out(), out);
        if (code != 130) // a closed pipe is quiet; a full disk says why
            QCOMPARE(child.err(), code == 1 ? "varnel-cli: cannot write output: " +
                                                  QByteArray(std::strerror(ENOSPC)) + '\n'
                                            : QByteArray());
        if (stop == ClosedPipe) // the row the reader never took was the last one asked
            QCOMPARE(m_f.sim.requestCount(Route::Google), 1);
    }

    // The usage text names the RDAP columns in Chinese, whatever the locale.
    void helpShowsTheColumns_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::newRow("UTF-8") << u"C.UTF-8"_s;
        QTest::newRow("C") << u"C"_s;
    }
    void helpShowsTheColumns()
    {
        QFETCH(QString, lang);
        Child child;
        child.env.insert(u"LANG"_s, lang);
        child.env.remove(u"LC_ALL"_s);
        child.env.remove(u"LC_CTYPE"_s);
        child.start(QStringLiteral(VARNEL_CLI_BINARY), {u"--help"_s});
        QCOMPARE(child.finish(), 0);
        QVERIFY2(child.out().contains(u"rdap adds the columns 状态, 到期时间, 预计删除"_s.toUtf8()),
                 child.out().constData());
    }

    // Lookup adds the registry's stage and estimate, and its dates where the deletion page
    // fails; the rdap metric adds its columns; a bad download of the RDAP bootstrap leaves the
    // last good copy in place.
    void lookupAndRdap()
    {
        const QString redeem = SimContent::rdapNameFor(SimContent::RdapStage::Redemption, u"r"_s);
        const QString free = SimContent::rdapNameFor(SimContent::RdapStage::NotRegistered, u"f"_s);
        m_f.sim.setFault(Route::DeletionTool, Fault::errorStatus(503));
        Child child;
        runCli(child, u"lookup "_s + redeem.toUpper());
        QCOMPARE(child.finish(), 0);
        const QStringList lines = QString::fromUtf8(child.out()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 8);
        const QString icp = SimContent::icpNumber(redeem);
        QCOMPARE(lines[1], u"是否备案: "_s + (icp.isEmpty() ? u"无备案"_s : icp));
        const QDateTime registered =
            SimContent::rdapInfo(redeem, QDate::currentDate()).registration;
        QCOMPARE(lines[2], u"注册时间: "_s + registered.date().toString(Qt::ISODate));
        QCOMPARE(lines[6], u"阶段: redemption"_s);
        QVERIFY2(lines[7].startsWith(u"预计删除: 预计 "_s), qPrintable(lines[7]));

        child.out().clear();
        runCli(child, u"measure --metrics rdap"_s, (free + u"\nabc.cn\n"_s).toUtf8());
        QCOMPARE(child.finish(), 0);
        const QStringList rows = QString::fromUtf8(child.out()).split(u"\r\n"_s);
        QVERIFY(rows[0].endsWith(u",是否注册,状态,到期时间,预计删除"_s));
        QCOMPARE(rows[1], free + u",,,,,,,,,未注册,,"_s);
        QCOMPARE(rows[2], u"abc.cn,,,,,,,,,无RDAP服务,,"_s);

        // An answer with a date no reader takes (Nomulus) still stands, and the date is named.
        m_f.sim.setFault(Route::Rdap,
                         Fault::body("{\"objectClassName\": \"domain\", \"events\": "
                                     "[{\"eventAction\": \"expiration\", \"eventDate\": "
                                     "\"294247-01-10T04:00:54.775Z\"}]}"));
        runCli(child, u"lookup "_s + redeem);
        QCOMPARE(child.finish(), 0);
        QVERIFY(child.err().contains(": RDAP event \"expiration\" has no valid date; left out"));

        // The TLDs served after an update: the download's, the built-in table's and the user's.
        const QByteArray good = "{\"services\": [[[\"xyz\", \"co.uk\", \"com\"], [\"http://" +
                                m_f.sim.hostPort().toUtf8() + "/rdap/com/\"]]]}";
        m_f.sim.setFault(Route::RdapBootstrap, Fault::body(good));
        runCli(child, u"rdap-bootstrap --update"_s);
        QCOMPARE(child.finish(), 0);
        QVERIFY2(child.err().contains(": 6 TLDs\n"), child.err());
        QFile cached(child.home.filePath(u"data/Varnel/rdap-dns.json"_s));
        m_f.sim.setFault(Route::RdapBootstrap, Fault::body("{\"services\": 5}"));
        runCli(child, u"rdap-bootstrap --update"_s);
        QCOMPARE(child.finish(), 1);
        QVERIFY(cached.open(QIODevice::ReadOnly));
        QCOMPARE(cached.readAll(), good);
    }

    // A lookup asks a registry that refuses again after the wait it names, as a run does, and
    // says so; a demo's registries name short waits, so that a demo run is over in seconds.
    void refusedLookupWaitsAndSaysSo()
    {
        const QString slow = SimContent::rdapNameFor(SimContent::RdapStage::SlowDown, u"d"_s);
        // Its registry would otherwise name a longer wait.
        QVERIFY(SimContent::rdapInfo(slow, QDate::currentDate()).retryAfterSeconds > 3);
        Child child;
        child.file(u"config/Varnel/varnel.conf"_s, "[backoff]\ntries=2\n");
        child.start(QStringLiteral(VARNEL_CLI_BINARY), {u"--demo"_s, u"lookup"_s, slow});
        QCOMPARE(child.finish(), 1);
        QVERIFY(child.out().endsWith("状态: 查询受限\n"));
        static const QRegularExpression said(
            u"^varnel-cli: RDAP：查询受限，([0-9]+) 秒后重试\nvarnel-cli: RDAP：查询受限\n$"_s);
        const QRegularExpressionMatch waited = said.match(QString::fromUtf8(child.err()));
        QVERIFY2(waited.hasMatch() && waited.captured(1).toInt() <= 3, child.err().constData());
    }

    // A start option that does not read (here the endpoints file) ends either program with 2.
    void badStartOptionIsRefused()
    {
        for (const char *program : {VARNEL_BINARY, VARNEL_CLI_BINARY}) {
            Child child;
            const QString file = child.file(u"e.txt"_s, "bing = b.test\n");
            child.start(QString::fromUtf8(program),
                        {u"lookup"_s, u"a.com"_s, u"--endpoints"_s, file});
            QCOMPARE(child.finish(), 2);
            QVERIFY2(child.err().contains("line 1"), child.err().constData());
        }
    }

    // A bad setting is reported on standard error and the window still starts.
    void demoStartsDespiteBadSettings()
    {
        Child child;
        child.file(u"config/Varnel/varnel.conf"_s, "[pacing]\nbaidu = abc\n");
        child.start(QStringLiteral(VARNEL_BINARY), {u"--demo"_s});
        QTRY_VERIFY_WITH_TIMEOUT(
            child.out().startsWith("demo: every site is simulated at 127.0.0.1:"), 20000);
        QTRY_VERIFY(child.err().contains("varnel: 设置 [pacing] baidu 的值 \"abc\" 无效"));
        QCOMPARE(child.process.state(), QProcess::Running);
        child.process.kill();
        child.finish();
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
