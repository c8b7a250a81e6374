#pragma once

#include "text/Words.h"

#include <QString>

#include <array>

// The result grid's columns: 0 the row label, 1 the domain, 2 to 9 the metrics; then the ones
// shown only when they have something to show (the drop time, the archive and other-suffix
// metrics).

// The metric columns; each value is the column index its probe writes.
enum ProbeColumn : int {
    BaiduSite = 2,
    BaiduDomain = 3,
    GoogleSite = 4,
    YahooPages = 5,
    YahooLinksWww = 6,
    YahooLinksBare = 7,
    PageRank = 8,
    Registration = 9,
    ArchiveFirstYear = 11, // "首次存档"
    ArchiveYears = 12,     // "存档年数"
    OtherSuffixes = 13,    // "他后缀注册"
};

inline constexpr int kLabelColumn = 0;
inline constexpr int kDomainColumn = 1;
// The ten columns every grid shows.
inline constexpr int kColumnCount = 10;
// After the ten: when a registry's list says it, the instant each name drops. The model has this
// column only while some row has a time, so a grid without one is the ten columns as ever.
inline constexpr int kDropTimeColumn = kColumnCount;
// Every column a row has, shown or not.
inline constexpr int kCellCount = OtherSuffixes + 1;

// A row's texts by column: [0] the label, [1] the domain, [2..9] the metrics, [11..13] the
// archive and other-suffix metrics. [10] stays empty: the drop time is kept as an instant.
using RowCells = std::array<QString, kCellCount>;
// What became of each of a row's cells.
using RowStates = std::array<CellState, kCellCount>;

// The direction a header click last sorted its column in; None until it is first clicked.
enum class SortDirection { None, Descending, Ascending };
