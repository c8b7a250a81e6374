#include "ProxyUrl.h"

#include <QRegularExpression>
#include <QUrl>

std::optional<QNetworkProxy> parseProxyUrl(const QString &url, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QUrl parsed(url.trimmed(), QUrl::StrictMode);
    if (url.trimmed().isEmpty() || !parsed.isValid())
        return fail(QStringLiteral("not a URL"));
    QNetworkProxy::ProxyType type;
    if (parsed.scheme() == u"http")
        type = QNetworkProxy::HttpProxy;
    else if (parsed.scheme() == u"socks5")
        type = QNetworkProxy::Socks5Proxy;
    else
        return fail(QStringLiteral("the scheme must be http:// or socks5://"));
    if (parsed.host().isEmpty())
        return fail(QStringLiteral("no host"));
    if (parsed.port() < 1)
        return fail(QStringLiteral("no port"));
    if (!(parsed.path().isEmpty() || parsed.path() == u"/") || parsed.hasQuery() ||
        parsed.hasFragment())
        return fail(QStringLiteral("a proxy URL has no path, query or fragment"));
    return QNetworkProxy(type, parsed.host(), quint16(parsed.port()),
                         parsed.userName(QUrl::FullyDecoded), parsed.password(QUrl::FullyDecoded));
}

QString proxyDisplayUrl(const QNetworkProxy &proxy)
{
    QUrl url;
    if (proxy.type() == QNetworkProxy::HttpProxy)
        url.setScheme(QStringLiteral("http"));
    else if (proxy.type() == QNetworkProxy::Socks5Proxy)
        url.setScheme(QStringLiteral("socks5"));
    else
        return {};
    url.setHost(proxy.hostName());
    url.setPort(proxy.port());
    return url.toString();
}

QString invalidProxyText(const QString &url)
{
    static const QString invalid = QStringLiteral("代理设置无效");
    // Whatever stands before the last '@' may be a user or a password, and so may a word before
    // a ':' that no port follows ("me:s3cret") or a word without a dot ("http://me:pa@ss:1").
    QString rest = url.trimmed();
    const qsizetype at = rest.lastIndexOf(u'@');
    static const QRegularExpression scheme(
        QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*(?::/{1,2}|//)"));
    if (at >= 0)
        rest = rest.mid(at + 1);
    else
        rest.remove(scheme);
    static const QRegularExpression hostAndPort(QStringLiteral(
        R"(^(\[[0-9A-Fa-f:.]+\]|[A-Za-z0-9-]+(?:\.[A-Za-z0-9-]+)+):([0-9]{1,5})(?:/|$))"));
    const QRegularExpressionMatch plain = hostAndPort.match(rest);
    const int port = plain.captured(2).toInt();
    if (!plain.hasMatch() || port < 1 || port > 65535)
        return invalid;
    return invalid + QStringLiteral("（主机 %1）").arg(plain.captured(1));
}
