#include "ApiAnswers.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTime>

namespace ApiAnswers {

namespace {

// One cell of a row: a one-element array holding a string.
QString onlyString(const QJsonValue &row)
{
    const QJsonArray cells = row.toArray();
    return row.isArray() && cells.size() == 1 && cells[0].isString() ? cells[0].toString()
                                                                     : QString();
}

} // namespace

ArchiveCells readArchive(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return {};
    const QJsonArray rows = doc.array();
    if (!rows.isEmpty() && onlyString(rows[0]) != u"timestamp")
        return {};
    if (rows.size() <= 1)
        return {CellState::Value, kNoArchive, QStringLiteral("0")};
    // Collapsed to one capture a year, so the years only ever rise; anything else is not the
    // answer this query gets, and counting it would mislead.
    int previousYear = 0;
    for (qsizetype i = 1; i < rows.size(); ++i) {
        const QString stamp = onlyString(rows[i]);
        const QDate day = QDate::fromString(stamp.left(8), QStringLiteral("yyyyMMdd"));
        const QTime time = QTime::fromString(stamp.mid(8), QStringLiteral("HHmmss"));
        if (stamp.size() != 14 || !day.isValid() || !time.isValid() || day.year() <= previousYear)
            return {};
        previousYear = day.year();
    }
    return {CellState::Value, onlyString(rows[1]).left(4), QString::number(rows.size() - 1)};
}

Doh readDoh(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return Doh::Failed;
    const QJsonObject root = doc.object();
    const QJsonValue status = root.value(u"Status");
    if (!status.isDouble())
        return Doh::Failed;
    const double code = status.toDouble();
    if (code == 3)
        return Doh::NotTaken;
    if (code != 0)
        return Doh::Failed;
    const QJsonValue answer = root.value(u"Answer");
    if (answer.isUndefined())
        return Doh::NotTaken;
    if (!answer.isArray())
        return Doh::Failed;
    for (const QJsonValue &record : answer.toArray()) {
        if (record.toObject().value(u"type").toDouble() == 2)
            return Doh::Taken;
    }
    return Doh::NotTaken;
}

const QStringList &otherSuffixPool()
{
    static const QStringList pool = {
        QStringLiteral("com"),    QStringLiteral("info"),   QStringLiteral("net"),
        QStringLiteral("org"),    QStringLiteral("biz"),    QStringLiteral("cn"),
        QStringLiteral("com.cn"), QStringLiteral("net.cn"), QStringLiteral("org.cn"),
    };
    return pool;
}

QStringList otherSuffixNames(const QString &name)
{
    QString fqdn = name.trimmed().toLower();
    if (fqdn.endsWith(u'.'))
        fqdn.chop(1);
    const QString label = fqdn.section(u'.', 0, 0);
    const QString own = fqdn.section(u'.', 1);
    QStringList out;
    if (label.isEmpty())
        return out;
    for (const QString &suffix : otherSuffixPool()) {
        if (suffix != own)
            out << label + u'.' + suffix;
    }
    return out;
}

SuffixCell combineSuffixes(const QList<Doh> &answers)
{
    if (answers.isEmpty() || answers.contains(Doh::Failed))
        return {CellState::Failed, kQueryFailed};
    return {CellState::Value,
            QStringLiteral("%1/%2").arg(answers.count(Doh::Taken)).arg(answers.size())};
}

} // namespace ApiAnswers
