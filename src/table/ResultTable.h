#pragma once

#include "table/Columns.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

// A row's identity: stable across sorting and removal, never reused, so work that waits for a
// page can find the row it started with, or learn that it is gone.
using RowId = quint64;

struct ResultRow {
    RowId id = 0;
    std::array<QString, kColumnCount> cells; // [0] is the row label
};

// The result grid's rows. Rows are numbered from 1 in display order, columns 0 to 9.
class ResultTable final : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultTable)

public:
    explicit ResultTable(QObject *parent = nullptr);

    static QString headerText(int column);
    static int columnWidth(int column); // pixels

    // Removes every row and re-creates the columns: all sort toggles start empty again.
    void ResetTable();
    // Appends a row (label, cells 1 to 9) and returns its row number.
    int AddRow(const QString &label, const QStringList &cells);
    // Appends many rows in one model change; `cells` holds label and nine cells per row.
    void AddRows(QList<std::array<QString, kColumnCount>> rows);
    int RowCount() const { return int(m_rows.size()); }
    // Empty text for a row or column that does not exist.
    QString CellText(int row, int column) const;
    void SetCellText(int row, int column, const QString &text);
    void RemoveRow(int row);
    // The header-click sort with its per-column direction toggle.
    void SortByColumn(int column);
    QString sortToggle(int column) const { return m_toggles.value(column); }

    RowId rowId(int row) const;
    // The row number of `id`, or 0 when that row no longer exists.
    int rowOf(RowId id) const;
    QString cellOf(RowId id, int column) const;
    // Writes into the row `id`; false (and nothing written) when that row is gone.
    bool setCellOf(RowId id, int column, const QString &text);
    // The identities of all rows in display order.
    QList<RowId> rowIds() const;

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
    QStringList m_toggles;
    mutable QHash<RowId, int> m_positions;
    mutable bool m_positionsValid = false;
};
