#pragma once

#include "table/Columns.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

// A row's identity: stable across sorting and removal, never reused, so work that waits for a
// page can find the row it started with, or learn that it is gone.
using RowId = quint64;

// A row handed to removeRowsWhere's predicate as texts; made only for that predicate.
struct ResultRow {
    RowId id = 0;
    RowCells cells;
    RowStates states;
    qint64 dropMs = kNoDropTime; // the drop instant, in ms since the epoch (UTC)

    static constexpr qint64 kNoDropTime = std::numeric_limits<qint64>::min();
};

// A cell as the sort and the row filter read it, from what the grid stores: no text is parsed
// on the way.
struct CellValue {
    CellState state = CellState::Blank;
    // What Numbers::cellNumber reads in the cell's text.
    std::optional<double> number;
    // The number before the text's first '/' ("3/8": 3), read the same way.
    std::optional<double> lead;
    // The text, unless the grid holds the cell as a count (a count's digits never matter to a
    // decision that reads the text).
    QStringView text;

    // The value of a cell that holds `text`, as the grid would store it.
    static CellValue of(QStringView text, CellState state);
};

// A row as the session file keeps it. `cells` holds every cell but the domain and the drop
// time, column by column: a little-endian 32-bit word each, a count when its top bit is clear
// (its value times 4 plus how it was printed: 0 plain, 1 grouped by commas in threes, 2 plain
// with a line break after it), the blank marker " " when it is all ones, else a text of the
// length in its low bits, whose UTF-16 units follow. A row saved with fewer columns than the
// grid has reads as blank in the rest. The states take two bits a column, column 0 lowest.
struct SavedRow {
    QString name;
    QByteArray cells;
    quint32 states = 0;
    qint64 dropMs = ResultRow::kNoDropTime;

    bool operator==(const SavedRow &) const = default;
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
    // Appends a row for each name, in one model change: its row label the number `firstLabel`,
    // `firstLabel` + 1, …, every other cell blank. An import's rows, without making their texts.
    void appendNames(const QStringList &names, qint64 firstLabel = 0);
    // Appends rows the session file kept, with their states and drop instants.
    void appendSavedRows(const QList<SavedRow> &rows);
    // A row in the session file's form; an empty row for one that does not exist.
    SavedRow savedRow(int row) const;
    // Empty text for a row or column that does not exist.
    QString cell(int row, int column) const;
    // Blank for a row or column that does not exist.
    CellState cellState(int row, int column) const;
    void setCell(int row, int column, const QString &text, CellState state = CellState::Value);
    // The cell as sorting and filtering read it; blank for a row or column that does not exist.
    CellValue cellValue(int row, int column) const;
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

    // Deletes every row (by its place in display order) for which `doomed` holds, in one pass;
    // returns how many went.
    qsizetype removeRowsWhere(const std::function<bool(int row)> &doomed);
    // The same, with each row handed over as texts: slower, for callers that read texts.
    qsizetype removeRowsWhere(const std::function<bool(const ResultRow &)> &doomed);

    // QAbstractItemModel
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    // A distinct text a cell holds, with what the sort and the filter read in it.
    struct Text {
        QString text;
        CellState savedState; // stateOfSavedText
        std::optional<double> number;
        std::optional<double> lead;
    };
    struct NameRef {
        quint32 start = 0;
        quint32 length = 0;
    };

    // A cell's code: a count with the form it was printed in, or an index into m_texts.
    static constexpr quint32 kTextCode = 0x8000'0000u;
    static std::optional<quint32> countCode(QStringView text);
    static QString countText(quint32 code);
    quint32 codeOf(const QString &text);
    QString textOf(quint32 code) const;
    QStringView nameOf(int row) const;
    NameRef storeName(QStringView name);
    void compactNames();
    CellState stateAt(int row, int column) const
    {
        return CellState((m_states[std::size_t(row)] >> (2 * column)) & 3u);
    }
    void setStateAt(int row, int column, CellState state);
    qint64 dropAt(int row) const
    {
        return m_drops.empty() ? ResultRow::kNoDropTime : m_drops[std::size_t(row)];
    }
    // Room for `count` more rows.
    void growBy(qsizetype count);
    // Puts the rows in the order `order` gives (display rows by their new place).
    void reorder(const std::vector<quint32> &order);
    // Removes rows [first, end).
    void eraseRows(int first, int end);
    // Keeps the rows marked in `keep`, in order.
    void keepRows(const std::vector<bool> &keep);
    ResultRow textRow(int row) const;
    std::vector<quint32> sortOrder(int column, bool descending) const;

    void invalidatePositions() { m_positionsValid = false; }
    void findPositions() const;

    std::vector<RowId> m_ids;
    std::vector<NameRef> m_nameRefs;
    std::vector<quint32> m_states;
    std::vector<qint64> m_drops; // empty until some row has a drop instant
    // By column; the domain's and the drop time's stay empty.
    std::array<std::vector<quint32>, kCellCount> m_codes;
    std::vector<char16_t> m_names; // every domain cell, one after another
    qsizetype m_namesUnused = 0;   // characters of names overwritten or removed
    // Kept while the table lives, through clear(): a text's code never changes.
    QList<Text> m_texts;
    QHash<QString, quint32> m_textIndex;
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
    // Each row's place by its id, found again after rows move. Ids are handed out in increasing
    // order, so while the live ones are dense a vector from the smallest serves, a million rows
    // in a few milliseconds; the hash is for ids left far apart by removals.
    mutable std::vector<int> m_rowByIdOffset;
    mutable RowId m_firstId = 0;
    mutable QHash<RowId, int> m_positions;
    mutable bool m_positionsValid = false;
};
