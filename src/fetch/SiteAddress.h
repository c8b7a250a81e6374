#pragma once

#include <QString>
#include <QStringView>

// Every address the program asks: plain HTTP to a configured host, a fixed path and query, and
// (for most sites) the name asked about appended directly.
inline QString siteAddress(QStringView hostPort, QStringView pathAndQuery, QStringView name = {})
{
    QString address = QStringLiteral("http://");
    address.reserve(address.size() + hostPort.size() + pathAndQuery.size() + name.size());
    address.append(hostPort).append(pathAndQuery).append(name);
    return address;
}
