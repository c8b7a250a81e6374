// The web archive's and a DNS resolver's JSON answers. The whole input is read as both; its
// text is also taken as a name to look up under the other suffixes, and its bytes as the outcomes
// of those lookups.
#include "FuzzCheck.h"

#include "probes/ApiAnswers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace ApiAnswers;

namespace {

void checkArchive(const QByteArray &body)
{
    const ArchiveCells cells = readArchive(body);
    if (cells.state == CellState::Failed) {
        FUZZ_CHECK(cells.firstYear == kQueryFailed && cells.years == kQueryFailed);
        return;
    }
    FUZZ_CHECK(cells.state == CellState::Value);
    // Only a JSON array of rows gets a value, and it counts every row after the header.
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    FUZZ_CHECK(doc.isArray());
    const QJsonArray rows = doc.array();
    FUZZ_CHECK(cells.years == QString::number(qMax<qsizetype>(0, rows.size() - 1)));
    if (rows.size() <= 1) {
        FUZZ_CHECK(cells.firstYear == kNoArchive);
        return;
    }
    const QString first = rows[1].toArray().at(0).toString();
    FUZZ_CHECK(cells.firstYear.size() == 4 && first.startsWith(cells.firstYear));
    FUZZ_CHECK(rows.last().toArray().at(0).toString().left(4).toInt() - cells.firstYear.toInt() >=
               rows.size() - 2);
}

void checkDoh(const QByteArray &body)
{
    const Doh answer = readDoh(body);
    if (answer == Doh::Failed)
        return;
    const QJsonObject root = QJsonDocument::fromJson(body).object();
    const QJsonValue status = root.value(u"Status");
    FUZZ_CHECK(status.isDouble() && (status.toDouble() == 0 || status.toDouble() == 3));
    if (answer == Doh::Taken)
        FUZZ_CHECK(status.toDouble() == 0 && !root.value(u"Answer").toArray().isEmpty());
}

void checkSuffixes(const QByteArray &bytes)
{
    const QStringList names = otherSuffixNames(QString::fromUtf8(bytes));
    FUZZ_CHECK(names.isEmpty() || names.size() == 8 || names.size() == 9);
    for (const QString &name : names) {
        FUZZ_CHECK(name.startsWith(names[0].section(u'.', 0, 0) + u'.'));
        FUZZ_CHECK(otherSuffixPool().contains(name.section(u'.', 1)) && name == name.toLower());
    }
    FUZZ_CHECK(QStringList(names).removeDuplicates() == 0);

    QList<Doh> answers;
    for (const char c : bytes.left(9))
        answers << Doh(quint8(c) % 3);
    const SuffixCell cell = combineSuffixes(answers);
    const bool failed = answers.isEmpty() || answers.contains(Doh::Failed);
    FUZZ_CHECK((cell.state == CellState::Failed) == failed);
    FUZZ_CHECK(
        failed ? cell.text == kQueryFailed
               : cell.text ==
                     QStringLiteral("%1/%2").arg(answers.count(Doh::Taken)).arg(answers.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body = Fuzz::Input(data, size).rest();
    checkArchive(body);
    checkDoh(body);
    checkSuffixes(body);
    return 0;
}
