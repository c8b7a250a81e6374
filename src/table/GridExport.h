#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class ResultTable;

// The grid as other programs read it: CSV files for spreadsheets, tab-separated text for the
// clipboard. Both leave out the row-label column.
namespace GridExport {

// The captions of columns 1 to 9.
QStringList header();
// The captions of `columns` (numbers of Columns.h).
QStringList header(const QList<int> &columns);
// Those of `table`'s columns as shown but the row label: 1 to 9, then the drop time, archive and
// other-suffix columns the grid shows.
QStringList header(const ResultTable &table);

// The given rows' cells of the columns the grid shows but the row label, as the grid holds them;
// the drop time as local ISO 8601 with its offset; a blank cell gives an empty field.
// An empty list means every row, in display order. Rows that do not exist are left out.
QList<QStringList> rows(const ResultTable &table, const QList<int> &rowsInDisplayOrder);
// The same of `columns` only.
QList<QStringList> rows(const ResultTable &table, const QList<int> &rowsInDisplayOrder,
                        const QList<int> &columns);

// RFC 4180 in UTF-8: commas between fields, CRLF after every record, a field quoted when it
// holds a comma, a quote, CR or LF, with its quotes doubled. A cell that starts like a
// spreadsheet formula is written with a leading apostrophe. An empty header writes no header
// record, so that rows can follow a header written before them.
QByteArray csv(const QStringList &header, const QList<QStringList> &rows, bool byteOrderMark);

// Clipboard text: no header, tabs between cells, "\n" after every row, the same formula guard.
// Tabs and line breaks inside a cell become spaces, so a paste stays cell-aligned.
QString tabSeparated(const QList<QStringList> &rows);

} // namespace GridExport
