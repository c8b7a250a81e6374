#include "GridExport.h"

#include "table/ResultTable.h"

namespace {

// Spreadsheets run a cell that starts with one of these as a formula, and some drop a leading
// TAB or CR first; an exported page count must never become one.
QString guarded(const QString &cell)
{
    if (!cell.isEmpty() && QStringView(u"=+-@\t\r").contains(cell.front()))
        return u'\'' + cell;
    return cell;
}

void appendCsvRecord(QString &out, const QStringList &fields)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += u',';
        const QString field = guarded(fields[i]);
        const bool quoted = field.contains(u',') || field.contains(u'"') || field.contains(u'\r') ||
                            field.contains(u'\n');
        if (!quoted) {
            out += field;
            continue;
        }
        out += u'"';
        for (const QChar c : field) {
            if (c == u'"')
                out += u'"';
            out += c;
        }
        out += u'"';
    }
    out += u"\r\n";
}

} // namespace

namespace GridExport {

namespace {

QList<int> exportedColumns(const ResultTable &table)
{
    return table.shownColumns().mid(kDomainColumn);
}

} // namespace

QStringList header()
{
    QStringList captions;
    for (int column = kDomainColumn; column < kColumnCount; ++column)
        captions << ResultTable::headerText(column);
    return captions;
}

QStringList header(const QList<int> &columns)
{
    QStringList captions;
    for (const int column : columns)
        captions << ResultTable::headerText(column);
    return captions;
}

QStringList header(const ResultTable &table)
{
    return header(exportedColumns(table));
}

QList<QStringList> rows(const ResultTable &table, const QList<int> &rowsInDisplayOrder)
{
    return rows(table, rowsInDisplayOrder, exportedColumns(table));
}

QList<QStringList> rows(const ResultTable &table, const QList<int> &rowsInDisplayOrder,
                        const QList<int> &columns)
{
    QList<int> chosen = rowsInDisplayOrder;
    if (chosen.isEmpty()) {
        chosen.reserve(table.rowCount());
        for (int row = 0; row < table.rowCount(); ++row)
            chosen << row;
    }
    QList<QStringList> out;
    out.reserve(chosen.size());
    for (const int row : chosen) {
        if (row < 0 || row >= table.rowCount())
            continue;
        QStringList cells;
        cells.reserve(columns.size());
        for (const int column : columns) {
            if (column == kDropTimeColumn)
                cells << ResultTable::dropTimeText(table.dropTime(row));
            else
                cells << (table.cellState(row, column) == CellState::Blank
                              ? QString()
                              : table.cell(row, column));
        }
        out << cells;
    }
    return out;
}

QByteArray csv(const QStringList &header, const QList<QStringList> &rows, bool byteOrderMark)
{
    QString text;
    if (!header.isEmpty())
        appendCsvRecord(text, header);
    for (const QStringList &row : rows)
        appendCsvRecord(text, row);
    QByteArray bytes = byteOrderMark ? QByteArrayLiteral("\xEF\xBB\xBF") : QByteArray();
    return bytes + text.toUtf8();
}

QString tabSeparated(const QList<QStringList> &rows)
{
    QString out;
    for (const QStringList &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                out += u'\t';
            QString cell = guarded(row[i]);
            cell.replace(QStringLiteral("\r\n"), QStringLiteral(" "))
                .replace(u'\t', u' ')
                .replace(u'\r', u' ')
                .replace(u'\n', u' ');
            out += cell;
        }
        out += u'\n';
    }
    return out;
}

} // namespace GridExport
