#include "Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QWidget>

namespace {
QStringList g_fileNames;
bool g_fileNamesQueued = false;
QList<Dialogs::Answer> g_queued;
QStringList g_shown;
bool g_testMode = false;

bool takeQueued(Dialogs::Answer *answer)
{
    if (!g_testMode)
        return false;
    *answer = g_queued.isEmpty() ? Dialogs::Answer::Cancel : g_queued.takeFirst();
    return true;
}
} // namespace

namespace Dialogs {

void inform(QWidget *parent, const QString &text)
{
    const QString title = parent ? parent->window()->windowTitle() : qApp->applicationName();
    g_shown << title + u'|' + text;
    Answer ignored;
    if (takeQueued(&ignored))
        return;
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

Answer ask(QWidget *parent, const QString &title, const QString &text)
{
    g_shown << title + u'|' + text;
    Answer answer;
    if (takeQueued(&answer))
        return answer;
    const auto button = QMessageBox::question(
        parent, title, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok);
    return button == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

QString saveFileName(QWidget *parent, const QString &title, const QString &suggested,
                     const QString &filter)
{
    if (g_fileNamesQueued)
        return g_fileNames.isEmpty() ? QString() : g_fileNames.takeFirst();
    return QFileDialog::getSaveFileName(parent, title, suggested, filter);
}

QString openFileName(QWidget *parent, const QString &title, const QString &filter)
{
    if (g_fileNamesQueued)
        return g_fileNames.isEmpty() ? QString() : g_fileNames.takeFirst();
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

void queueFileNames(const QStringList &names)
{
    g_fileNamesQueued = true;
    g_fileNames += names;
}

void queueAnswers(const QList<Answer> &answers)
{
    g_testMode = true;
    g_queued += answers;
}

bool answersQueued()
{
    return !g_queued.isEmpty();
}
QStringList shownBoxes()
{
    return g_shown;
}
void clearShownBoxes()
{
    g_shown.clear();
}

} // namespace Dialogs
