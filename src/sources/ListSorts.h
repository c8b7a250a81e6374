#pragma once

#include <QString>
#include <QStringList>

class DeletionLists;

// The sorts behind the list-sort buttons.
namespace Sources {

// Orders `list` by length (QString::size()) exactly as this exchange procedure does:
//     for i in 0..n-1: for j in i..n-1: if len(w[i]) > len(w[j]) swap(w[i], w[j])
// Texts are never compared; the order among equal lengths is the procedure's, which is not that
// of a stable sort. Time O(n log n), whatever order the lengths come in.
void sortByLength(QStringList &list);

// The net.cn, com.cn, org.cn and gov.cn lists, each by length; cn is left as it is.
void sortDomesticLists(DeletionLists &lists);
// The com, info, net, org and biz lists, in that order, each by length.
void sortInternationalLists(DeletionLists &lists);

// The leading numbers of `input` (Numbers::leadingNumber), ascending, each written by
// Numbers::shortestDecimal.
QStringList sortBySize(const QStringList &input);

// The texts the size-sort input box starts with, and those of its output box.
inline const QStringList kSizeSortSample = {
    QStringLiteral("95"),  QStringLiteral("54"),   QStringLiteral("26"),  QStringLiteral("47"),
    QStringLiteral("68"),  QStringLiteral("35"),   QStringLiteral("120"), QStringLiteral("56"),
    QStringLiteral("484"), QStringLiteral("1256"), QStringLiteral("782"), QStringLiteral("45968"),
    QStringLiteral("512"), QStringLiteral("488"),  QStringLiteral("456"), QStringLiteral("8948"),
    QStringLiteral("3123")};
inline const QStringList kSizeSortInitialResult = {QStringLiteral("5"), QStringLiteral("6"),
                                                   QStringLiteral("4")};

} // namespace Sources
