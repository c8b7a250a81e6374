#include "ResultTable.h"

#include "text/Numbers.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {

struct ColumnSpec {
    const char16_t *header;
    int width;
};

constexpr ColumnSpec kColumns[kColumnCount] = {
    {u"", 20},           {u"查询域名", 100}, {u"百度收录", 70},  {u"百度反链", 70},
    {u"google收录", 80}, {u"yahoo收录", 70}, {u"yahoo反链", 70}, {u"yahoo不带W", 80},
    {u"PR值查询", 70},   {u"是否注册", 70},
};

} // namespace

bool ResultTable::sortsAsNumber(int column)
{
    return column == kLabelColumn || (column >= BaiduSite && column <= PageRank) ||
           column == ArchiveFirstYear || column == ArchiveYears;
}

ResultTable::ResultTable(QObject *parent)
    : QAbstractTableModel(parent)
{
    for (int column = 0; column < kColumnCount; ++column)
        m_shown << column;
}

QString ResultTable::headerText(int column)
{
    switch (column) {
    case kDropTimeColumn:
        return QStringLiteral("删除时间");
    case ArchiveFirstYear:
        return QStringLiteral("首次存档");
    case ArchiveYears:
        return QStringLiteral("存档年数");
    case OtherSuffixes:
        return QStringLiteral("他后缀注册");
    default:
        return column >= 0 && column < kColumnCount ? QString::fromUtf16(kColumns[column].header)
                                                    : QString();
    }
}

int ResultTable::columnWidth(int column)
{
    if (column == kDropTimeColumn)
        return 130;
    if (column >= ArchiveFirstYear && column < kCellCount)
        return 80;
    return column >= 0 && column < kColumnCount ? kColumns[column].width : 0;
}

bool ResultTable::columnShown(int column) const
{
    if (column >= 0 && column < kColumnCount)
        return true;
    if (column == kDropTimeColumn)
        return hasDropTimes();
    // The archive metric's two columns come and go together.
    const auto either = [this](const std::array<bool, kCellCount> &flags, int c) {
        return c == ArchiveFirstYear || c == ArchiveYears
                   ? flags[ArchiveFirstYear] || flags[ArchiveYears]
                   : flags[std::size_t(c)];
    };
    return column > kDropTimeColumn && column < kCellCount &&
           (either(m_wanted, column) || either(m_written, column));
}

bool ResultTable::holdsSomething(int column) const
{
    return std::any_of(m_rows.cbegin(), m_rows.cend(), [column](const ResultRow &row) {
        return row.states[std::size_t(column)] != CellState::Blank;
    });
}

void ResultTable::updateShownColumns()
{
    for (int column = kDropTimeColumn; column < kCellCount; ++column) {
        const bool shown = columnShown(column);
        const qsizetype at =
            std::lower_bound(m_shown.cbegin(), m_shown.cend(), column) - m_shown.cbegin();
        const bool was = at < m_shown.size() && m_shown[at] == column;
        if (shown == was)
            continue;
        m_directions[std::size_t(column)] = SortDirection::None;
        if (shown) {
            beginInsertColumns({}, int(at), int(at));
            m_shown.insert(at, column);
            endInsertColumns();
        } else {
            beginRemoveColumns({}, int(at), int(at));
            m_shown.remove(at);
            endRemoveColumns();
        }
    }
}

void ResultTable::setWanted(int column, bool wanted)
{
    if (column <= kDropTimeColumn || column >= kCellCount)
        return;
    m_wanted[std::size_t(column)] = wanted;
    // Unticking hides a column only when no row holds anything in it.
    if (!wanted)
        m_written[std::size_t(column)] = holdsSomething(column);
    updateShownColumns();
}

int ResultTable::columnAt(int section) const
{
    return section >= 0 && section < m_shown.size() ? m_shown[section] : -1;
}

int ResultTable::sectionOf(int column) const
{
    return int(m_shown.indexOf(column));
}

void ResultTable::clear()
{
    beginResetModel();
    m_rows.clear();
    m_notes.clear();
    m_directions.fill(SortDirection::None);
    m_rowsWithDropTime = 0;
    m_written.fill(false);
    m_shown.resize(kColumnCount);
    for (int column = kDropTimeColumn; column < kCellCount; ++column) {
        if (columnShown(column))
            m_shown << column;
    }
    invalidatePositions();
    endResetModel();
}

void ResultTable::appendRows(QList<RowCells> rows)
{
    if (rows.isEmpty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    m_rows.reserve(m_rows.size() + rows.size());
    for (auto &cells : rows) {
        RowStates states;
        for (int c = 0; c < kCellCount; ++c) {
            // Only a probe writes failures; a label or a name is never one, whatever it reads.
            const CellState state = stateOfSavedText(cells[std::size_t(c)]);
            states[std::size_t(c)] =
                c >= BaiduSite || state == CellState::Blank ? state : CellState::Value;
            if (c > kDropTimeColumn && state != CellState::Blank)
                m_written[std::size_t(c)] = true;
        }
        states[kDropTimeColumn] = CellState::Blank;
        m_rows.append(ResultRow{m_nextId++, std::move(cells), states});
    }
    invalidatePositions();
    endInsertRows();
    updateShownColumns();
}

QString ResultTable::cell(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= kCellCount)
        return {};
    return m_rows[row].cells[column];
}

CellState ResultTable::cellState(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= kCellCount)
        return CellState::Blank;
    return m_rows[row].states[column];
}

void ResultTable::setCell(int row, int column, const QString &text, CellState state)
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= kCellCount ||
        column == kDropTimeColumn)
        return;
    m_rows[row].cells[column] = text;
    m_rows[row].states[column] = state;
    if (column > kDropTimeColumn && state != CellState::Blank && !m_written[column]) {
        m_written[column] = true;
        updateShownColumns();
    }
    const int section = sectionOf(column);
    if (section < 0)
        return;
    const QModelIndex at = index(row, section);
    Q_EMIT dataChanged(at, at, {Qt::DisplayRole});
}

SortDirection ResultTable::sortDirection(int column) const
{
    return column >= 0 && column < kCellCount ? m_directions[column] : SortDirection::None;
}

void ResultTable::setDropTimes(const QList<QDateTime> &utcByRow)
{
    const qsizetype count = qMin(utcByRow.size(), m_rows.size());
    qsizetype withTime = m_rowsWithDropTime;
    for (qsizetype i = 0; i < count; ++i) {
        qint64 &ms = m_rows[i].dropMs;
        withTime -= ms != ResultRow::kNoDropTime;
        ms = utcByRow[i].isValid() ? utcByRow[i].toMSecsSinceEpoch() : ResultRow::kNoDropTime;
        withTime += ms != ResultRow::kNoDropTime;
    }
    setHasDropTimeColumn(withTime);
    if (hasDropTimes() && count > 0)
        Q_EMIT dataChanged(index(0, sectionOf(kDropTimeColumn)),
                           index(int(count) - 1, sectionOf(kDropTimeColumn)), {Qt::DisplayRole});
}

void ResultTable::setHasDropTimeColumn(qsizetype rowsWithTime)
{
    m_rowsWithDropTime = rowsWithTime;
    updateShownColumns();
}

QDateTime ResultTable::dropTime(int row) const
{
    if (row < 0 || row >= rowCount() || m_rows[row].dropMs == ResultRow::kNoDropTime)
        return {};
    return QDateTime::fromMSecsSinceEpoch(m_rows[row].dropMs, Qt::UTC);
}

QString ResultTable::dropTimeText(const QDateTime &utc)
{
    return utc.isValid() ? utc.toLocalTime().toString(Qt::ISODate) : QString();
}

void ResultTable::sortByColumn(int column)
{
    if (rowCount() < 2 || sectionOf(column) < 0)
        return;
    const bool descending = m_directions[column] != SortDirection::Descending;
    m_directions[column] = descending ? SortDirection::Descending : SortDirection::Ascending;

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<RowId> persistentIds;
    persistentIds.reserve(before.size());
    for (const QModelIndex &i : before)
        persistentIds << m_rows[i.row()].id;

    if (column == kDropTimeColumn) {
        // Soonest first when ascending; rows without a time after the others either way.
        std::stable_sort(m_rows.begin(), m_rows.end(), [&](const ResultRow &a, const ResultRow &b) {
            const bool aHas = a.dropMs != ResultRow::kNoDropTime;
            const bool bHas = b.dropMs != ResultRow::kNoDropTime;
            if (aHas != bHas)
                return aHas;
            return descending ? a.dropMs > b.dropMs : a.dropMs < b.dropMs;
        });
    } else if (sortsAsNumber(column)) {
        // Spreadsheet order: numbers by value, then every cell that is not a number (failed and
        // refused queries, blanks), in both directions.
        struct Keyed {
            std::optional<double> number;
            ResultRow row;
        };
        std::vector<Keyed> keyed;
        keyed.reserve(std::size_t(m_rows.size()));
        for (ResultRow &row : m_rows)
            keyed.push_back({Numbers::cellNumber(row.cells[column]), std::move(row)});
        std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed &a, const Keyed &b) {
            if (a.number && b.number)
                return descending ? *a.number > *b.number : *a.number < *b.number;
            if (a.number || b.number)
                return bool(a.number);
            const int c = a.row.cells[column].compare(b.row.cells[column]);
            return descending ? c > 0 : c < 0;
        });
        for (qsizetype i = 0; i < m_rows.size(); ++i)
            m_rows[i] = std::move(keyed[std::size_t(i)].row);
    } else {
        std::stable_sort(m_rows.begin(), m_rows.end(), [&](const ResultRow &a, const ResultRow &b) {
            const int c = a.cells[column].compare(b.cells[column]);
            return descending ? c > 0 : c < 0;
        });
    }
    invalidatePositions();

    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after << index(rowOf(persistentIds[i]), before[i].column());
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

RowId ResultTable::rowId(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[row].id : 0;
}

const QHash<RowId, int> &ResultTable::positions() const
{
    if (!m_positionsValid) {
        m_positions.clear();
        m_positions.reserve(m_rows.size());
        for (qsizetype i = 0; i < m_rows.size(); ++i)
            m_positions.insert(m_rows[i].id, int(i));
        m_positionsValid = true;
    }
    return m_positions;
}

int ResultTable::rowOf(RowId id) const
{
    return positions().value(id, -1);
}

QString ResultTable::cellOf(RowId id, int column) const
{
    return cell(rowOf(id), column);
}

CellState ResultTable::cellStateOf(RowId id, int column) const
{
    return cellState(rowOf(id), column);
}

bool ResultTable::setCellOf(RowId id, int column, const QString &text, CellState state)
{
    const int row = rowOf(id);
    if (row < 0)
        return false;
    setCell(row, column, text, state);
    return true;
}

void ResultTable::setNoteOf(RowId id, int column, const QString &note)
{
    const int row = rowOf(id);
    if (row < 0 || column < 0 || column >= kCellCount)
        return;
    m_notes.insert(id * kCellCount + quint64(column), note);
    const int section = sectionOf(column);
    if (section < 0)
        return;
    const QModelIndex at = index(row, section);
    Q_EMIT dataChanged(at, at, {Qt::ToolTipRole});
}

QList<RowId> ResultTable::rowIds() const
{
    QList<RowId> ids;
    ids.reserve(m_rows.size());
    for (const ResultRow &r : m_rows)
        ids << r.id;
    return ids;
}

qsizetype ResultTable::removeRowsWhere(const std::function<bool(const ResultRow &)> &doomed)
{
    // Find the runs of doomed rows first: a few runs are removed one by one; many runs are
    // compacted in one pass, since each removal moves the tail.
    QList<std::pair<qsizetype, qsizetype>> runs; // [begin, end)
    for (qsizetype row = 0; row < m_rows.size(); ++row) {
        if (!doomed(m_rows[row]))
            continue;
        if (!runs.isEmpty() && runs.last().second == row)
            runs.last().second = row + 1;
        else
            runs.append({row, row + 1});
    }
    qsizetype removed = 0;
    qsizetype timesLeft = m_rowsWithDropTime;
    for (const auto &run : runs) {
        removed += run.second - run.first;
        for (qsizetype row = run.first; row < run.second; ++row)
            timesLeft -= m_rows[row].dropMs != ResultRow::kNoDropTime;
    }
    if (runs.isEmpty())
        return 0;

    constexpr qsizetype kMaxSeparateRemovals = 64;
    if (runs.size() <= kMaxSeparateRemovals) {
        for (auto run = runs.crbegin(); run != runs.crend(); ++run) {
            beginRemoveRows({}, int(run->first), int(run->second - 1));
            m_rows.remove(run->first, run->second - run->first);
            invalidatePositions();
            endRemoveRows();
        }
    } else {
        // Announced as one layout change in which the doomed rows' indexes go invalid, not as a
        // reset: views keep their column widths, sort indicator and the survivors' selection.
        Q_EMIT layoutAboutToBeChanged();
        const QModelIndexList before = persistentIndexList();
        QList<RowId> persistentIds;
        persistentIds.reserve(before.size());
        for (const QModelIndex &i : before)
            persistentIds << m_rows[i.row()].id;
        QList<ResultRow> kept;
        kept.reserve(m_rows.size() - removed);
        qsizetype next = 0;
        for (const auto &run : runs) {
            for (; next < run.first; ++next)
                kept.append(std::move(m_rows[next]));
            next = run.second;
        }
        for (; next < m_rows.size(); ++next)
            kept.append(std::move(m_rows[next]));
        m_rows = std::move(kept);
        invalidatePositions();
        QModelIndexList after;
        after.reserve(before.size());
        for (qsizetype i = 0; i < before.size(); ++i) {
            const int row = rowOf(persistentIds[i]);
            after << (row < 0 ? QModelIndex() : index(row, before[i].column()));
        }
        changePersistentIndexList(before, after);
        Q_EMIT layoutChanged();
    }
    setHasDropTimeColumn(timesLeft);
    return removed;
}

int ResultTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ResultTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

QVariant ResultTable::data(const QModelIndex &index, int role) const
{
    const int column = columnAt(index.column());
    if (!index.isValid() || index.row() >= rowCount() || column < 0)
        return {};
    if (column == kDropTimeColumn) {
        const QDateTime utc = dropTime(index.row());
        if (role == Qt::DisplayRole)
            return utc.isValid() ? utc.toLocalTime().toString(u"yyyy-MM-dd HH:mm") : QString();
        if (role == Qt::ToolTipRole && utc.isValid())
            return utc.toString(Qt::ISODate);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        return {};
    }
    const QString &text = m_rows[index.row()].cells[column];
    const quint64 noteKey = m_rows[index.row()].id * kCellCount + quint64(column);
    if (role == kNoteRole)
        return m_notes.value(noteKey);
    if (role == Qt::ToolTipRole) {
        // A tooltip reads anything tag-like as markup (and would load an <img> it names): hand
        // it the scraped text escaped, so it shows the characters the page printed.
        const QString note = m_notes.value(noteKey);
        return QStringLiteral("<p style=\"white-space:pre\">") + text.toHtmlEscaped() +
               (note.isEmpty() ? QString() : QStringLiteral("\n") + note.toHtmlEscaped()) +
               QStringLiteral("</p>");
    }
    if (role == Qt::DisplayRole) {
        // A cell keeps what the page printed, line breaks included; one grid line shows them
        // as blanks.
        if (!text.contains(u'\n') && !text.contains(u'\r'))
            return text;
        QString shown = text;
        shown.replace(u'\n', u' ').replace(u'\r', u' ');
        return shown;
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

QVariant ResultTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (role == Qt::DisplayRole)
        return headerText(columnAt(section));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags ResultTable::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
