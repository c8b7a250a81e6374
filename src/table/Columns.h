#pragma once

#include "text/Words.h"

#include <QString>

#include <array>

// The result grid's columns: 0 the row label, 1 the domain, 2 to 9 the metrics.

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
};

inline constexpr int kLabelColumn = 0;
inline constexpr int kDomainColumn = 1;
inline constexpr int kColumnCount = 10;
// After the ten: when a registry's list says it, the instant each name drops. The model has this
// column only while some row has a time, so a grid without one is the ten columns as ever.
inline constexpr int kDropTimeColumn = kColumnCount;

// A row's texts: [0] the label, [1] the domain, [2..9] the metrics.
using RowCells = std::array<QString, kColumnCount>;
// What became of each of a row's cells.
using RowStates = std::array<CellState, kColumnCount>;

// The direction a header click last sorted its column in; None until it is first clicked.
enum class SortDirection { None, Descending, Ascending };
