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
    url.setUserName(proxy.user(), QUrl::DecodedMode);
    url.setHost(proxy.hostName());
    url.setPort(proxy.port());
    return url.toString();
}

QString proxyUrlWithoutPassword(const QString &url)
{
    // Up to the last '@', so that a password holding '@' or '/' is cut out whole.
    static const QRegularExpression password(QStringLiteral(R"(^([^:/@]*://[^:/@]*):.*@)"));
    QString out = url;
    return out.replace(password, QStringLiteral("\\1@"));
}
