// Times one delete-rows decision pass per criterion over a result grid of synthetic rows.
// Usage: bench_filter [rows] [repeats]   (defaults: 1000000 rows, 5 repeats)

#include "table/ResultTable.h"
#include "table/RowFilter.h"
#include "text/Numbers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <random>
#include <vector>

namespace {

// Rows as a run fills them: every filled cell its own text.
QList<RowCells> makeRows(std::size_t rows)
{
    std::mt19937_64 rng(20240601);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const QLocale grouped(QLocale::English, QLocale::UnitedStates); // "1,230,000"
    const QString unfilled = QStringLiteral(" ");
    const QString failed = QStringLiteral("查询失败");

    const auto count = [&]() -> QString {
        const double p = unit(rng);
        if (p < 0.2)
            return unfilled;
        if (p < 0.3)
            return failed;
        // Counts spread over eight decades, mostly printed with separators.
        const auto n = qlonglong(std::pow(10.0, unit(rng) * 8.0)) - 1;
        return unit(rng) < 0.8 ? grouped.toString(n) : QString::number(n);
    };

    QList<RowCells> out;
    out.reserve(qsizetype(rows));
    for (std::size_t r = 0; r < rows; ++r) {
        RowCells &row = out.emplace_back();
        std::vector<QString> cells;
        cells.push_back(unfilled);
        const bool hyphen = unit(rng) < 0.15;
        cells.push_back(QStringLiteral("name%1%2.com")
                            .arg(qulonglong(r))
                            .arg(hyphen ? QStringLiteral("-x") : QString()));
        for (int c = BaiduSite; c <= YahooLinksBare; ++c)
            cells.push_back(count());
        const double p = unit(rng);
        cells.push_back(p < 0.2   ? unfilled
                        : p < 0.3 ? failed
                                  : QString::number(int(unit(rng) * 11)) + u'\n');
        const double q = unit(rng);
        cells.push_back(q < 0.3   ? unfilled
                        : q < 0.6 ? QStringLiteral("可注册")
                                  : QStringLiteral("已被注册"));
        std::copy(cells.begin(), cells.end(), row.begin());
        const bool archived = unit(rng) < 0.8;
        row[ArchiveFirstYear] =
            archived ? QString::number(1996 + int(unit(rng) * 30)) : QStringLiteral("无存档");
        row[ArchiveYears] = QString::number(archived ? int(unit(rng) * 30) : 0);
        row[OtherSuffixes] = QStringLiteral("%1/8").arg(int(unit(rng) * 9));
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const std::size_t rows = args.size() > 1 ? args.at(1).toULongLong() : 1'000'000;
    const int repeats = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 5;

    QElapsedTimer build;
    build.start();
    ResultTable table;
    table.appendRows(makeRows(rows));
    std::printf("rows: %zu, built in %lld ms, %d repeats per criterion\n", rows, build.elapsed(),
                repeats);
    std::printf("%-22s %10s %10s %9s %9s\n", "criterion", "best ms", "median ms", "ns/row",
                "deleted");

    double totalBest = 0.0;
    double slowestNumeric = 0.0;
    for (const QString &text : RowFilter::criterionTexts()) {
        const RowFilter::FilterCriterion criterion = *RowFilter::criterionFromText(text);
        const double threshold =
            Numbers::leadingNumber(criterion.column == PageRank           ? u"3"
                                   : criterion.column == ArchiveFirstYear ? u"2010"
                                   : criterion.column == OtherSuffixes    ? u"4"
                                                                          : u"1000");

        std::vector<double> ms;
        std::size_t deleted = 0;
        for (int rep = 0; rep < repeats; ++rep) {
            QElapsedTimer t;
            t.start();
            std::size_t n = 0;
            for (int r = 0; r < int(rows); ++r)
                n += RowFilter::rowIsDeleted(criterion, threshold, table, r);
            ms.push_back(double(t.nsecsElapsed()) / 1e6);
            deleted = n;
        }
        std::sort(ms.begin(), ms.end());
        const double best = ms.front();
        totalBest += best;
        if (criterion.kind != RowFilter::FilterCriterion::Kind::DomainHasHyphen &&
            criterion.kind != RowFilter::FilterCriterion::Kind::AlreadyRegistered)
            slowestNumeric = std::max(slowestNumeric, best * 1e6 / double(rows));
        // Pad by display width: the criterion texts are mostly double-width characters.
        const QByteArray name = text.toUtf8();
        int width = 0;
        for (QChar c : text)
            width += c.unicode() >= 0x1100 ? 2 : 1;
        std::printf("%s%*s %10.1f %10.1f %9.1f %9zu\n", name.constData(), std::max(0, 22 - width),
                    "", best, ms[ms.size() / 2], best * 1e6 / double(rows), deleted);
    }
    std::printf("all criteria, best passes summed: %.1f ms\n", totalBest);

    // The same reading with the texts hot in cache: what the parse costs without the memory
    // traffic of a large table.
    const QString hot[] = {QStringLiteral("1,230,000"), QStringLiteral("56"),
                           QStringLiteral("查询失败"),  QStringLiteral("4\n"),
                           QStringLiteral(" "),         QStringLiteral("12,345,678")};
    const std::size_t calls = 10'000'000;
    QElapsedTimer t;
    t.start();
    std::size_t readable = 0;
    for (std::size_t i = 0; i < calls; ++i)
        readable += Numbers::cellNumber(hot[i % std::size(hot)]).has_value();
    std::printf("cellNumber on %zu hot texts: %.1f ns/call (%zu readable)\n", std::size(hot),
                double(t.nsecsElapsed()) / double(calls), readable);
    std::printf("FIGURE filter_ns_per_row %.1f\n", slowestNumeric);
    return 0;
}
