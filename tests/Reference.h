#pragma once

// Slow, literal versions of the rules the program implements fast. Tests, benches and fuzzers
// check the real code against these; nothing in the program uses them.

#include "sources/SourceLists.h"
#include "sources/Suffixes.h"
#include "table/Columns.h"
#include "table/RowFilter.h"
#include "text/Numbers.h"
#include "text/Words.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace Reference {

// The exchange procedure the length sort must match, run exactly as written: O(n^2).
inline void sortByLengthLiteral(QStringList &list)
{
    const qsizetype n = list.size();
    for (qsizetype i = 0; i < n; ++i) {
        for (qsizetype j = i; j < n; ++j) {
            if (list[i].size() > list[j].size())
                list[i].swap(list[j]);
        }
    }
}

// Where one line of a deletion list is filed, written plainly from the rules: trimmed, brackets
// removed first in the CN file, a name of letters (any script), digits, hyphens and dots that
// does not start with a dot, filed by the whole part after its first dot in any case; a daily
// com line of 18 characters or more is dropped. The entry, and its list: -1 skipped, -2 dropped.
inline std::pair<QString, int> filing(QStringView line, bool cnFile)
{
    QString entry = line.toString();
    if (cnFile)
        entry.remove(u'[').remove(u']');
    entry = entry.trimmed();
    static const QRegularExpression name(QStringLiteral("^[\\p{L}0-9-][\\p{L}0-9.-]*$"));
    if (!entry.contains(u'.') || !name.match(entry).hasMatch())
        return {entry, -1};
    const QString suffixText = entry.section(u'.', 1).toLower();
    for (int i = 0; i < Sources::kSourceCount; ++i) {
        if (Sources::suffix(i).fromCnList == cnFile && suffixText == Sources::suffix(i).caption) {
            if (i == Sources::Com && entry.size() >= 18)
                return {entry, -2};
            return {entry, i};
        }
    }
    return {entry, -1};
}

// Every line of `text` filed by the rule above, appended to `lists`.
inline void fileText(QStringView text, bool cnFile, Sources::SourceLists &lists)
{
    for (QStringView line : Sources::cutLines(text)) {
        const auto [entry, index] = filing(line, cnFile);
        if (index >= 0)
            lists[std::size_t(index)] << entry;
    }
}

// The count in a search page's phrase, as a pattern over the kinds of its characters (b blank,
// w letter, 9 ASCII digit, "," comma, x anything else) between the first marker and the next:
// blanks and at most three letters, the longest run of digits, commas and blanks that ends in a
// digit or comma, blanks, and the end text from one of those blanks or after them. The run
// without its blanks is plain digits or grouped by commas in threes. "0" without the marker.
inline QString countInPhrase(QStringView page, QStringView marker, QStringView end)
{
    if (marker.isEmpty() || !page.contains(marker))
        return QStringLiteral("0");
    const QString piece = page.toString().section(marker.toString(), 1, 1);
    QString kinds;
    for (const QChar c : piece) {
        const qsizetype digit = QStringView(u"0123456789,").indexOf(c);
        kinds += c.isSpace() ? u'b' : c.isLetter() ? u'w' : digit < 0 ? u'x' : u"9,"[digit / 10];
    }
    static const QRegularExpression phrase(QStringLiteral("^b*(?:wb*){0,3}(9(?:[9,b]*[9,])?)(b*)"));
    static const QRegularExpression shape(QStringLiteral("^(?:[0-9]+|[0-9]{1,3}(?:,[0-9]{3})+)$"));
    const QRegularExpressionMatch run = phrase.match(kinds);
    bool closed = end.isEmpty();
    for (qsizetype k = run.capturedStart(2); run.hasMatch() && k <= run.capturedEnd(2); ++k)
        closed = closed || QStringView(piece).sliced(k).startsWith(end);
    QString number = piece.mid(run.capturedStart(1), run.capturedLength(1));
    number.removeIf([](QChar c) { return c.isSpace(); });
    return run.hasMatch() && closed && shape.match(number).hasMatch() ? number : kQueryFailed;
}

// The header sort over texts, as a spreadsheet orders a column: a number column puts every cell
// that reads as a number first, by value, then the rest by text; other columns sort by text.
// Either direction keeps equal cells in their order.
inline void sortRows(QList<RowCells> &rows, int column, bool numeric, bool descending)
{
    const auto before = [&](const RowCells &a, const RowCells &b) {
        const QString &x = a[std::size_t(column)];
        const QString &y = b[std::size_t(column)];
        const std::optional<double> m = numeric ? Numbers::cellNumber(x) : std::nullopt;
        const std::optional<double> n = numeric ? Numbers::cellNumber(y) : std::nullopt;
        if (m.has_value() != n.has_value())
            return m.has_value();
        if (m)
            return descending ? *m > *n : *m < *n;
        return descending ? x > y : x < y;
    };
    std::stable_sort(rows.begin(), rows.end(), before);
}

// Whether the row filter deletes a row whose cell in the criterion's column reads `text`, read
// from the drop-down's wording.
inline bool deletes(RowFilter::FilterCriterion::Kind kind, double threshold, const QString &text,
                    CellState state)
{
    using K = RowFilter::FilterCriterion::Kind;
    const std::optional<double> number = Numbers::cellNumber(text);
    if (state != CellState::Value)
        return false;
    switch (kind) {
    case K::NumberAtMost:
        return number && *number <= threshold;
    case K::DomainHasHyphen:
        return text.contains(u'-');
    case K::AlreadyRegistered:
        return text == kRegistered;
    case K::FirstArchiveAfter:
        return text == kNoArchive || (number && *number > threshold);
    case K::OtherSuffixesBelow: {
        const std::optional<double> taken = Numbers::cellNumber(text.section(u'/', 0, 0));
        return text.indexOf(u'/') > 0 && taken && *taken < threshold;
    }
    }
    return false;
}

} // namespace Reference
