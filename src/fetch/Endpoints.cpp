#include "Endpoints.h"

#include <QRegularExpression>

namespace {

struct Field {
    const char *name;
    QString Endpoints::*member;
};

const Field kFields[] = {
    {"baidu", &Endpoints::baidu},
    {"google", &Endpoints::google},
    {"yahoo", &Endpoints::yahoo},
    {"registrar", &Endpoints::registrar},
    {"pagerank", &Endpoints::pagerank},
    {"cn_registry", &Endpoints::cnRegistry},
    {"daily_lists", &Endpoints::dailyLists},
    {"deletion_tool", &Endpoints::deletionTool},
    {"icp", &Endpoints::icp},
    {"maker", &Endpoints::maker},
    {"iana", &Endpoints::iana},
    {"droplist_uk", &Endpoints::droplistUk},
    {"droplist_se", &Endpoints::droplistSe},
    {"droplist_nu", &Endpoints::droplistNu},
    {"droplist_pl", &Endpoints::droplistPl},
    {"archive", &Endpoints::archive},
    {"doh", &Endpoints::doh},
};

const Field *findField(const QString &name)
{
    for (const Field &f : kFields) {
        if (name == QLatin1String(f.name))
            return &f;
    }
    return nullptr;
}

// A host name or IPv4 address, or a bracketed IPv6 address, with an optional port.
bool isHostPort(const QString &text)
{
    static const QRegularExpression re(QStringLiteral(
        R"(^(?:[A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?|\[[0-9A-Fa-f:.]+\])(?::([0-9]{1,5}))?$)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    if (m.hasCaptured(1)) {
        const int port = m.captured(1).toInt();
        return port >= 1 && port <= 65535;
    }
    return true;
}

} // namespace

QStringList Endpoints::names()
{
    QStringList out;
    for (const Field &f : kFields)
        out << QLatin1String(f.name);
    return out;
}

Endpoints Endpoints::publicHosts()
{
    Endpoints e;
    e.baidu = QStringLiteral("www.baidu.com");
    e.google = QStringLiteral("www.google.com.hk");
    e.yahoo = QStringLiteral("sitemap.cn.yahoo.com");
    e.registrar = QStringLiteral("panda.www.net.cn");
    e.pagerank = QStringLiteral("pr.chinaz.com");
    e.cnRegistry = QStringLiteral("www.cnnic.cn");
    e.dailyLists = QStringLiteral("lists.varnel-soft.example");
    e.deletionTool = QStringLiteral("whois.chinaz.com");
    e.icp = QStringLiteral("icp.chinaz.com");
    e.maker = QStringLiteral("www.varnel-soft.example");
    e.iana = QStringLiteral("data.iana.org");
    e.droplistUk = QStringLiteral("droplists.nominet.uk");
    e.droplistSe = QStringLiteral("data.internetstiftelsen.se");
    e.droplistNu = QStringLiteral("data.internetstiftelsen.se");
    e.droplistPl = QStringLiteral("dns.pl");
    e.archive = QStringLiteral("web.archive.org");
    e.doh = QStringLiteral("dns.alidns.com");
    return e;
}

Endpoints Endpoints::allAt(const QString &hostPort)
{
    Endpoints e;
    for (const Field &f : kFields)
        e.*(f.member) = hostPort;
    return e;
}

QString Endpoints::host(const QString &name) const
{
    const Field *f = findField(name);
    return f ? this->*(f->member) : QString();
}

bool Endpoints::setHost(const QString &name, const QString &hostPort)
{
    const Field *f = findField(name);
    if (!f || !isHostPort(hostPort))
        return false;
    this->*(f->member) = hostPort;
    return true;
}

QString Endpoints::toFileText() const
{
    QString out;
    for (const Field &f : kFields)
        out += QLatin1String(f.name) + QStringLiteral(" = ") + this->*(f.member) + u'\n';
    return out;
}

std::optional<Endpoints> Endpoints::parse(const QString &text, const Endpoints &base,
                                          QString *error)
{
    Endpoints result = base;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        const qsizetype hash = line.indexOf(u'#');
        if (hash >= 0)
            line.truncate(hash);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        const auto fail = [&](const QString &why) {
            if (error)
                *error = QStringLiteral("line %1: %2").arg(i + 1).arg(why);
            return std::nullopt;
        };
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            return fail(QStringLiteral("expected \"name = host[:port]\""));
        const QString name = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (!findField(name))
            return fail(QStringLiteral("unknown endpoint \"%1\" (known: %2)")
                            .arg(name, names().join(QStringLiteral(", "))));
        if (!result.setHost(name, value))
            return fail(QStringLiteral("\"%1\" is not a host[:port]").arg(value));
    }
    return result;
}
