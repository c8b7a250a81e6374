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
#include "text/Failure.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <QCoroSignal>

#include <atomic>
#include <cstdio>
#include <unistd.h>

namespace Cli {

namespace {

std::atomic<bool> g_interrupted = false;

void err(const QString &text)
{
    std::fprintf(stderr, "varnel-cli: %s\n", qPrintable(text));
}

void out(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

// The option value, or nullopt with a usage message when it is not one of `allowed`.
std::optional<QString> oneOf(const QCommandLineParser &parser, const QString &option,
                             const QString &fallback, const QStringList &allowed)
{
    const QString value = parser.isSet(option) ? parser.value(option) : fallback;
    if (allowed.contains(value))
        return value;
    err(QStringLiteral("--%1 takes %2, not \"%3\"").arg(option, allowed.join(u'|'), value));
    return std::nullopt;
}

// Progress on standard error: a bar with rate and time left on a terminal, plain lines otherwise.
class Progress {
public:
    explicit Progress(qsizetype total)
        : m_total(total)
        , m_terminal(isatty(fileno(stderr)))
    {
        m_clock.start();
    }
    void update(qsizetype done, bool force = false)
    {
        const qint64 ms = m_clock.elapsed();
        if (!force && ms - m_lastMs < (m_terminal ? 200 : 2000))
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
        if (m_terminal)
            std::fputc('\n', stderr);
    }

private:
    qsizetype m_total;
    bool m_terminal;
    QElapsedTimer m_clock;
    qint64 m_lastMs = -1'000'000;
};

} // namespace

void requestInterrupt()
{
    g_interrupted = true;
}

QCoro::Task<int> lists(Context context)
{
    const QCommandLineParser &parser = context.parser;
    const std::optional<QString> day =
        oneOf(parser, QStringLiteral("day"), QStringLiteral("0"),
              {QStringLiteral("-2"), QStringLiteral("-1"), QStringLiteral("0"), QStringLiteral("1"),
               QStringLiteral("2")});
    QStringList suffixes;
    for (int i = 0; i < Sources::kSourceCount; ++i)
        suffixes << Sources::suffix(i).caption.toString();
    const std::optional<QString> suffix =
        oneOf(parser, QStringLiteral("suffix"), QStringLiteral("com"), suffixes);
    const QStringList categories = {QStringLiteral("3"),       QStringLiteral("4"),
                                    QStringLiteral("5"),       QStringLiteral("6"),
                                    QStringLiteral("7"),       QStringLiteral("8+"),
                                    QStringLiteral("numeric"), QStringLiteral("all")};
    const std::optional<QString> category =
        oneOf(parser, QStringLiteral("category"), QStringLiteral("all"), categories);
    const std::optional<QString> sort =
        oneOf(parser, QStringLiteral("sort"), QStringLiteral("none"),
              {QStringLiteral("none"), QStringLiteral("length")});
    if (!day || !suffix || !category || !sort || !context.arguments.isEmpty()) {
        if (!context.arguments.isEmpty())
            err(QStringLiteral("lists takes no names"));
        co_return kBadUsage;
    }

    PageFetcher fetcher;
    context.options.applyTo(fetcher);
    const QDate today = Clock::today();
    DeletionLists deletionLists(&fetcher, today);
    deletionLists.setEndpoints(context.options.endpoints);
    bool failed = false;
    QObject::connect(&deletionLists, &DeletionLists::downloadFailed,
                     [&](const QString &address, const QString &why) {
                         err(QStringLiteral("download failed: %1 (%2)").arg(address, why));
                         failed = true;
                     });
    QObject::connect(&deletionLists, &DeletionLists::linesSkipped, [](qsizetype count) {
        err(QStringLiteral("skipped %1 lines that are not names").arg(count));
    });
    co_await deletionLists.loadDay(DeletionLists::kToday + day->toInt(), today);

    const int index = int(suffixes.indexOf(*suffix));
    QStringList names = deletionLists.list(index);
    if (*sort == u"length")
        Sources::sortByLength(names);
    if (*category != u"all")
        names = Sources::lengthBreakdown(names, index)[std::size_t(categories.indexOf(*category))];
    QByteArray text;
    for (const QString &name : names)
        text += name.toUtf8() + '\n';
    out(text);
    co_return failed ? kIncomplete : kDone;
}

QCoro::Task<int> measure(Context context)
{
    // The metrics by their probes' names, all of them by default.
    QStringList known;
    for (int k = 0; k <= Probes::kRdapMetric; ++k)
        known << Probes::metric(k).probe;
    const QStringList asked = context.parser.isSet(QStringLiteral("metrics"))
                                  ? context.parser.value(QStringLiteral("metrics")).split(u',')
                                  : known.mid(0, Probes::kMetricCount);
    const bool withRdap = asked.contains(Probes::metric(Probes::kRdapMetric).probe);
    for (const QString &metric : asked) {
        if (!known.contains(metric.trimmed())) {
            err(QStringLiteral("unknown metric \"%1\" (known: %2)").arg(metric, known.join(u',')));
            co_return kBadUsage;
        }
    }
    if (context.arguments.size() > 1) {
        err(QStringLiteral("measure reads one file of names, or - for standard input"));
        co_return kBadUsage;
    }

    const QString path = context.arguments.value(0, QStringLiteral("-"));
    QFile file;
    const bool opened = path == u"-" ? file.open(stdin, QIODevice::ReadOnly)
                                     : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        err(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        co_return kBadUsage;
    }
    const NameImport::Result read = NameImport::readNames(NameImport::decodeFile(file.readAll()));
    if (read.skipped + read.duplicates > 0)
        err(QStringLiteral("skipped %1 lines that are not names and %2 duplicates")
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
        run.setTicked(k, asked.contains(known[k]));
    // The RDAP metric's three columns: the statuses, the real expiry and the drop estimate.
    QHash<RowId, QStringList> rdapCells;
    QObject::connect(&run, &QueryRun::rdapRead, [&](RowId row, const RdapResult &r) {
        const std::optional<QDate> expiry = DropEstimate::realExpiry(r.answer);
        const QString status = !r.served ? QStringLiteral("无RDAP服务")
                               : r.answer.kind == RdapAnswer::Registered ? r.statusText()
                               : r.answer.kind == RdapAnswer::NotRegistered
                                   ? QStringLiteral("未注册")
                                   : r.registrationCell();
        rdapCells.insert(row, {status, expiry ? expiry->toString(Qt::ISODate) : QString(),
                               DropEstimate::estimateText(r.estimate)});
        // What the window's tooltip would say: part of the answer did not read.
        for (const QString &warning : r.answer.warnings)
            err(grid.cellOf(row, kDomainColumn) + QStringLiteral(": ") + warning);
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
    QObject::connect(&run, &QueryRun::notice, [](const QString &text) { err(text); });

    // Rows go out in input order, each as soon as it and every row before it is complete.
    out(GridExport::csv(header, {}, false));
    QSet<RowId> complete;
    qsizetype written = 0;
    Progress progress(grid.rowCount());
    const auto writeReady = [&](bool all) {
        QList<QStringList> rows;
        for (; written < grid.rowCount() && (all || complete.contains(grid.rowId(int(written))));
             ++written)
            rows << rowCells(int(written));
        if (!rows.isEmpty())
            out(GridExport::csv({}, rows, false));
        progress.update(written);
    };
    QObject::connect(&run, &QueryRun::rowFinished, [&](RowId row) {
        complete.insert(row);
        writeReady(false);
    });
    // Ctrl+C stops the run after the requests in flight; the rows still go out, unfinished
    // cells empty.
    QTimer interruptWatch;
    QObject::connect(&interruptWatch, &QTimer::timeout, [&] {
        if (g_interrupted && run.caption() == QueryRun::kStopCaption)
            run.startOrStop();
    });
    interruptWatch.start(50);

    if (!read.names.isEmpty())
        co_await run.startOrStop();
    writeReady(true);
    progress.finish(written);

    if (g_interrupted)
        co_return kInterrupted;
    for (int r = 0; r < grid.rowCount(); ++r) {
        for (int k = 0; k < Probes::kMetricCount; ++k) {
            const QString cell = grid.cell(r, Probes::metric(k).column);
            if (run.isTicked(k) &&
                (cell == kQueryFailed || cell == kQueryRefused || cell == kBlankCell))
                co_return kIncomplete;
        }
        if (withRdap && !rdapCells.contains(grid.rowId(r)))
            co_return kIncomplete;
    }
    co_return kDone;
}

QCoro::Task<int> lookup(Context context)
{
    if (context.arguments.size() != 1) {
        err(QStringLiteral("lookup takes one name"));
        co_return kBadUsage;
    }
    PageFetcher fetcher;
    context.options.applyTo(fetcher);
    DetailLookup lookup(&fetcher);
    lookup.setEndpoints(context.options.endpoints);
    std::array<QString, DetailLookup::kFieldCount> values;
    values.fill(DetailLookup::kReset);
    QObject::connect(
        &lookup, &DetailLookup::valueChanged,
        [&](DetailLookup::Field field, const QString &text) { values[std::size_t(field)] = text; });
    bool failed = false;
    QObject::connect(&lookup, &DetailLookup::fetchFailed, [&](const QString &why) {
        err(why);
        failed = true;
    });
    const QString name = context.arguments.first();
    co_await lookup.lookUp(name);
    QByteArray text;
    const auto line = [&](const QString &caption, const QString &value) {
        text += (caption + QStringLiteral(": ") + value + u'\n').toUtf8();
    };
    for (int f = 0; f < DetailLookup::kFieldCount; ++f)
        line(DetailLookup::fieldCaption(DetailLookup::Field(f)), values[std::size_t(f)]);
    // What the registry itself says, where it has an RDAP server.
    RdapClient rdap(&fetcher, context.options.rdapBootstrap);
    if (rdap.serves(name)) {
        const std::optional<RdapResult> r = co_await rdap.query(name);
        if (r && (r->answer.kind == RdapAnswer::Registered ||
                  r->answer.kind == RdapAnswer::NotRegistered)) {
            line(QStringLiteral("状态"), r->answer.kind == RdapAnswer::NotRegistered
                                             ? QStringLiteral("未注册")
                                             : r->answer.statuses.join(QStringLiteral(", ")));
            line(QStringLiteral("阶段"), DropEstimate::stageName(r->estimate.stage));
            line(QStringLiteral("预计删除"), DropEstimate::estimateText(r->estimate));
            for (const QString &warning : r->answer.warnings)
                err(name + QStringLiteral(": ") + warning);
        } else {
            err(QStringLiteral("RDAP: %1").arg(r ? r->answer.error : QStringLiteral("no answer")));
            failed = true;
        }
    }
    out(text);
    co_return failed ? kIncomplete : kDone;
}

QCoro::Task<int> rdapBootstrap(Context context)
{
    if (!context.parser.isSet(QStringLiteral("update")) || !context.arguments.isEmpty()) {
        err(QStringLiteral("rdap-bootstrap takes --update"));
        co_return kBadUsage;
    }
    PageFetcher fetcher;
    context.options.applyTo(fetcher);
    // Over HTTPS: the file decides where every later RDAP query goes.
    const QString address = secureSiteAddress(context.options.endpoints.iana, u"/rdap/dns.json");
    const FetchResult page = co_await fetcher.fetch(address, Charset::Utf8);
    QString why = page.error;
    const QString path = RdapBootstrap::cachedFilePath();
    const std::optional<RdapBootstrap> stored =
        page.gotPage() ? RdapBootstrap::storeDownload(page.body, path, &why) : std::nullopt;
    if (!stored) {
        // The last good copy stays where it is.
        err(QStringLiteral("%1: %2; keeping the last good copy").arg(address, why));
        co_return kIncomplete;
    }
    for (const QString &warning : stored->warnings())
        err(QStringLiteral("%1: %2").arg(address, warning));
    // What the next start will serve: the download, the built-in table's other suffixes and the
    // user's own file.
    qsizetype tlds = 0;
    for (const QString &suffix :
         RdapBootstrap::load(RdapBootstrap::userFilePath(), path).suffixes())
        tlds += !suffix.contains(u'.');
    err(QStringLiteral("saved %1: %2 TLDs").arg(path).arg(tlds));
    co_return kDone;
}

} // namespace Cli
