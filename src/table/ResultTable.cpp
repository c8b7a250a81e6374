#include "ResultTable.h"

#include "text/Numbers.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <numeric>
#include <optional>
#include <vector>

namespace {

struct ColumnLook {
    const char16_t *header;
    int width;
};

constexpr ColumnLook kColumns[kColumnCount] = {
    {u"", 20},           {u"查询域名", 100}, {u"百度收录", 70},  {u"百度反链", 70},
    {u"google收录", 80}, {u"yahoo收录", 70}, {u"yahoo反链", 70}, {u"yahoo不带W", 80},
    {u"PR值查询", 70},   {u"是否注册", 70},
};

// The forms a count is kept in, each printed back exactly as it came.
enum CountForm : quint32 { Plain = 0, Grouped = 1, PlainLineBreak = 2 };
// Counts from 2^29 up are kept as texts; no site's count comes near.
constexpr quint32 kCountLimit = 1u << 29;

// Digits only, no leading zero but in "0"; the value, or nullopt past the limit.
std::optional<quint32> plainDigits(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > 9 || (digits.size() > 1 && digits[0] == u'0'))
        return std::nullopt;
    quint32 value = 0;
    for (const QChar c : digits) {
        if (!Numbers::isAsciiDigit(c))
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value < kCountLimit ? std::optional(value) : std::nullopt;
}

} // namespace

CellValue CellValue::of(QStringView text, CellState state)
{
    const qsizetype slash = text.indexOf(u'/');
    return {state, Numbers::cellNumber(text),
            slash > 0 ? Numbers::cellNumber(text.left(slash)) : std::nullopt, text};
}

std::optional<quint32> ResultTable::countCode(QStringView text)
{
    if (text.isEmpty() || !Numbers::isAsciiDigit(text[0]))
        return std::nullopt;
    if (text.endsWith(u'\n')) {
        const std::optional<quint32> value = plainDigits(text.chopped(1));
        return value ? std::optional(*value << 2 | PlainLineBreak) : std::nullopt;
    }
    if (text.size() < 5 || text[text.size() - 4] != u',') {
        const std::optional<quint32> value = plainDigits(text);
        return value ? std::optional(*value << 2 | Plain) : std::nullopt;
    }
    // "1,230,000": a lead of one to three digits (not starting with 0), then groups of three.
    const qsizetype lead = (text.size() - 1) % 4 + 1;
    if (lead == 4 || text[0] == u'0')
        return std::nullopt;
    quint64 value = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool comma = i >= lead && (i - lead) % 4 == 0;
        if (comma != (text[i] == u','))
            return std::nullopt;
        if (!comma) {
            if (!Numbers::isAsciiDigit(text[i]))
                return std::nullopt;
            value = value * 10 + (text[i].unicode() - u'0');
            if (value >= kCountLimit)
                return std::nullopt;
        }
    }
    return quint32(value) << 2 | Grouped;
}

QString ResultTable::countText(quint32 code)
{
    const quint32 value = code >> 2;
    switch (CountForm(code & 3u)) {
    case Plain:
        return QString::number(value);
    case PlainLineBreak:
        return QString::number(value) + u'\n';
    case Grouped:
        break;
    }
    char16_t buffer[16];
    char16_t *end = buffer + 16;
    char16_t *at = end;
    quint32 rest = value;
    for (int digits = 0; rest > 0 || digits == 0; ++digits) {
        if (digits > 0 && digits % 3 == 0)
            *--at = u',';
        *--at = char16_t(u'0' + rest % 10);
        rest /= 10;
    }
    return QString(reinterpret_cast<const QChar *>(at), end - at);
}

quint32 ResultTable::codeOf(const QString &text)
{
    // Most cells are the blank marker: skip the hash for it.
    if (text.size() == 1 && text[0] == u' ')
        return kTextCode | 1;
    if (text.isEmpty())
        return kTextCode;
    if (const std::optional<quint32> count = countCode(text))
        return *count;
    const auto found = m_textIndex.constFind(text);
    if (found != m_textIndex.cend())
        return *found;
    const quint32 code = kTextCode | quint32(m_texts.size());
    const CellValue value = CellValue::of(text, CellState::Value);
    m_texts.append({text, stateOfSavedText(text), value.number, value.lead});
    m_textIndex.insert(text, code);
    return code;
}

QString ResultTable::textOf(quint32 code) const
{
    return code & kTextCode ? m_texts[qsizetype(code & ~kTextCode)].text : countText(code);
}

QStringView ResultTable::nameOf(int row) const
{
    const NameRef ref = m_nameRefs[std::size_t(row)];
    return QStringView(m_names.data() + ref.start, qsizetype(ref.length));
}

ResultTable::NameRef ResultTable::storeName(QStringView name)
{
    const NameRef ref{quint32(m_names.size()), quint32(name.size())};
    m_names.insert(m_names.end(), name.utf16(), name.utf16() + name.size());
    return ref;
}

void ResultTable::compactNames()
{
    std::vector<char16_t> names;
    names.reserve(m_names.size() - std::size_t(m_namesUnused));
    for (NameRef &ref : m_nameRefs) {
        const auto from = m_names.begin() + ref.start;
        ref.start = quint32(names.size());
        names.insert(names.end(), from, from + ref.length);
    }
    m_names = std::move(names);
    m_namesUnused = 0;
}

void ResultTable::setStateAt(int row, int column, CellState state)
{
    quint32 &states = m_states[std::size_t(row)];
    states = (states & ~(3u << (2 * column))) | quint32(state) << (2 * column);
}

void ResultTable::growBy(qsizetype count)
{
    const std::size_t size = m_ids.size() + std::size_t(count);
    m_ids.reserve(size);
    m_nameRefs.reserve(size);
    m_states.reserve(size);
    for (int c = 0; c < kCellCount; ++c) {
        if (c != kDomainColumn && c != kDropTimeColumn)
            m_codes[std::size_t(c)].reserve(size);
    }
}

bool ResultTable::sortsAsNumber(int column)
{
    return column == kLabelColumn || (column >= BaiduSite && column <= PageRank) ||
           column == ArchiveFirstYear || column == ArchiveYears;
}

ResultTable::ResultTable(QObject *parent)
    : QAbstractTableModel(parent)
{
    // Codes 0 and 1, which codeOf gives without a look-up.
    for (const QString &text : {QStringLiteral(""), kBlankCell}) {
        m_textIndex.insert(text, kTextCode | quint32(m_texts.size()));
        m_texts.append({text, CellState::Blank, std::nullopt, std::nullopt});
    }
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
    const auto either = [](const std::array<bool, kCellCount> &flags, int c) {
        return c == ArchiveFirstYear || c == ArchiveYears
                   ? flags[ArchiveFirstYear] || flags[ArchiveYears]
                   : flags[std::size_t(c)];
    };
    return column > kDropTimeColumn && column < kCellCount &&
           (either(m_wanted, column) || either(m_written, column));
}

bool ResultTable::holdsSomething(int column) const
{
    const quint32 mask = 3u << (2 * column);
    return std::any_of(m_states.cbegin(), m_states.cend(),
                       [mask](quint32 states) { return (states & mask) != 0; });
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
    m_ids.clear();
    m_nameRefs.clear();
    m_states.clear();
    m_drops = {};
    for (auto &codes : m_codes)
        codes.clear();
    m_names.clear();
    m_namesUnused = 0;
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
    growBy(rows.size());
    for (const RowCells &cells : std::as_const(rows)) {
        m_ids.push_back(m_nextId++);
        m_nameRefs.push_back(storeName(cells[kDomainColumn]));
        quint32 states = 0;
        for (int c = 0; c < kCellCount; ++c) {
            if (c == kDropTimeColumn)
                continue;
            CellState state;
            if (c == kDomainColumn) {
                state = stateOfSavedText(cells[kDomainColumn]);
            } else {
                const quint32 code = codeOf(cells[std::size_t(c)]);
                m_codes[std::size_t(c)].push_back(code);
                state = code & kTextCode ? m_texts[qsizetype(code & ~kTextCode)].savedState
                                         : CellState::Value;
            }
            // Only a probe writes failures; a label or a name is never one, whatever it reads.
            if (c < BaiduSite && state != CellState::Blank)
                state = CellState::Value;
            if (c > kDropTimeColumn && state != CellState::Blank)
                m_written[std::size_t(c)] = true;
            states |= quint32(state) << (2 * c);
        }
        m_states.push_back(states);
    }
    if (!m_drops.empty())
        m_drops.resize(m_states.size(), ResultRow::kNoDropTime);
    invalidatePositions();
    endInsertRows();
    updateShownColumns();
}

void ResultTable::appendNames(const QStringList &names, qint64 firstLabel)
{
    if (names.isEmpty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + int(names.size()) - 1);
    growBy(names.size());
    const quint32 blank = codeOf(kBlankCell);
    // The label holds a value, and the domain unless it is blank; every other cell is blank.
    const quint32 labelOnly = quint32(CellState::Value) << (2 * kLabelColumn);
    const quint32 withName = labelOnly | quint32(CellState::Value) << (2 * kDomainColumn);
    for (qsizetype i = 0; i < names.size(); ++i) {
        m_ids.push_back(m_nextId++);
        m_nameRefs.push_back(storeName(names[i]));
        const qint64 label = firstLabel + i;
        m_codes[kLabelColumn].push_back(label >= 0 && label < kCountLimit
                                            ? quint32(label) << 2 | Plain
                                            : codeOf(QString::number(label)));
        for (int c = BaiduSite; c < kCellCount; ++c) {
            if (c != kDropTimeColumn)
                m_codes[std::size_t(c)].push_back(blank);
        }
        m_states.push_back(stateOfSavedText(names[i]) == CellState::Blank ? labelOnly : withName);
    }
    if (!m_drops.empty())
        m_drops.resize(m_states.size(), ResultRow::kNoDropTime);
    invalidatePositions();
    endInsertRows();
}

namespace {

// The columns a saved row's `cells` holds, in order.
constexpr std::array<int, kCellCount - 2> kSavedColumns = [] {
    std::array<int, kCellCount - 2> columns{};
    std::size_t at = 0;
    for (int c = 0; c < kCellCount; ++c) {
        if (c != kDomainColumn && c != kDropTimeColumn)
            columns[at++] = c;
    }
    return columns;
}();
constexpr quint32 kSavedBlank = 0xFFFF'FFFFu;
constexpr quint32 kSavedText = 0x8000'0000u;

// Writes `word` at `at` in little-endian order; returns the place after it.
char *putWord(char *at, quint32 word)
{
    qToLittleEndian(word, at);
    return at + sizeof word;
}

} // namespace

SavedRow ResultTable::savedRow(int row) const
{
    SavedRow saved;
    if (row < 0 || row >= rowCount())
        return saved;
    saved.name = nameOf(row).toString();
    // Sized first and written in place: a first save takes this for every row of the grid.
    const auto codeAt = [&](int c) { return m_codes[std::size_t(c)][std::size_t(row)]; };
    const auto isText = [](quint32 code) { return (code & kTextCode) && code != (kTextCode | 1); };
    qsizetype size = qsizetype(kSavedColumns.size() * sizeof(quint32));
    for (const int c : kSavedColumns) {
        if (const quint32 code = codeAt(c); isText(code))
            size += m_texts[qsizetype(code & ~kTextCode)].text.size() * qsizetype(sizeof(char16_t));
    }
    saved.cells = QByteArray(size, Qt::Uninitialized);
    char *at = saved.cells.data();
    for (const int c : kSavedColumns) {
        const quint32 code = codeAt(c);
        if (!(code & kTextCode)) {
            at = putWord(at, code);
        } else if (!isText(code)) {
            at = putWord(at, kSavedBlank);
        } else {
            const QString &text = m_texts[qsizetype(code & ~kTextCode)].text;
            at = putWord(at, kSavedText | quint32(text.size()));
            qToLittleEndian<quint16>(text.utf16(), text.size(), at);
            at += text.size() * qsizetype(sizeof(char16_t));
        }
    }
    saved.states = m_states[std::size_t(row)];
    saved.dropMs = dropAt(row);
    return saved;
}

void ResultTable::appendSavedRows(const QList<SavedRow> &rows)
{
    if (rows.isEmpty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    growBy(rows.size());
    int row = first;
    QString text;
    for (const SavedRow &saved : rows) {
        m_ids.push_back(m_nextId++);
        m_nameRefs.push_back(storeName(saved.name));
        const auto *at = reinterpret_cast<const uchar *>(saved.cells.constData());
        const auto *end = at + saved.cells.size();
        for (const int c : kSavedColumns) {
            quint32 code = kTextCode | 1;
            if (end - at >= 4) {
                const quint32 word = qFromLittleEndian<quint32>(at);
                at += 4;
                const qsizetype length = qsizetype(word & ~kSavedText);
                if (!(word & kSavedText)) {
                    // A form the grid never writes is kept as the text it stands for.
                    code = (word & 3u) != 3u ? word : codeOf(QString::number(word >> 2));
                } else if (word != kSavedBlank && (end - at) / 2 >= length) {
                    text.resize(length);
                    for (QChar &unit : text) {
                        unit = QChar(qFromLittleEndian<quint16>(at));
                        at += 2;
                    }
                    code = codeOf(text);
                }
            }
            m_codes[std::size_t(c)].push_back(code);
        }
        // The drop time's bits stay clear: it has no state.
        m_states.push_back(saved.states & ~(3u << (2 * kDropTimeColumn)));
        if (saved.dropMs != ResultRow::kNoDropTime) {
            m_drops.resize(m_states.size(), ResultRow::kNoDropTime);
            m_drops.back() = saved.dropMs;
            ++m_rowsWithDropTime;
        }
        for (int c = kDropTimeColumn + 1; c < kCellCount; ++c) {
            if (stateAt(row, c) != CellState::Blank)
                m_written[std::size_t(c)] = true;
        }
        ++row;
    }
    if (!m_drops.empty())
        m_drops.resize(m_states.size(), ResultRow::kNoDropTime);
    invalidatePositions();
    endInsertRows();
    updateShownColumns();
}

QString ResultTable::cell(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= kCellCount ||
        column == kDropTimeColumn)
        return {};
    if (column == kDomainColumn)
        return nameOf(row).toString();
    return textOf(m_codes[std::size_t(column)][std::size_t(row)]);
}

CellState ResultTable::cellState(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= kCellCount)
        return CellState::Blank;
    return stateAt(row, column);
}

CellValue ResultTable::cellValue(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= kCellCount ||
        column == kDropTimeColumn)
        return {};
    const CellState state = stateAt(row, column);
    if (column == kDomainColumn)
        return {state, std::nullopt, std::nullopt, nameOf(row)};
    const quint32 code = m_codes[std::size_t(column)][std::size_t(row)];
    if (!(code & kTextCode))
        return {state, double(code >> 2), std::nullopt, {}};
    const Text &text = m_texts[qsizetype(code & ~kTextCode)];
    return {state, text.number, text.lead, text.text};
}

void ResultTable::setCell(int row, int column, const QString &text, CellState state)
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= kCellCount ||
        column == kDropTimeColumn)
        return;
    if (column == kDomainColumn) {
        m_namesUnused += m_nameRefs[std::size_t(row)].length;
        m_nameRefs[std::size_t(row)] = storeName(text);
        if (std::size_t(m_namesUnused) > m_names.size() / 2)
            compactNames();
    } else {
        m_codes[std::size_t(column)][std::size_t(row)] = codeOf(text);
    }
    setStateAt(row, column, state);
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
    const qsizetype count = qMin(utcByRow.size(), qsizetype(rowCount()));
    qsizetype withTime = m_rowsWithDropTime;
    if (m_drops.empty() && count > 0)
        m_drops.resize(m_states.size(), ResultRow::kNoDropTime);
    for (qsizetype i = 0; i < count; ++i) {
        qint64 &ms = m_drops[std::size_t(i)];
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
    if (row < 0 || row >= rowCount() || dropAt(row) == ResultRow::kNoDropTime)
        return {};
    return QDateTime::fromMSecsSinceEpoch(dropAt(row), Qt::UTC);
}

QString ResultTable::dropTimeText(const QDateTime &utc)
{
    return utc.isValid() ? utc.toLocalTime().toString(Qt::ISODate) : QString();
}

namespace {

// `rows` put in the order of their keys, or of the keys turned around when `descending`, rows
// with equal keys in the order given: a radix sort, a byte at a time from the lowest, skipping
// each byte that all keys share. A header sort of a million rows thus takes a few passes over
// memory, whatever the values.
void orderByKeys(std::vector<quint32> &rows, const std::vector<quint64> &keyOfRow, bool descending)
{
    const quint64 flip = descending ? ~quint64(0) : 0;
    const std::size_t n = rows.size();
    if (n < 2)
        return;
    struct Item {
        quint64 key;
        quint32 row;
    };
    std::vector<Item> items(n);
    std::vector<Item> spare(n);
    std::array<std::array<std::size_t, 256>, 8> counts{};
    for (std::size_t i = 0; i < n; ++i) {
        const quint64 key = keyOfRow[rows[i]] ^ flip;
        items[i] = {key, rows[i]};
        for (std::size_t digit = 0; digit < 8; ++digit)
            ++counts[digit][(key >> (8 * digit)) & 0xFF];
    }
    for (std::size_t digit = 0; digit < 8; ++digit) {
        std::array<std::size_t, 256> &count = counts[digit];
        const int shift = int(8 * digit);
        if (count[(items[0].key >> shift) & 0xFF] == n)
            continue;
        std::size_t at = 0;
        for (std::size_t &c : count)
            at += std::exchange(c, at);
        for (const Item &item : items)
            spare[count[(item.key >> shift) & 0xFF]++] = item;
        items.swap(spare);
    }
    for (std::size_t i = 0; i < n; ++i)
        rows[i] = items[i].row;
}

// A number as an unsigned key in the same order; both zeros are one.
quint64 numberKey(double number)
{
    const quint64 bits = std::bit_cast<quint64>(number == 0 ? 0.0 : number);
    return bits & (quint64(1) << 63) ? ~bits : bits | (quint64(1) << 63);
}

} // namespace

std::vector<quint32> ResultTable::sortOrder(int column, bool descending) const
{
    const std::size_t n = m_ids.size();
    std::vector<quint32> order(n);
    std::iota(order.begin(), order.end(), 0u);
    // Equal keys keep their order (the sort is stable) in both directions.
    const auto byKeys = [&](std::vector<quint32> &rows, const std::vector<quint64> &keys) {
        orderByKeys(rows, keys, descending);
    };
    if (column == kDropTimeColumn) {
        // Soonest first when ascending; rows without a time after the others either way.
        std::vector<quint64> keys(n);
        for (std::size_t i = 0; i < n; ++i) {
            const qint64 ms = i < m_drops.size() ? m_drops[i] : ResultRow::kNoDropTime;
            keys[i] = ms == ResultRow::kNoDropTime ? (descending ? 0 : ~quint64(0))
                                                   : quint64(ms) ^ (quint64(1) << 63);
        }
        byKeys(order, keys);
        return order;
    }
    if (column == kDomainColumn) {
        std::stable_sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
            const int c = nameOf(int(a)).compare(nameOf(int(b)));
            return descending ? c > 0 : c < 0;
        });
        return order;
    }
    // Each distinct text's place among the others, so that rows compare by integers.
    const std::vector<quint32> &codes = m_codes[std::size_t(column)];
    std::vector<quint32> byText(std::size_t(m_texts.size()));
    std::iota(byText.begin(), byText.end(), 0u);
    std::sort(byText.begin(), byText.end(),
              [&](quint32 a, quint32 b) { return m_texts[a].text < m_texts[b].text; });
    std::vector<quint32> textRank(byText.size());
    for (std::size_t i = 0; i < byText.size(); ++i)
        textRank[byText[i]] = quint32(i);

    const bool numeric = sortsAsNumber(column);
    if (!numeric) {
        std::vector<quint64> keys(n);
        bool textsOnly = true;
        for (std::size_t i = 0; i < n; ++i) {
            const quint32 code = codes[i];
            textsOnly = textsOnly && (code & kTextCode);
            keys[i] = code & kTextCode ? textRank[code & ~kTextCode] : 0;
        }
        // A text column that holds counts too compares them as their texts.
        if (!textsOnly) {
            QList<QString> shown;
            for (std::size_t i = 0; i < n; ++i) {
                if (!(codes[i] & kTextCode))
                    shown << countText(codes[i]);
            }
            for (const Text &t : m_texts)
                shown << t.text;
            std::sort(shown.begin(), shown.end());
            shown.erase(std::unique(shown.begin(), shown.end()), shown.end());
            for (std::size_t i = 0; i < n; ++i)
                keys[i] = quint64(std::lower_bound(shown.cbegin(), shown.cend(), textOf(codes[i])) -
                                  shown.cbegin());
        }
        byKeys(order, keys);
        return order;
    }
    // Spreadsheet order: numbers by value, then every cell that is not a number (failed and
    // refused queries, blanks) by text, after them in both directions.
    std::vector<quint64> keys(n);
    std::vector<quint32> numbers;
    std::vector<quint32> others;
    numbers.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const quint32 code = codes[i];
        if (!(code & kTextCode)) {
            keys[i] = numberKey(double(code >> 2));
            numbers.push_back(quint32(i));
            continue;
        }
        const quint32 index = code & ~kTextCode;
        if (const std::optional<double> number = m_texts[qsizetype(index)].number) {
            keys[i] = numberKey(*number);
            numbers.push_back(quint32(i));
        } else {
            keys[i] = textRank[index];
            others.push_back(quint32(i));
        }
    }
    byKeys(numbers, keys);
    byKeys(others, keys);
    order = std::move(numbers);
    order.insert(order.end(), others.begin(), others.end());
    return order;
}

template <typename T> static void permute(std::vector<T> &values, const std::vector<quint32> &order)
{
    if (values.empty())
        return;
    std::vector<T> sorted;
    sorted.reserve(values.size());
    for (const quint32 from : order)
        sorted.push_back(std::move(values[from]));
    values = std::move(sorted);
}

void ResultTable::reorder(const std::vector<quint32> &order)
{
    permute(m_ids, order);
    permute(m_nameRefs, order);
    permute(m_states, order);
    permute(m_drops, order);
    for (auto &codes : m_codes)
        permute(codes, order);
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
        persistentIds << m_ids[std::size_t(i.row())];

    reorder(sortOrder(column, descending));
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
    return row >= 0 && row < rowCount() ? m_ids[std::size_t(row)] : 0;
}

void ResultTable::findPositions() const
{
    m_positions.clear();
    m_rowByIdOffset.clear();
    m_positionsValid = true;
    if (m_ids.empty())
        return;
    const auto [lowest, highest] = std::minmax_element(m_ids.cbegin(), m_ids.cend());
    const RowId span = *highest - *lowest + 1;
    if (span <= RowId(4 * m_ids.size() + 1024)) {
        m_firstId = *lowest;
        m_rowByIdOffset.assign(std::size_t(span), -1);
        for (std::size_t i = 0; i < m_ids.size(); ++i)
            m_rowByIdOffset[std::size_t(m_ids[i] - m_firstId)] = int(i);
        return;
    }
    m_positions.reserve(qsizetype(m_ids.size()));
    for (std::size_t i = 0; i < m_ids.size(); ++i)
        m_positions.insert(m_ids[i], int(i));
}

int ResultTable::rowOf(RowId id) const
{
    if (!m_positionsValid)
        findPositions();
    if (m_rowByIdOffset.empty())
        return m_positions.value(id, -1);
    return id >= m_firstId && id - m_firstId < m_rowByIdOffset.size()
               ? m_rowByIdOffset[std::size_t(id - m_firstId)]
               : -1;
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
    return QList<RowId>(m_ids.cbegin(), m_ids.cend());
}

ResultRow ResultTable::textRow(int row) const
{
    ResultRow r{m_ids[std::size_t(row)], {}, {}, dropAt(row)};
    for (int c = 0; c < kCellCount; ++c) {
        r.cells[std::size_t(c)] = cell(row, c);
        r.states[std::size_t(c)] = stateAt(row, c);
    }
    return r;
}

qsizetype ResultTable::removeRowsWhere(const std::function<bool(const ResultRow &)> &doomed)
{
    return removeRowsWhere([&](int row) { return doomed(textRow(row)); });
}

template <typename T> static void keepOnly(std::vector<T> &values, const std::vector<bool> &keep)
{
    if (values.empty())
        return;
    std::size_t to = 0;
    for (std::size_t from = 0; from < values.size(); ++from) {
        if (keep[from])
            values[to++] = std::move(values[from]);
    }
    values.resize(to);
}

template <typename T> static void eraseRange(std::vector<T> &values, int first, int end)
{
    if (!values.empty())
        values.erase(values.begin() + first, values.begin() + end);
}

void ResultTable::eraseRows(int first, int end)
{
    for (int row = first; row < end; ++row)
        m_namesUnused += m_nameRefs[std::size_t(row)].length;
    eraseRange(m_ids, first, end);
    eraseRange(m_nameRefs, first, end);
    eraseRange(m_states, first, end);
    eraseRange(m_drops, first, end);
    for (auto &codes : m_codes)
        eraseRange(codes, first, end);
    if (std::size_t(m_namesUnused) > m_names.size() / 2)
        compactNames();
}

void ResultTable::keepRows(const std::vector<bool> &keep)
{
    for (std::size_t row = 0; row < keep.size(); ++row)
        m_namesUnused += keep[row] ? 0 : m_nameRefs[row].length;
    keepOnly(m_ids, keep);
    keepOnly(m_nameRefs, keep);
    keepOnly(m_states, keep);
    keepOnly(m_drops, keep);
    for (auto &codes : m_codes)
        keepOnly(codes, keep);
    if (std::size_t(m_namesUnused) > m_names.size() / 2)
        compactNames();
}

qsizetype ResultTable::removeRowsWhere(const std::function<bool(int row)> &doomed)
{
    // Find the runs of doomed rows first: a few runs are removed one by one; many runs are
    // compacted in one pass, since each removal moves the tail.
    QList<std::pair<int, int>> runs; // [begin, end)
    const int count = rowCount();
    for (int row = 0; row < count; ++row) {
        if (!doomed(row))
            continue;
        if (!runs.isEmpty() && runs.last().second == row)
            runs.last().second = row + 1;
        else
            runs.append({row, row + 1});
    }
    if (runs.isEmpty())
        return 0;
    qsizetype removed = 0;
    qsizetype timesLeft = m_rowsWithDropTime;
    std::vector<bool> keep(std::size_t(count), true);
    for (const auto &run : runs) {
        removed += run.second - run.first;
        for (int row = run.first; row < run.second; ++row) {
            timesLeft -= dropAt(row) != ResultRow::kNoDropTime;
            keep[std::size_t(row)] = false;
        }
    }

    constexpr qsizetype kMaxSeparateRemovals = 64;
    if (runs.size() <= kMaxSeparateRemovals) {
        for (auto run = runs.crbegin(); run != runs.crend(); ++run) {
            beginRemoveRows({}, run->first, run->second - 1);
            eraseRows(run->first, run->second);
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
            persistentIds << m_ids[std::size_t(i.row())];
        keepRows(keep);
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
    return parent.isValid() ? 0 : int(m_ids.size());
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
    const QString text = cell(index.row(), column);
    const quint64 noteKey = m_ids[std::size_t(index.row())] * kCellCount + quint64(column);
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
