#pragma once

#include "table/Columns.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <limits>

// A row's identity: stable across sorting and removal, never reused, so work that waits for a
// page can find the row it started with, or learn that it is gone.
using RowId = quint64;

struct ResultRow {
    RowId id = 0;
    RowCells cells;
    RowStates states;
    qint64 dropMs = kNoDropTime; // the drop instant, in ms since the epoch (UTC)

    static constexpr qint64 kNoDropTime = std::numeric_limits<qint64>::min();
};

// The result grid's rows, in display order from 0. Every method takes columns by their number in
// Columns.h; the model's sections are the columns shown: 0 to 9, then kDropTimeColumn while some
// row has a drop time, then each of the archive and other-suffix columns while it is wanted (its
// metric is ticked) or some row holds something in it.
class ResultTable final : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultTable)

public:
    // A cell's note (setNoteOf), empty when it has none.
    static constexpr int kNoteRole = Qt::UserRole + 1;

    explicit ResultTable(QObject *parent = nullptr);

    static QString headerText(int column);
    static int columnWidth(int column); // pixels
    static bool sortsAsNumber(int column);

    // Removes every row and forgets every column's sort direction.
    void clear();
    // Appends rows in one model change. The rows come as texts (a saved grid, an import), so
    // each cell's state is read from its text here, once.
    void appendRows(QList<RowCells> rows);
    // Empty text for a row or column that does not exist.
    QString cell(int row, int column) const;
    // Blank for a row or column that does not exist.
    CellState cellState(int row, int column) const;
    void setCell(int row, int column, const QString &text, CellState state = CellState::Value);
    // The header click: the first click on a column sorts it descending, the next ascending, and
    // so on, each column with its own direction. Fewer than two rows: nothing happens. The row
    // label, count, PageRank and archive columns order numbers by value, with every cell that is
    // not a number after them; the domain, registration and other-suffix columns sort as text.
    // A column not shown does not sort.
    void sortByColumn(int column);
    SortDirection sortDirection(int column) const;

    RowId rowId(int row) const;
    // The row of `id`, or -1 when that row no longer exists.
    int rowOf(RowId id) const;
    QString cellOf(RowId id, int column) const;
    CellState cellStateOf(RowId id, int column) const;
    // Writes into the row `id`; false (and nothing written) when that row is gone.
    bool setCellOf(RowId id, int column, const QString &text, CellState state = CellState::Value);
    // More about a cell for its tooltip (where an RDAP answer came from, its statuses); kept
    // until the grid is cleared.
    void setNoteOf(RowId id, int column, const QString &note);
    // The identities of all rows in display order.
    QList<RowId> rowIds() const;

    // The drop instants of rows 0, 1, … (an invalid time: none); rows past the list keep theirs.
    // The drop-time column appears with the first time and goes with the last.
    void setDropTimes(const QList<QDateTime> &utcByRow);
    // Invalid when the row has none.
    QDateTime dropTime(int row) const;
    bool hasDropTimes() const { return m_rowsWithDropTime > 0; }
    // The drop-time cell as the grid shows and exports it: the local time, with its offset.
    static QString dropTimeText(const QDateTime &utc);

    // Whether the columns of the archive metric (`ArchiveFirstYear`, `ArchiveYears`) and of the
    // other-suffix metric are shown while empty.
    void setWanted(int column, bool wanted);
    // The column shown at `section`, -1 for none; the section showing `column`, -1 when hidden.
    int columnAt(int section) const;
    int sectionOf(int column) const;
    // The columns shown, in order.
    const QList<int> &shownColumns() const { return m_shown; }

    // Deletes every row for which `doomed` holds, in one pass; returns how many went.
    qsizetype removeRowsWhere(const std::function<bool(const ResultRow &)> &doomed);

    // QAbstractItemModel
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void invalidatePositions() { m_positionsValid = false; }
    const QHash<RowId, int> &positions() const;

    QList<ResultRow> m_rows;
    RowId m_nextId = 1;
    void setHasDropTimeColumn(qsizetype rowsWithTime);
    bool columnShown(int column) const;
    // Brings the sections in line with columnShown(), one column inserted or removed at a time.
    void updateShownColumns();
    bool holdsSomething(int column) const;

    std::array<SortDirection, kCellCount> m_directions{};
    qsizetype m_rowsWithDropTime = 0;
    std::array<bool, kCellCount> m_wanted{};
    // Columns past the ten that some row has written to since the grid was last cleared.
    std::array<bool, kCellCount> m_written{};
    QList<int> m_shown;
    QHash<quint64, QString> m_notes; // by RowId * kCellCount + column
    mutable QHash<RowId, int> m_positions;
    mutable bool m_positionsValid = false;
};
