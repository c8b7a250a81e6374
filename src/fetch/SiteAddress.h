#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringView>
#include <QUrl>

// A host on this machine: 127.0.0.0/8, ::1 (bracketed or not) or "localhost", which resolves to
// them by definition (RFC 6761). `host` may carry a ":port".
inline bool isLoopbackHost(QStringView host)
{
    if (host.startsWith(u'[')) // [v6]:port
        host = host.mid(1, host.indexOf(u']') - 1);
    else if (host.count(u':') == 1)
        host = host.left(host.indexOf(u':'));
    return host.compare(u"localhost", Qt::CaseInsensitive) == 0 ||
           QHostAddress(host.toString()).isLoopback();
}

// Every address the program asks: plain HTTP (unless `scheme` says otherwise) to a configured
// host, a fixed path and query, and (for most sites) the name asked about. The name is
// percent-encoded as UTF-8, so that a "&",
// "#", "?" or blank in a list line cannot rewrite the query into another one.
inline QString siteAddress(QStringView hostPort, QStringView pathAndQuery, QStringView name = {},
                           QStringView scheme = u"http")
{
    QString address = scheme.toString() + QStringLiteral("://");
    address.append(hostPort).append(pathAndQuery);
    if (!name.isEmpty())
        address.append(QString::fromLatin1(QUrl::toPercentEncoding(name.toString())));
    return address;
}

// The same over HTTPS, for a source whose answers decide where later requests go: a man in the
// middle must not rewrite them. Plain HTTP stays for this machine (a simulator, a local mirror),
// which no one in the middle can reach.
inline QString secureSiteAddress(QStringView hostPort, QStringView pathAndQuery,
                                 QStringView name = {})
{
    return siteAddress(hostPort, pathAndQuery, name, isLoopbackHost(hostPort) ? u"http" : u"https");
}
