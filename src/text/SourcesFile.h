#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringView>

// The sources table's file, shared by its two halves ("probes" and "lists"), which read it apart.
namespace SourcesFile {

// The table the program ships with, :/sources/sources.json.
QByteArray builtIn();

// The object under `key` in a sources file. Empty when the file has no such key. Empty with
// `why` set when the file is no JSON object or `key` holds no object.
QJsonObject section(const QByteArray &json, QStringView key, QString *why);

} // namespace SourcesFile
