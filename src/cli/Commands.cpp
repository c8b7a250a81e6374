#include "Commands.h"

#include "session/Catalogue.h"
#include "session/Session.h"
#include "table/GridExport.h"
#include "table/ResultTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace Cli {

namespace {

// A subcommand's session goes from the event loop, never at the end of the subcommand itself:
// Ctrl+C's shutDown() aborts the requests, which resumes the subcommand, which may then end
// while shutDown() is still running. Parented to the application, so that it goes at exit even
// when no event loop turn is left to delete it.
struct DeleteLater {
    void operator()(QObject *object) const { object->deleteLater(); }
};
using SessionPtr = std::unique_ptr<Session, DeleteLater>;

SessionPtr makeSession(const StartOptions &options)
{
    return SessionPtr(new Session(options, QCoreApplication::instance()));
}

// The option value, or nullopt with a usage message when it is not one of `allowed`.
std::optional<QString> oneOf(Console &console, const QCommandLineParser &parser,
                             const QString &option, const QString &fallback,
                             const QStringList &allowed)
{
    const QString value = parser.isSet(option) ? parser.value(option) : fallback;
    if (allowed.contains(value))
        return value;
    console.err(QStringLiteral("--%1 takes %2, not \"%3\"").arg(option, allowed.join(u'|'), value));
    return std::nullopt;
}

// The metrics --metrics names, read once for every use: indexes in metric order, each once,
// names trimmed. All eight without the option; nullopt with a message for a name that is none.
std::optional<QList<int>> readMetrics(Console &console, const QCommandLineParser &parser)
{
    QStringList known;
    for (int k = 0; k <= Catalogue::kRdapMetric; ++k)
        known << Catalogue::metricName(k);
    const QStringList asked = parser.isSet(QStringLiteral("metrics"))
                                  ? parser.value(QStringLiteral("metrics")).split(u',')
                                  : known.mid(0, Catalogue::kMetricCount);
    QList<int> metrics;
    for (const QString &name : asked) {
        const int k = int(known.indexOf(name.trimmed()));
        if (k < 0) {
            console.err(QStringLiteral("unknown metric \"%1\" (known: %2)")
                            .arg(name.trimmed(), known.join(u',')));
            return std::nullopt;
        }
        if (!metrics.contains(k))
            metrics << k;
    }
    std::sort(metrics.begin(), metrics.end());
    return metrics;
}

// Progress on standard error: a bar with rate and time left on a terminal, plain lines otherwise.
// Nothing once the run is stopping.
class Progress {
public:
    Progress(const Console &console, qsizetype total)
        : m_console(console)
        , m_total(total)
        , m_terminal(isatty(fileno(stderr)))
    {
        m_clock.start();
    }
    void update(qsizetype done, bool force = false)
    {
        const qint64 ms = m_clock.elapsed();
        if (m_console.isStopping() || (!force && ms - m_lastMs < (m_terminal ? 200 : 2000)))
            return;
        m_lastMs = ms;
        const double rate = ms > 0 ? done * 1000.0 / ms : 0.0;
        const qint64 left = rate > 0 ? qint64((m_total - done) / rate) : -1;
        const QString eta = left < 0 ? QStringLiteral("--:--")
                                     : QStringLiteral("%1:%2").arg(left / 60).arg(left % 60, 2, 10,
                                                                                  QLatin1Char('0'));
        if (m_terminal) {
            constexpr int kWidth = 30;
            const int filled = m_total ? int(kWidth * done / m_total) : kWidth;
            std::fprintf(stderr, "\r[%s%s] %lld/%lld  %.1f/s  %s left ",
                         QByteArray(filled, '#').constData(),
                         QByteArray(kWidth - filled, '.').constData(), (long long)done,
                         (long long)m_total, rate, qPrintable(eta));
        } else {
            std::fprintf(stderr, "measured %lld/%lld names, %.1f/s, %s left\n", (long long)done,
                         (long long)m_total, rate, qPrintable(eta));
        }
        std::fflush(stderr);
    }
    void finish(qsizetype done)
    {
        update(done, true);
        if (m_terminal && !m_console.isStopping())
            std::fputc('\n', stderr);
    }

private:
    const Console &m_console;
    qsizetype m_total;
    bool m_terminal;
    QElapsedTimer m_clock;
    qint64 m_lastMs = -1'000'000;
};

} // namespace

namespace {

const QStringList &categoryNames()
{
    static const QStringList names = {QStringLiteral("3"),       QStringLiteral("4"),
                                      QStringLiteral("5"),       QStringLiteral("6"),
                                      QStringLiteral("7"),       QStringLiteral("8+"),
                                      QStringLiteral("numeric"), QStringLiteral("all")};
    return names;
}

// A day's lists (daily, cn): the day loader files them into the ten suffix lists, of which
// --suffix picks one.
QCoro::Task<int> dayLists(Context &context, Session &session, bool cn)
{
    Console &console = context.console;
    const QCommandLineParser &parser = context.parser;
    const std::optional<QString> day =
        oneOf(console, parser, QStringLiteral("day"), QStringLiteral("0"),
              {QStringLiteral("-2"), QStringLiteral("-1"), QStringLiteral("0"), QStringLiteral("1"),
               QStringLiteral("2")});
    QStringList suffixes;
    for (int i = 0; i < Catalogue::kSuffixCount; ++i)
        suffixes << Catalogue::suffixName(i);
    const std::optional<QString> suffix =
        oneOf(console, parser, QStringLiteral("suffix"),
              cn ? QStringLiteral("cn") : QStringLiteral("com"), suffixes);
    const std::optional<QString> category =
        oneOf(console, parser, QStringLiteral("category"), QStringLiteral("all"), categoryNames());
    const std::optional<QString> sort =
        oneOf(console, parser, QStringLiteral("sort"), QStringLiteral("none"),
              {QStringLiteral("none"), QStringLiteral("length")});
    if (!day || !suffix || !category || !sort)
        co_return kBadUsage;

    bool failed = false;
    QObject::connect(&session, &Session::downloadFailed,
                     [&](const QString &address, const QString &why) {
                         console.err(QStringLiteral("download failed: %1 (%2)").arg(address, why));
                         failed = true;
                     });
    QObject::connect(&session, &Session::linesSkipped, [&](qsizetype count) {
        console.err(QStringLiteral("skipped %1 lines that are not names").arg(count));
    });
    co_await session.loadDay(Catalogue::kToday + day->toInt());
    // A list cut short is no list: nothing is written.
    if (console.isStopping())
        co_return console.exitCode();

    const int index = int(suffixes.indexOf(*suffix));
    const QStringList names =
        session.list(index, *sort == u"length", int(categoryNames().indexOf(*category)));
    const bool times = parser.isSet(QStringLiteral("times"));
    QByteArray text;
    for (const QString &name : names)
        text += name.toUtf8() + (times ? "\t-\n" : "\n");
    if (!console.out(text))
        co_return console.exitCode();
    co_return failed ? kIncomplete : kDone;
}

// Any other list, as its registry publishes it: the names in list order.
QCoro::Task<int> registryList(Context &context, Session &session, Session::SourceRow source)
{
    Console &console = context.console;
    const QCommandLineParser &parser = context.parser;
    const std::optional<QString> category =
        oneOf(console, parser, QStringLiteral("category"), QStringLiteral("all"), categoryNames());
    std::optional<int> daysAhead;
    bool usable = category.has_value();
    if (parser.isSet(QStringLiteral("day"))) {
        bool isNumber = false;
        daysAhead = parser.value(QStringLiteral("day")).toInt(&isNumber);
        if (!isNumber || !source.timed) {
            console.err(isNumber
                            ? QStringLiteral("--day: the list %1 gives no times").arg(source.id)
                            : QStringLiteral("--day takes a number of days, not \"%1\"")
                                  .arg(parser.value(QStringLiteral("day"))));
            usable = false;
        }
    }
    for (const QString &option : {QStringLiteral("suffix"), QStringLiteral("sort")}) {
        if (parser.isSet(option)) {
            console.err(QStringLiteral("--%1 goes with the lists daily and cn").arg(option));
            usable = false;
        }
    }
    if (!usable)
        co_return kBadUsage;

    const ListDownload::Outcome outcome = co_await session.downloadList(source.id);
    if (console.isStopping())
        co_return console.exitCode();
    if (!outcome.message.isEmpty())
        console.err(QStringLiteral("%1: %2").arg(outcome.address, outcome.message));
    if (outcome.list.skipped + outcome.list.duplicates > 0)
        console.err(QStringLiteral("skipped %1 lines that are not names and %2 duplicates")
                        .arg(outcome.list.skipped)
                        .arg(outcome.list.duplicates));

    const QList<DropList::Entry> entries = session.pickEntries(
        outcome.list.entries, daysAhead, int(categoryNames().indexOf(*category)));
    const bool times = parser.isSet(QStringLiteral("times"));
    QByteArray text;
    if (parser.isSet(QStringLiteral("ics"))) {
        text = session.listCalendar(source.id, entries);
    } else {
        for (const DropList::Entry &entry : entries) {
            text += entry.name.toUtf8();
            if (times)
                text +=
                    '\t' + (entry.dropUtc ? entry.dropUtc->toUTC().toString(Qt::ISODate).toUtf8()
                                          : QByteArray("-"));
            text += '\n';
        }
    }
    if (!console.out(text))
        co_return console.exitCode();
    // A stale copy is printed, but the download failed all the same.
    co_return outcome.from == ListDownload::Outcome::From::Download ||
            outcome.from == ListDownload::Outcome::From::Cache
        ? kDone
        : kIncomplete;
}

} // namespace

QCoro::Task<int> lists(Context context)
{
    Console &console = context.console;
    const SessionPtr owned = makeSession(context.options);
    Session &session = *owned;
    QObject::connect(&console, &Console::stopRequested, &session, &Session::shutDown);
    const QString id = context.parser.isSet(QStringLiteral("source"))
                           ? context.parser.value(QStringLiteral("source"))
                           : QStringLiteral("daily");
    const QList<Session::SourceRow> sources = session.listSources();
    const auto source = std::find_if(sources.cbegin(), sources.cend(),
                                     [&id](const Session::SourceRow &row) { return row.id == id; });
    if (source == sources.cend() || !context.arguments.isEmpty()) {
        QStringList ids;
        for (const Session::SourceRow &row : sources)
            ids << row.id;
        console.err(!context.arguments.isEmpty()
                        ? QStringLiteral("lists takes no names")
                        : QStringLiteral("--source takes %1, not \"%2\"").arg(ids.join(u'|'), id));
        co_return kBadUsage;
    }
    if (context.parser.isSet(QStringLiteral("ics")) && !source->timed) {
        console.err(QStringLiteral("--ics: the list %1 gives no times").arg(source->id));
        co_return kBadUsage;
    }
    if (source->filedByDay) {
        const int code = co_await dayLists(context, session, source->id == u"cn");
        co_return code;
    }
    const int code = co_await registryList(context, session, *source);
    co_return code;
}

QCoro::Task<int> sources(Context context)
{
    Console &console = context.console;
    if (!context.arguments.isEmpty()) {
        console.err(QStringLiteral("sources takes no arguments"));
        co_return kBadUsage;
    }
    const SessionPtr owned = makeSession(context.options);
    Session &session = *owned;
    QByteArray text;
    const auto write = [&text](const char *kind, const QList<Session::SourceRow> &rows) {
        for (const Session::SourceRow &row : rows)
            text += QStringList{QLatin1String(kind), row.id, row.endpoint, row.address,
                                row.fromUserFile ? QStringLiteral("user file")
                                                 : QStringLiteral("built-in")}
                        .join(u'\t')
                        .toUtf8() +
                    '\n';
    };
    write("probe", session.probeRecipes());
    write("list", session.listSources());
    if (!console.out(text))
        co_return console.exitCode();
    co_return kDone;
}

QCoro::Task<int> measure(Context context)
{
    Console &console = context.console;
    const std::optional<QList<int>> metrics = readMetrics(console, context.parser);
    if (!metrics)
        co_return kBadUsage;
    const bool withRdap = metrics->contains(Catalogue::kRdapMetric);
    if (context.arguments.size() > 1) {
        console.err(QStringLiteral("measure reads one file of names, or - for standard input"));
        co_return kBadUsage;
    }

    const QString path = context.arguments.value(0, QStringLiteral("-"));
    QFile file(path);
    if (path != u"-" && !file.open(QIODevice::ReadOnly)) {
        console.err(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        co_return kBadUsage;
    }
    QString why;
    const std::optional<QByteArray> bytes =
        co_await console.readAll(path == u"-" ? STDIN_FILENO : file.handle(), &why);
    if (!bytes) {
        console.err(QStringLiteral("cannot read %1: %2").arg(path, why));
        co_return kBadUsage;
    }
    // Ctrl+C while reading: the lines read to their end are still names to write.
    const Session::Names read = Session::readNames(*bytes, console.isStopping());
    if (read.names.isEmpty() && !console.isStopping()) {
        console.err(QStringLiteral("未找到域名：跳过 %1 行").arg(read.skipped));
        co_return kIncomplete;
    }
    if (read.skipped + read.duplicates > 0)
        console.err(QStringLiteral("skipped %1 lines that are not names and %2 duplicates")
                        .arg(read.skipped)
                        .arg(read.duplicates));

    const SessionPtr owned = makeSession(context.options);
    Session &session = *owned;
    session.importNames(read.names);
    const ResultTable &grid = *session.grid();
    for (int k = 0; k <= Catalogue::kRdapMetric; ++k)
        session.setTicked(k, metrics->contains(k));
    // What the window's tooltip would say: part of a record did not read.
    QObject::connect(&session, &Session::rdapWarnings, [&](RowId row, const QStringList &warnings) {
        for (const QString &warning : warnings)
            console.err(grid.cellOf(row, kDomainColumn) + QStringLiteral(": ") + warning);
    });
    // The ten columns' cells but the row label; the RDAP metric adds three columns (the
    // statuses, the real expiry and the drop estimate), the archive and other-suffix metrics
    // theirs after those.
    QList<int> tenColumns;
    for (int column = kDomainColumn; column < kColumnCount; ++column)
        tenColumns << column;
    QList<int> laterColumns;
    for (int k = Catalogue::kMetricCount; k < Catalogue::kMetricBoxCount; ++k) {
        if (metrics->contains(k))
            laterColumns += Catalogue::metricColumns(k);
    }
    const auto rowCells = [&](int row) {
        QStringList cells = GridExport::rows(grid, {row}, tenColumns).value(0);
        if (withRdap)
            cells += session.rdapCells(grid.rowId(row));
        return cells + GridExport::rows(grid, {row}, laterColumns).value(0);
    };
    QStringList header = GridExport::header();
    if (withRdap)
        header << QStringLiteral("状态") << QStringLiteral("到期时间")
               << QStringLiteral("预计删除");
    header += GridExport::header(laterColumns);
    QObject::connect(&session, &Session::runNotice,
                     [&](const QString &notice) { console.err(notice); });

    // Rows go out in input order, each as soon as it and every row before it is complete.
    if (!console.out(GridExport::csv(header, {}, false)))
        co_return console.exitCode();
    QSet<RowId> complete;
    qsizetype written = 0;
    Progress progress(console, grid.rowCount());
    const auto writeReady = [&](bool all) {
        QList<QStringList> rows;
        for (; written < grid.rowCount() && (all || complete.contains(grid.rowId(int(written))));
             ++written)
            rows << rowCells(int(written));
        if (!rows.isEmpty())
            console.out(GridExport::csv({}, rows, false));
        progress.update(written);
    };
    QObject::connect(&session, &Session::rowFinished, [&](RowId row) {
        complete.insert(row);
        if (!console.isStopping())
            writeReady(false);
    });
    // A stop ends the run at once. The rows not yet written keep the cells they have now; the
    // requests cut off would only fill theirs with failures.
    QList<QStringList> unwritten;
    const auto keepUnwritten = [&] {
        for (qsizetype r = written; r < grid.rowCount(); ++r)
            unwritten << rowCells(int(r));
    };
    QObject::connect(&console, &Console::stopRequested, &session, [&] {
        keepUnwritten();
        session.shutDown();
    });

    if (console.isStopping()) // Ctrl+C came while reading
        keepUnwritten();
    else
        co_await session.startRun();
    if (console.isStopping()) {
        // Every name is still written after Ctrl+C, unfinished cells empty.
        if (console.exitCode() == kInterrupted)
            console.out(GridExport::csv({}, unwritten, false));
        co_return console.exitCode();
    }
    writeReady(true);
    progress.finish(written);
    if (console.isStopping())
        co_return console.exitCode();

    co_return session.measuredAll(*metrics) ? kDone : kIncomplete;
}

QCoro::Task<int> lookup(Context context)
{
    Console &console = context.console;
    if (context.arguments.size() != 1) {
        console.err(QStringLiteral("lookup takes one name"));
        co_return kBadUsage;
    }
    const SessionPtr owned = makeSession(context.options);
    Session &session = *owned;
    bool failed = false;
    QObject::connect(&session, &Session::lookupFailed, [&](const QString &why) {
        console.err(why);
        failed = true;
    });
    QObject::connect(&session, &Session::lookupNotice,
                     [&](const QString &notice) { console.err(notice); });
    QObject::connect(&console, &Console::stopRequested, &session, &Session::shutDown);
    const Session::LookupReport report = co_await session.lookUp(context.arguments.first(), true);
    if (!report.refusal.isEmpty()) {
        console.err(report.refusal);
        co_return kBadUsage;
    }
    if (console.isStopping() && console.exitCode() != kInterrupted)
        co_return console.exitCode();

    QByteArray text;
    const auto line = [&](const QString &caption, const QString &value) {
        text += (caption + QStringLiteral(": ") + value + u'\n').toUtf8();
    };
    for (int f = 0; f < Catalogue::kLookupFieldCount; ++f)
        line(Catalogue::lookupFieldCaption(f), report.values.value(f));
    for (const auto &[caption, value] : report.registry)
        line(caption, value);
    for (const QString &warning : report.registryWarnings)
        console.err(report.name + QStringLiteral(": ") + warning);
    if (!report.registryError.isEmpty()) {
        console.err(report.registryError);
        failed = true;
    }
    if (!console.out(text) || console.isStopping())
        co_return console.exitCode();
    co_return failed ? kIncomplete : kDone;
}

QCoro::Task<int> rdapBootstrap(Context context)
{
    Console &console = context.console;
    if (!context.parser.isSet(QStringLiteral("update")) || !context.arguments.isEmpty()) {
        console.err(QStringLiteral("rdap-bootstrap takes --update"));
        co_return kBadUsage;
    }
    const SessionPtr owned = makeSession(context.options);
    Session &session = *owned;
    QObject::connect(&console, &Console::stopRequested, &session, &Session::shutDown);
    const Session::BootstrapUpdate update = co_await session.updateRdapBootstrap();
    if (console.isStopping())
        co_return console.exitCode();
    for (const QString &line : update.lines)
        console.err(line);
    co_return update.stored ? kDone : kIncomplete;
}

} // namespace Cli
