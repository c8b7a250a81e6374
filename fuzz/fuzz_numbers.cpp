// The number readers: the threshold and cell readers, the row decision and the size sort,
// cross-checked against each other.
#include "FuzzCheck.h"

#include "fetch/PageFetcher.h"
#include "sources/ListSorts.h"
#include "sources/SourceLists.h"
#include "table/RowFilter.h"
#include "text/Numbers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace {

void checkCell(QStringView cell)
{
    const std::optional<double> number = Numbers::cellNumber(cell);
    // Surrounding whitespace never matters.
    QString padded = QStringLiteral(" \t");
    padded.append(cell).append(QStringLiteral("\n "));
    FUZZ_CHECK(Numbers::cellNumber(padded) == number);
    if (!number)
        return;
    // Cells are short and plain: their numbers are always finite.
    FUZZ_CHECK(std::isfinite(*number));
    // A cell number, its group separators taken out, is a threshold reading the same.
    QString plain = cell.trimmed().toString();
    plain.remove(u',');
    FUZZ_CHECK(Numbers::leadingNumber(plain) == *number);
}

void checkRow(const QStringList &lines)
{
    std::array<QString, kColumnCount> row;
    RowStates states;
    for (std::size_t c = 0; c < row.size(); ++c) {
        row[c] = lines.isEmpty() ? QString() : lines[qsizetype(c) % lines.size()];
        states[c] = stateOfSavedText(row[c]);
    }
    const double threshold = lines.isEmpty() ? 0.0 : Numbers::leadingNumber(lines.front());
    constexpr double infinity = std::numeric_limits<double>::infinity();
    for (const QString &text : RowFilter::criterionTexts()) {
        const std::optional<RowFilter::FilterCriterion> criterion =
            RowFilter::criterionFromText(text);
        FUZZ_CHECK(criterion.has_value());
        const bool deleted = RowFilter::rowIsDeleted(*criterion, threshold, row, states);
        // A higher threshold deletes at least as much; a lower one at most as much.
        if (deleted)
            FUZZ_CHECK(RowFilter::rowIsDeleted(*criterion, infinity, row, states));
        if (RowFilter::rowIsDeleted(*criterion, -infinity, row, states))
            FUZZ_CHECK(deleted);
        // A row too short for the column keeps its place, and so does a cell without a value.
        const std::span<const QString> cut(row.data(), std::size_t(criterion->column));
        FUZZ_CHECK(!RowFilter::rowIsDeleted(*criterion, threshold, cut, states));
        if (states[std::size_t(criterion->column)] != CellState::Value)
            FUZZ_CHECK(!deleted);
    }
}

void checkSizeSort(const QStringList &lines)
{
    std::vector<double> values;
    for (const QString &line : lines)
        values.push_back(Numbers::leadingNumber(line));
    std::sort(values.begin(), values.end());
    const QStringList sorted = Sources::sortBySize(lines);
    FUZZ_CHECK(sorted.size() == qsizetype(values.size()));
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        const double value = values[std::size_t(i)];
        // Each finite value is written so that it reads back exactly; an infinity has no
        // digits to read back.
        if (std::isfinite(value))
            FUZZ_CHECK(Numbers::leadingNumber(sorted[i]) == value);
        else
            FUZZ_CHECK(sorted[i] == QStringView(value > 0 ? u"inf" : u"-inf"));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Typed or scraped texts: one per line.
    const QString text = PageFetcher::decodeBody(
        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), Charset::Utf8);
    QStringList lines;
    for (QStringView line : Sources::cutLines(text)) {
        checkCell(line);
        lines.append(line.toString());
    }
    checkRow(lines);
    checkSizeSort(lines);
    return 0;
}
