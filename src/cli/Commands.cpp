#include "Commands.h"

#include "cli/NameReader.h"
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
// The total is -1 while a pipe is still being read: then the count alone. Nothing once the run
// is stopping.
class Progress {
public:
    explicit Progress(const Console &console)
        : m_console(console)
        , m_terminal(isatty(fileno(stderr)))
    {
        m_clock.start();
    }
    void update(qsizetype done, qsizetype total, bool force = false)
    {
        const qint64 ms = m_clock.elapsed();
        if (m_console.isStopping() || (!force && ms - m_lastMs < (m_terminal ? 200 : 2000)))
            return;
        m_lastMs = ms;
        const double rate = ms > 0 ? done * 1000.0 / ms : 0.0;
        const qint64 left = rate > 0 && total >= 0 ? qint64((total - done) / rate) : -1;
        const QString eta = left < 0 ? QStringLiteral("--:--")
                                     : QStringLiteral("%1:%2").arg(left / 60).arg(left % 60, 2, 10,
                                                                                  QLatin1Char('0'));
        const QByteArray count = total < 0
                                     ? QByteArray::number(done)
                                     : QByteArray::number(done) + '/' + QByteArray::number(total);
        if (m_terminal) {
            constexpr int kWidth = 30;
            const int filled = total > 0 ? int(kWidth * done / total) : total < 0 ? 0 : kWidth;
            std::fprintf(stderr, "\r[%s%s] %s  %.1f/s  %s left ",
                         QByteArray(filled, '#').constData(),
                         QByteArray(kWidth - filled, '.').constData(), count.constData(), rate,
                         qPrintable(eta));
        } else {
            std::fprintf(stderr, "measured %s names, %.1f/s, %s left\n", count.constData(), rate,
                         qPrintable(eta));
        }
        std::fflush(stderr);
    }
    void finish(qsizetype done)
    {
        update(done, done, true);
        if (m_terminal && !m_console.isStopping())
            std::fputc('\n', stderr);
    }

private:
    const Console &m_console;
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
    // The grid holds one batch of rows at a time, and the reader about as many names ahead of
    // it: memory stays the same however long the input.
    constexpr qsizetype kBatchRows = 1000;
    NameReader reader(path == u"-" ? STDIN_FILENO : file.handle(), kBatchRows);

    const SessionPtr owned = makeSession(context.options);
    Session &session = *owned;
    const ResultTable &grid = *session.grid();
    for (int k = 0; k <= Catalogue::kRdapMetric; ++k)
        session.setTicked(k, metrics->contains(k));
    // What the window's tooltip would say: part of a record did not read. This connection and
    // the others to the session, which outlives this subcommand, go with the reader.
    QObject::connect(
        &session, &Session::rdapWarnings, &reader, [&](RowId row, const QStringList &warnings) {
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
    QObject::connect(&session, &Session::runNotice, &reader,
                     [&](const QString &notice) { console.err(notice); });

    // Rows go out in input order, each as soon as it and every row before it is complete.
    bool headerWritten = false;
    const auto writeHeader = [&] {
        if (!headerWritten)
            console.out(GridExport::csv(header, {}, false));
        headerWritten = true;
    };
    bool batchInGrid = false;
    bool measuredAll = true;
    QSet<RowId> complete;
    qsizetype written = 0; // of the batch in the grid
    qsizetype writtenBefore = 0;
    Progress progress(console);
    const auto writeReady = [&](bool all) {
        QList<QStringList> rows;
        for (; written < grid.rowCount() && (all || complete.contains(grid.rowId(int(written))));
             ++written) {
            rows << rowCells(int(written));
            for (int k : *metrics)
                measuredAll =
                    measuredAll && session.metricState(int(written), k) == CellState::Value;
        }
        if (!rows.isEmpty())
            console.out(GridExport::csv({}, rows, false));
        progress.update(writtenBefore + written, reader.expectedNames());
    };
    QObject::connect(&session, &Session::rowFinished, &reader, [&](RowId row) {
        complete.insert(row);
        if (!console.isStopping())
            writeReady(false);
    });
    // A stop ends the run at once. The rows not yet written keep the cells they have now; the
    // requests cut off would only fill theirs with failures. The names read but not yet in the
    // grid follow with empty cells. The session's shutdown may end this subcommand before it
    // returns, so it comes last, in a connection that takes nothing from here.
    QList<QStringList> unwritten;
    QObject::connect(&console, &Console::stopRequested, &reader, [&] {
        for (qsizetype r = written; batchInGrid && r < grid.rowCount(); ++r)
            unwritten << rowCells(int(r));
        for (const QString &name : reader.take(reader.namesRead())) {
            unwritten << QStringList(header.size());
            unwritten.last()[0] = name;
        }
        reader.stop();
    });
    QObject::connect(&console, &Console::stopRequested, &session, &Session::shutDown);

    for (;;) {
        co_await reader.wait();
        const QStringList batch = reader.take(kBatchRows);
        if (console.isStopping() || batch.isEmpty())
            break;
        writeHeader();
        if (console.isStopping())
            co_return console.exitCode();
        session.importNames(batch);
        batchInGrid = true;
        written = 0;
        complete.clear();
        co_await session.startRun();
        if (console.isStopping())
            break;
        writeReady(true);
        writtenBefore += written;
        if (console.isStopping())
            co_return console.exitCode();
        // A site's queue that gave up on refusals left the last row blank: later batches do
        // not ask it again, as one run over every name would not.
        for (int k : *metrics) {
            if (session.metricState(grid.rowCount() - 1, k) == CellState::Blank)
                session.setTicked(k, false);
        }
    }
    if (console.isStopping()) {
        // Every name read to the end of its line is still written after Ctrl+C, unfinished
        // cells empty.
        if (console.exitCode() == kInterrupted) {
            writeHeader();
            console.out(GridExport::csv({}, unwritten, false));
        }
        co_return console.exitCode();
    }
    if (!reader.errorString().isEmpty()) {
        console.err(QStringLiteral("cannot read %1: %2").arg(path, reader.errorString()));
        co_return kBadUsage;
    }
    if (!headerWritten) {
        console.err(QStringLiteral("未找到域名：跳过 %1 行").arg(reader.skipped()));
        co_return kIncomplete;
    }
    progress.finish(writtenBefore);
    if (reader.skipped() + reader.duplicates() > 0)
        console.err(QStringLiteral("skipped %1 lines that are not names and %2 duplicates")
                        .arg(reader.skipped())
                        .arg(reader.duplicates()));
    co_return measuredAll ? kDone : kIncomplete;
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
