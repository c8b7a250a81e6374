#include "HostName.h"

#include <QUrl>

#include <algorithm>

namespace {

bool isLdhLabel(QStringView label)
{
    if (label.isEmpty() || label.size() > 63 || label.front() == u'-' || label.back() == u'-')
        return false;
    for (QChar c : label) {
        if (!(c >= u'a' && c <= u'z') && !(c >= u'0' && c <= u'9') && c != u'-')
            return false;
    }
    return true;
}

} // namespace

std::optional<QString> asciiHostName(const QString &name)
{
    // toAce refuses what no host name can hold and maps the rest (case, full stops of other
    // scripts, other scripts) to ASCII; the labels are still checked, since it lets through
    // characters such as '/' and '_'.
    const QString ace = QString::fromLatin1(QUrl::toAce(name));
    if (ace.isEmpty() || ace.size() > 253)
        return std::nullopt;
    const QList<QStringView> labels = QStringView(ace).split(u'.');
    // A top-level label of digits alone makes an IP address, not a name (RFC 3696).
    if (labels.size() < 2 || std::all_of(labels.back().begin(), labels.back().end(),
                                         [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    for (QStringView label : labels) {
        if (!isLdhLabel(label))
            return std::nullopt;
    }
    return ace;
}
