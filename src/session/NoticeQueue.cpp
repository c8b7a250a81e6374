#include "NoticeQueue.h"

#include "text/Clock.h"

void NoticeQueue::post(const QString &text)
{
    expire();
    m_notices.removeIf([&](const Notice &n) { return n.text == text; });
    if (!text.isEmpty())
        m_notices.append({text, Clock::nowUtc().addMSecs(kShownMs)});
}

bool NoticeQueue::expire()
{
    const QDateTime now = Clock::nowUtc();
    return m_notices.removeIf([&](const Notice &n) { return n.until <= now; }) > 0;
}

QString NoticeQueue::text() const
{
    QStringList shown;
    for (const Notice &n : m_notices)
        shown << n.text;
    return shown.join(QStringLiteral("；"));
}

std::optional<QDateTime> NoticeQueue::nextExpiry() const
{
    if (m_notices.isEmpty())
        return std::nullopt;
    return m_notices.first().until;
}
