#include "Commands.h"

#include "fetch/PageFetcher.h"
#include "fetch/SiteAddress.h"
#include "lookup/DetailLookup.h"
#include "probes/QueryRun.h"
#include "rdap/RdapClient.h"
#include "sources/CategoryImport.h"
#include "sources/DeletionLists.h"
#include "sources/LengthBreakdown.h"
#include "sources/ListSorts.h"
#include "sources/NameImport.h"
#include "table/GridExport.h"
#include "table/ResultTable.h"
#include "text/Clock.h"
#include "text/HostName.h"
#include "text/Words.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace Cli {

namespace {

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
    for (int k = 0; k <= Probes::kRdapMetric; ++k)
        known << Probes::metric(k).probe;
    const QStringList asked = parser.isSet(QStringLiteral("metrics"))
                                  ? parser.value(QStringLiteral("metrics")).split(u',')
                                  : known.mid(0, Probes::kMetricCount);
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

QCoro::Task<int> lists(Context context)
{
    Console &console = context.console;
    const QCommandLineParser &parser = context.parser;
    const std::optional<QString> day =
        oneOf(console, parser, QStringLiteral("day"), QStringLiteral("0"),
              {QStringLiteral("-2"), QStringLiteral("-1"), QStringLiteral("0"), QStringLiteral("1"),
               QStringLiteral("2")});
    QStringList suffixes;
    for (int i = 0; i < Sources::kSourceCount; ++i)
        suffixes << Sources::suffix(i).caption.toString();
    const std::optional<QString> suffix =
        oneOf(console, parser, QStringLiteral("suffix"), QStringLiteral("com"), suffixes);
    const QStringList categories = {QStringLiteral("3"),       QStringLiteral("4"),
                                    QStringLiteral("5"),       QStringLiteral("6"),
                                    QStringLiteral("7"),       QStringLiteral("8+"),
                                    QStringLiteral("numeric"), QStringLiteral("all")};
    const std::optional<QString> category =
        oneOf(console, parser, QStringLiteral("category"), QStringLiteral("all"), categories);
    const std::optional<QString> sort =
        oneOf(console, parser, QStringLiteral("sort"), QStringLiteral("none"),
              {QStringLiteral("none"), QStringLiteral("length")});
    if (!day || !suffix || !category || !sort || !context.arguments.isEmpty()) {
        if (!context.arguments.isEmpty())
            console.err(QStringLiteral("lists takes no names"));
        co_return kBadUsage;
    }

    PageFetcher fetcher;
    context.options.applyTo(fetcher);
    QObject::connect(&console, &Console::stopRequested, &fetcher, &PageFetcher::shutDown);
    const QDate today = Clock::today();
    DeletionLists deletionLists(&fetcher, today);
    deletionLists.setEndpoints(context.options.endpoints);
    bool failed = false;
    QObject::connect(&deletionLists, &DeletionLists::downloadFailed,
                     [&](const QString &address, const QString &why) {
                         console.err(QStringLiteral("download failed: %1 (%2)").arg(address, why));
                         failed = true;
                     });
    QObject::connect(&deletionLists, &DeletionLists::linesSkipped, [&](qsizetype count) {
        console.err(QStringLiteral("skipped %1 lines that are not names").arg(count));
    });
    co_await deletionLists.loadDay(DeletionLists::kToday + day->toInt(), today);
    // A list cut short is no list: nothing is written.
    if (console.isStopping())
        co_return console.exitCode();

    const int index = int(suffixes.indexOf(*suffix));
    QStringList names = deletionLists.list(index);
    if (*sort == u"length")
        Sources::sortByLength(names);
    if (*category != u"all")
        names = Sources::lengthBreakdown(names, index)[std::size_t(categories.indexOf(*category))];
    QByteArray text;
    for (const QString &name : names)
        text += name.toUtf8() + '\n';
    if (!console.out(text))
        co_return console.exitCode();
    co_return failed ? kIncomplete : kDone;
}

QCoro::Task<int> measure(Context context)
{
    Console &console = context.console;
    const std::optional<QList<int>> metrics = readMetrics(console, context.parser);
    if (!metrics)
        co_return kBadUsage;
    const bool withRdap = metrics->contains(Probes::kRdapMetric);
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
    QString text = NameImport::decodeFile(*bytes);
    // Ctrl+C while reading: the lines read to their end are still names to write.
    if (console.isStopping())
        text.truncate(text.lastIndexOf(u'\n') + 1);
    const NameImport::Result read = NameImport::readNames(text);
    if (read.names.isEmpty() && !console.isStopping()) {
        console.err(QStringLiteral("未找到域名：跳过 %1 行").arg(read.skipped));
        co_return kIncomplete;
    }
    if (read.skipped + read.duplicates > 0)
        console.err(QStringLiteral("skipped %1 lines that are not names and %2 duplicates")
                        .arg(read.skipped)
                        .arg(read.duplicates));

    PageFetcher fetcher;
    context.options.applyTo(fetcher);
    ResultTable grid;
    Sources::importCategory(grid, read.names);
    QueryRun run(&grid, &fetcher);
    run.setEndpoints(context.options.endpoints);
    context.options.applyTo(run, context.options.endpoints);
    RdapClient rdap(&fetcher, context.options.rdapBootstrap);
    run.setRdap(&rdap, context.options.settings.registrationFromRdap);
    for (int k = 0; k <= Probes::kRdapMetric; ++k)
        run.setTicked(k, metrics->contains(k));
    // The RDAP metric's three columns: the statuses, the real expiry and the drop estimate.
    QHash<RowId, QStringList> rdapCells;
    QHash<RowId, CellState> rdapStates;
    QObject::connect(&run, &QueryRun::rdapRead, [&](RowId row, const RdapResult &r) {
        const std::optional<QDate> expiry = DropEstimate::realExpiry(r.answer);
        const QString status = !r.served                                    ? kNoRdapService
                               : r.answer.kind == RdapAnswer::Registered    ? r.statusText()
                               : r.answer.kind == RdapAnswer::NotRegistered ? kNotRegistered
                                                                            : r.registrationCell();
        rdapStates.insert(row, r.served ? r.registrationState() : CellState::Value);
        rdapCells.insert(row, {status, expiry ? expiry->toString(Qt::ISODate) : QString(),
                               DropEstimate::estimateText(r.estimate)});
        // What the window's tooltip would say: part of the answer did not read.
        for (const QString &warning : r.answer.warnings)
            console.err(grid.cellOf(row, kDomainColumn) + QStringLiteral(": ") + warning);
    });
    const auto rowCells = [&](int row) {
        QStringList cells = GridExport::rows(grid, {row}).value(0);
        if (withRdap)
            cells += rdapCells.value(grid.rowId(row), QStringList(3));
        return cells;
    };
    QStringList header = GridExport::header();
    if (withRdap)
        header << QStringLiteral("状态") << QStringLiteral("到期时间")
               << QStringLiteral("预计删除");
    QObject::connect(&run, &QueryRun::notice, [&](const QString &notice) { console.err(notice); });

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
    QObject::connect(&run, &QueryRun::rowFinished, [&](RowId row) {
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
    QObject::connect(&console, &Console::stopRequested, &run, [&] {
        keepUnwritten();
        run.abandon(); // first, so that no queue moves on to the next request
        fetcher.shutDown();
    });

    if (console.isStopping()) // Ctrl+C came while reading
        keepUnwritten();
    else
        co_await run.startOrStop();
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

    // Every asked cell holds a value, or the run is incomplete.
    for (int r = 0; r < grid.rowCount(); ++r) {
        for (int k : *metrics) {
            const std::optional<ProbeColumn> column = Probes::metric(k).column;
            const CellState state = column ? grid.cellState(r, *column)
                                           : rdapStates.value(grid.rowId(r), CellState::Blank);
            if (state != CellState::Value)
                co_return kIncomplete;
        }
    }
    co_return kDone;
}

QCoro::Task<int> lookup(Context context)
{
    Console &console = context.console;
    if (context.arguments.size() != 1) {
        console.err(QStringLiteral("lookup takes one name"));
        co_return kBadUsage;
    }
    const QString typed = context.arguments.first();
    const std::optional<QString> name = asciiHostName(typed);
    if (!name) {
        console.err(DetailLookup::invalidInputMessage(typed));
        co_return kBadUsage;
    }

    // The window's lookup, wired as the window wires it.
    PageFetcher fetcher;
    context.options.applyTo(fetcher);
    RdapClient rdap(&fetcher, context.options.rdapBootstrap);
    DetailLookup lookup(&fetcher);
    lookup.setEndpoints(context.options.endpoints);
    lookup.setRdap(&rdap);
    lookup.setBackoff(context.options.settings.backoff);
    std::array<QString, DetailLookup::kFieldCount> values;
    values.fill(DetailLookup::kReset);
    QObject::connect(
        &lookup, &DetailLookup::valueChanged,
        [&](DetailLookup::Field field, const QString &text) { values[std::size_t(field)] = text; });
    bool failed = false;
    QObject::connect(&lookup, &DetailLookup::fetchFailed, [&](const QString &why) {
        console.err(why);
        failed = true;
    });
    QObject::connect(&lookup, &DetailLookup::notice,
                     [&](const QString &notice) { console.err(notice); });
    std::optional<RdapResult> record;
    QObject::connect(&lookup, &DetailLookup::rdapRead,
                     [&](const RdapResult &result) { record = result; });
    QObject::connect(&console, &Console::stopRequested, &lookup, [&] {
        lookup.abandon();
        fetcher.shutDown();
    });

    co_await lookup.lookUp(*name);
    // What the registry itself says, where it has an RDAP server; the lookup has asked already
    // when the deletion page failed.
    if (!record && !console.isStopping() && rdap.serves(*name))
        co_await lookup.queryRdap(*name);
    if (console.isStopping() && console.exitCode() != kInterrupted)
        co_return console.exitCode();

    QByteArray text;
    const auto line = [&](const QString &caption, const QString &value) {
        text += (caption + QStringLiteral(": ") + value + u'\n').toUtf8();
    };
    for (int f = 0; f < DetailLookup::kFieldCount; ++f)
        line(DetailLookup::fieldCaption(DetailLookup::Field(f)), values[std::size_t(f)]);
    if (record && (record->answer.kind == RdapAnswer::Registered ||
                   record->answer.kind == RdapAnswer::NotRegistered)) {
        line(QStringLiteral("状态"), record->answer.kind == RdapAnswer::NotRegistered
                                         ? kNotRegistered
                                         : record->answer.statuses.join(QStringLiteral(", ")));
        line(QStringLiteral("阶段"), DropEstimate::stageName(record->estimate.stage));
        line(QStringLiteral("预计删除"), DropEstimate::estimateText(record->estimate));
        for (const QString &warning : record->answer.warnings)
            console.err(*name + QStringLiteral(": ") + warning);
    } else if (record) {
        line(QStringLiteral("状态"), record->registrationCell());
        console.err(QStringLiteral("RDAP：") + record->registrationCell() +
                    (record->answer.error.isEmpty()
                         ? QString()
                         : QStringLiteral("（%1）").arg(record->answer.error)));
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
    PageFetcher fetcher;
    context.options.applyTo(fetcher);
    QObject::connect(&console, &Console::stopRequested, &fetcher, &PageFetcher::shutDown);
    // Over HTTPS: the file decides where every later RDAP query goes.
    const QString address = secureSiteAddress(context.options.endpoints.iana, u"/rdap/dns.json");
    const FetchResult page = co_await fetcher.fetch(address, Charset::Utf8);
    if (console.isStopping())
        co_return console.exitCode();
    QString why = page.error;
    const QString path = RdapBootstrap::cachedFilePath();
    const std::optional<RdapBootstrap> stored =
        page.gotPage() ? RdapBootstrap::storeDownload(page.body, path, &why) : std::nullopt;
    if (!stored) {
        // The last good copy stays where it is.
        console.err(QStringLiteral("%1: %2; keeping the last good copy").arg(address, why));
        co_return kIncomplete;
    }
    for (const QString &warning : stored->warnings())
        console.err(QStringLiteral("%1: %2").arg(address, warning));
    // What the next start will serve: the download, the built-in table's other suffixes and the
    // user's own file.
    qsizetype tlds = 0;
    for (const QString &suffix :
         RdapBootstrap::load(RdapBootstrap::userFilePath(), path).suffixes())
        tlds += !suffix.contains(u'.');
    console.err(QStringLiteral("saved %1: %2 TLDs").arg(path).arg(tlds));
    co_return kDone;
}

} // namespace Cli
