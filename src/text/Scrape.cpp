#include "Scrape.h"

namespace Scrape {

std::optional<QString> pieceAfter(QStringView page, QStringView marker, int occurrence)
{
    if (marker.isEmpty() || occurrence < 1)
        return std::nullopt;
    qsizetype at = -marker.size();
    for (int i = 0; i < occurrence; ++i) {
        at = page.indexOf(marker, at + marker.size());
        if (at < 0)
            return std::nullopt;
    }
    const qsizetype start = at + marker.size();
    const qsizetype next = page.indexOf(marker, start);
    return (next < 0 ? page.mid(start) : page.mid(start, next - start)).toString();
}

QString cutAt(QStringView text, QStringView terminator)
{
    const qsizetype at = terminator.isEmpty() ? -1 : text.indexOf(terminator);
    return (at < 0 ? text : text.left(at)).toString();
}

QString removeAll(QString text, const QStringList &removals)
{
    for (const QString &r : removals) {
        if (!r.isEmpty())
            text.remove(r);
    }
    return text;
}

} // namespace Scrape
