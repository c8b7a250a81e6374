#include "ListCache.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>

// A cached list is one file: a line of JSON with what came with the body, then the body as it
// was downloaded.

ListCache::ListCache(QString folder)
    : m_folder(std::move(folder))
{
}

QString ListCache::filePath(const QString &id) const
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_-]+$"));
    return re.match(id).hasMatch() ? QDir(m_folder).filePath(id + QStringLiteral(".list"))
                                   : QString();
}

ListCache::Validators ListCache::validators(const QString &id) const
{
    const std::optional<Copy> copy = cached(id, QDateTime());
    return copy ? Validators{copy->lastModified, copy->etag} : Validators{};
}

bool ListCache::store(const QString &id, const QByteArray &body, const QByteArray &lastModified,
                      const QByteArray &etag, const QDateTime &now, QString *error)
{
    return write(id, Copy{body, lastModified, etag, now.toUTC(), 0}, error);
}

bool ListCache::confirm(const QString &id, const QByteArray &lastModified, const QByteArray &etag,
                        const QDateTime &now, QString *error)
{
    std::optional<Copy> copy = cached(id, now);
    if (!copy) {
        if (error)
            *error = QStringLiteral("no cached copy of \"%1\"").arg(id);
        return false;
    }
    if (!lastModified.isEmpty())
        copy->lastModified = lastModified;
    if (!etag.isEmpty())
        copy->etag = etag;
    copy->fetchedUtc = now.toUTC();
    return write(id, *copy, error);
}

std::optional<ListCache::Copy> ListCache::cached(const QString &id, const QDateTime &now) const
{
    QFile file(filePath(id));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    const qsizetype end = bytes.indexOf('\n');
    const QJsonObject meta = QJsonDocument::fromJson(bytes.left(end)).object();
    Copy copy;
    copy.fetchedUtc = QDateTime::fromString(meta.value(u"fetched").toString(), Qt::ISODate);
    if (end < 0 || !copy.fetchedUtc.isValid())
        return std::nullopt;
    copy.body = bytes.mid(end + 1);
    copy.lastModified = meta.value(u"last_modified").toString().toLatin1();
    copy.etag = meta.value(u"etag").toString().toLatin1();
    copy.ageSeconds = now.isValid() ? qMax<qint64>(0, copy.fetchedUtc.secsTo(now)) : 0;
    return copy;
}

bool ListCache::write(const QString &id, const Copy &copy, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QString path = filePath(id);
    if (path.isEmpty())
        return fail(QStringLiteral("\"%1\" cannot name a cached list").arg(id));
    if (!QDir().mkpath(m_folder))
        return fail(QStringLiteral("cannot create %1").arg(m_folder));
    const QJsonObject meta{
        {QStringLiteral("last_modified"), QString::fromLatin1(copy.lastModified)},
        {QStringLiteral("etag"), QString::fromLatin1(copy.etag)},
        {QStringLiteral("fetched"), copy.fetchedUtc.toString(Qt::ISODate)},
    };
    const QByteArray bytes = QJsonDocument(meta).toJson(QJsonDocument::Compact) + '\n' + copy.body;
    // Written aside and renamed over the old copy, so a failed write leaves it whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return true;
}
