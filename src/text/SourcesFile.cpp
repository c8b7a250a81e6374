#include "SourcesFile.h"

#include <QFile>
#include <QJsonDocument>

namespace SourcesFile {

QByteArray builtIn()
{
    QFile file(QStringLiteral(":/sources/sources.json"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("the built-in sources table is missing");
    return file.readAll();
}

QJsonObject section(const QByteArray &json, QStringView key, QString *why)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *why = QStringLiteral("not JSON: %1 at byte %2")
                   .arg(parseError.errorString())
                   .arg(parseError.offset);
        return {};
    }
    if (!doc.isObject()) {
        *why = QStringLiteral("not a JSON object");
        return {};
    }
    const QJsonValue value = doc.object().value(key);
    if (value.isUndefined())
        return {};
    if (!value.isObject()) {
        *why = QStringLiteral("\"%1\" is not an object").arg(key);
        return {};
    }
    return value.toObject();
}

} // namespace SourcesFile
