// The number readers: the filter's threshold and cell readers, the row decision, and the
// size sort's leading-number reader, cross-checked against each other.
#include "FuzzCheck.h"

#include "fetch/PageFetcher.h"
#include "sources/ListSorts.h"
#include "sources/SourceLists.h"
#include "table/RowFilter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace {

void checkCell(QStringView cell)
{
    const std::optional<double> number = RowFilter::cellNumber(cell);
    // Surrounding whitespace never matters.
    QString padded = QStringLiteral(" \t");
    padded.append(cell).append(QStringLiteral("\n "));
    FUZZ_CHECK(RowFilter::cellNumber(padded) == number);
    if (!number)
        return;
    // Cells are short and plain: their numbers are always finite.
    FUZZ_CHECK(std::isfinite(*number));
    // A cell number, its group separators taken out, is a threshold reading the same.
    QString plain = cell.trimmed().toString();
    plain.remove(u',');
    FUZZ_CHECK(RowFilter::leadingNumber(plain) == *number);
}

// Both readers take a sign, digits with an optional fraction and an optional exponent from the
// start; they differ only in the blanks they skip. Without blanks they must agree exactly,
// overflow to infinity and underflow to zero included.
void checkLeadingNumbers(QStringView text)
{
    if (text.contains(u' ') || text.contains(u'\t'))
        return;
    const double threshold = RowFilter::leadingNumber(text);
    const double sortKey = Sources::leadingNumber(text);
    FUZZ_CHECK(!std::isnan(threshold) && !std::isnan(sortKey));
    FUZZ_CHECK(threshold == sortKey);
}

void checkRow(const QStringList &lines)
{
    std::array<QString, kColumnCount> row;
    for (std::size_t c = 0; c < row.size(); ++c)
        row[c] = lines.isEmpty() ? QString() : lines[qsizetype(c) % lines.size()];
    const double threshold = lines.isEmpty() ? 0.0 : RowFilter::leadingNumber(lines.front());
    constexpr double infinity = std::numeric_limits<double>::infinity();
    for (const QString &text : RowFilter::criterionTexts()) {
        const std::optional<RowFilter::FilterCriterion> criterion =
            RowFilter::criterionFromText(text);
        FUZZ_CHECK(criterion.has_value());
        const bool deleted = RowFilter::rowIsDeleted(*criterion, threshold, row);
        // A higher threshold deletes at least as much; a lower one at most as much.
        if (deleted)
            FUZZ_CHECK(RowFilter::rowIsDeleted(*criterion, infinity, row));
        if (RowFilter::rowIsDeleted(*criterion, -infinity, row))
            FUZZ_CHECK(deleted);
        // A row too short for the column keeps its place.
        const std::span<const QString> cut(row.data(), std::size_t(criterion->column));
        FUZZ_CHECK(!RowFilter::rowIsDeleted(*criterion, threshold, cut));
    }
}

void checkSizeSort(const QStringList &lines)
{
    std::vector<double> values;
    for (const QString &line : lines)
        values.push_back(Sources::leadingNumber(line));
    std::sort(values.begin(), values.end());
    const QStringList sorted = Sources::SortBySize(lines);
    FUZZ_CHECK(sorted.size() == qsizetype(values.size()));
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        const double value = values[std::size_t(i)];
        // Each finite value is written so that it reads back exactly; an infinity has no
        // digits to read back.
        if (std::isfinite(value))
            FUZZ_CHECK(Sources::leadingNumber(sorted[i]) == value);
        else
            FUZZ_CHECK(sorted[i] == QStringView(value > 0 ? u"inf" : u"-inf"));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Typed or scraped texts: one per line.
    const QString text = PageFetcher::DecodeBody(
        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), Charset::Utf8);
    QStringList lines;
    for (QStringView line : Sources::cutLines(text)) {
        checkCell(line);
        checkLeadingNumbers(line);
        lines.append(line.toString());
    }
    checkRow(lines);
    checkSizeSort(lines);
    return 0;
}
