#include "Refusal.h"

namespace {

bool showsBlockPage(QStringView text, const RefusalSigns &signs)
{
    static const QStringList generic = {QStringLiteral("验证码"), QStringLiteral("访问过于频繁")};
    for (const QStringList *markers : {&signs.markers, &generic}) {
        for (const QString &marker : *markers) {
            if (text.contains(marker))
                return true;
        }
    }
    return false;
}

} // namespace

Verdict judgeAnswer(const FetchResult &answer, const RefusalSigns &signs, QStringView ownMarker)
{
    switch (answer.status) {
    case FetchResult::Status::Failed:
    case FetchResult::Status::NotModified: // no request here asks whether a page changed
        return Verdict::Failed;
    case FetchResult::Status::HttpError:
        if (answer.httpStatus == 429)
            return Verdict::Refused;
        if ((answer.httpStatus == 403 || answer.httpStatus == 503) &&
            showsBlockPage(answer.text, signs))
            return Verdict::Refused;
        return Verdict::Failed;
    case FetchResult::Status::Page:
        break;
    }
    const QString path = answer.finalUrl.path();
    if ((!signs.finalPathContains.isEmpty() && path.contains(signs.finalPathContains)) ||
        (!signs.finalPathStartsWith.isEmpty() && path.startsWith(signs.finalPathStartsWith)))
        return Verdict::Refused;
    if (showsBlockPage(answer.text, signs) &&
        (ownMarker.isEmpty() || !answer.text.contains(ownMarker)))
        return Verdict::Refused;
    return Verdict::Page;
}

CellState verdictState(Verdict verdict)
{
    return verdict == Verdict::Refused ? CellState::Refused : CellState::Failed;
}

QString verdictText(Verdict verdict)
{
    return stateText(verdictState(verdict));
}
