#pragma once

#include <QString>
#include <QStringView>
#include <QUrl>

// Every address the program asks: plain HTTP to a configured host, a fixed path and query, and
// (for most sites) the name asked about. The name is percent-encoded as UTF-8, so that a "&",
// "#", "?" or blank in a list line cannot rewrite the query into another one.
inline QString siteAddress(QStringView hostPort, QStringView pathAndQuery, QStringView name = {})
{
    QString address = QStringLiteral("http://");
    address.append(hostPort).append(pathAndQuery);
    if (!name.isEmpty())
        address.append(QString::fromLatin1(QUrl::toPercentEncoding(name.toString())));
    return address;
}
