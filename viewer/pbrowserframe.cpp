#include "pbrowserframe.h"
#include "browsercontrol.h"
#include "webbrowsercontrol.h"

#include "host/cpxbuddy_administrator.h"
#include "host/pdir.h"

#include <QDir>
#include <QHBoxLayout>
#include <QSqlQuery>
#include <QStatusTipEvent>
#include <algorithm>

PBrowserFrame::PBrowserFrame(QSqlDatabase *db, QWidget *parent, Qt::WindowFlags flags)
    : PBrowserFrame(db, new WebBrowserControl, parent, flags)
{
}

PBrowserFrame::PBrowserFrame(
    QSqlDatabase *db, BrowserControl *control, QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), m_db(db), m_control(control)
{
    m_control->setParent(this);
    m_control->SetSilent(true);
    m_control->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    connect(
        m_control, &BrowserControl::CommandStateChange, this, &PBrowserFrame::CommandStateChange);
    connect(m_control, &BrowserControl::NavigateComplete, this, &PBrowserFrame::NavigateComplete);
    connect(m_control, &BrowserControl::NavigateComplete, this, &PBrowserFrame::getNewPage);
    connect(m_control, &BrowserControl::DownloadBegin, this, &PBrowserFrame::DownloadBegin);
    connect(m_control, &BrowserControl::DownloadComplete, this, &PBrowserFrame::DownloadComplete);
    connect(m_control, &BrowserControl::PageCommand, this, &PBrowserFrame::getPageCommand);

    auto *layout = new QHBoxLayout;
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_control);
    setLayout(layout);
}

QString PBrowserFrame::pagePrefix()
{
    return QDir::toNativeSeparators(PDir::applicationDataPath(true)).toLower() + QDir::separator()
        + QString::number(CPxBuddy_Administrator::Instance().userId()) + QLatin1String("_channel");
}

void PBrowserFrame::Navigate(const QString &url)
{
    m_control->Navigate(url);
}

void PBrowserFrame::GoBack()
{
    m_control->GoBack();
}

void PBrowserFrame::GoForward()
{
    m_control->GoForward();
}

void PBrowserFrame::Refresh()
{
    m_control->Refresh();
}

void PBrowserFrame::Stop()
{
    m_control->Stop();
}

void PBrowserFrame::clearPendingFor(int id)
{
    if (m_showingPage && id == m_shownFeedId)
        m_pending = false;
}

bool PBrowserFrame::event(QEvent *e)
{
    if (e->type() == QEvent::StatusTip) {
        // Command links are no business of the window's status bar.
        if (static_cast<QStatusTipEvent *>(e)->tip().startsWith(QLatin1String("javascript:"))) {
            e->accept();
            return true;
        }
        e->ignore();
        return false;
    }
    return QWidget::event(e);
}

void PBrowserFrame::getPageCommand(const QString &target)
{
    // Web pages have no commands, and another user's pages are not this user's items.
    if (!m_showingPage)
        return;
    enum Kind { Read, ToDelete, Mark, External };
    static const struct
    {
        Kind kind;
        QLatin1String opening;
        QLatin1String column;
    } commands[] = {
        {Read, QLatin1String("javascript:read('"), QLatin1String("isread")},
        {ToDelete, QLatin1String("javascript:toDelete('"), QLatin1String("toclear")},
        {Mark, QLatin1String("javascript:mark('"), QLatin1String("mark")},
        {External, QLatin1String("javascript:external('"), QLatin1String("isread")},
    };

    const auto *command = std::find_if(std::begin(commands), std::end(commands),
        [&target](auto &c) { return target.startsWith(c.opening); });
    if (command == std::end(commands) || !target.endsWith(QLatin1String("')")))
        return;

    // What stays is the item key alone.
    const QStringList parts
        = target.mid(command->opening.size(), target.size() - command->opening.size() - 2)
              .split(QLatin1Char(':'));
    if (parts.size() < 2)
        return;
    // Both parts go into the statement text, so they must be plain numbers.
    bool channelOk = false;
    bool itemOk = false;
    const int channelId = parts.at(0).toInt(&channelOk);
    const int itemId = parts.at(1).toInt(&itemOk);
    if (!channelOk || !itemOk)
        return;
    const QString c = QString::number(channelId);
    const QString i = QString::number(itemId);
    const QString where = QStringLiteral(" where channelid = %1 and itemid = %2").arg(c, i);

    QSqlQuery query(*m_db);
    if (command->kind == External) {
        // Opened outside, the item counts as read, as when the viewer shows it.
        query.exec(QStringLiteral("select link, isread from items") + where);
        if (!query.next())
            return;
        const QString link = query.value(0).toString();
        if (query.value(1).toInt() == 0) {
            query.exec(QStringLiteral("update items set isread = 1") + where);
            emit sendItemStateChanged(1, channelId, itemId);
            emit update(channelId);
            emit update(0);
        }
        emit sendOpenExternally(link);
        return;
    }
    query.exec(QStringLiteral("update items set %1 = abs(%1 -1)").arg(command->column) + where);

    m_pending = true;
    if (!m_pendingIds.contains(channelId))
        m_pendingIds.append(channelId);

    switch (command->kind) {
    case Read: {
        QSqlQuery state(*m_db);
        state.exec(QStringLiteral("select isread from items") + where);
        const bool nowRead = state.next() && state.value(0).toInt() == 1;
        emit sendItemStateChanged(nowRead ? 1 : 2, channelId, itemId);
        break;
    }
    case ToDelete:
        emit sendItemStateChanged(0, channelId, itemId);
        break;
    case Mark:
    case External: // answered before the toggle
        break;
    }
    // Read, flag and deletion state all change what the favourites show.
    emit update(0);
}

void PBrowserFrame::getNewPage(const QString &url)
{
    if (m_pending) {
        // Copied: a receiver may come back here through a nested navigation.
        const QList<int> ids = m_pendingIds;
        for (int id : ids)
            emit update(id);
        m_pending = false;
    }
    const QString prefix = pagePrefix();
    const QString lower = url.toLower();
    if (lower.contains(prefix)) {
        m_showingPage = true;
        QString rest = lower;
        rest.remove(prefix);
        rest.remove(QLatin1String(".html"));
        m_shownFeedId = rest.section(QLatin1Char('_'), 0, 0).toInt();
        m_pendingIds.clear();
    } else {
        m_showingPage = false;
    }
}
