#include "webbrowsercontrol.h"
#include "silentwebpage.h"

#include <QChildEvent>
#include <QCoreApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QStatusTipEvent>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineView>

WebBrowserControl::WebBrowserControl(QWidget *parent)
    : BrowserControl(parent), m_view(new QWebEngineView(this)), m_page(new SilentWebPage(m_view))
{
    m_view->setPage(m_page);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);

    // The page is drawn by a child widget that appears with the first load;
    // presses on it are what the frame has to see.
    m_view->installEventFilter(this);
    for (QObject *child : m_view->children())
        watch(child);

    connect(m_page, &QWebEnginePage::loadingChanged, this, &WebBrowserControl::loadingChanged);
    connect(m_page, &QWebEnginePage::urlChanged, this, &WebBrowserControl::reportHistory);
    connect(m_page, &QWebEnginePage::linkHovered, this, &WebBrowserControl::linkHovered);
    connect(m_page, &SilentWebPage::pageCommand, this, &BrowserControl::PageCommand);
}

QUrl WebBrowserControl::urlFor(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QUrl();
    QUrl url;
    if (QDir::isAbsolutePath(trimmed) && !trimmed.contains(QLatin1String("://")))
        url = QUrl::fromLocalFile(QDir::fromNativeSeparators(trimmed));
    else
        url = QUrl::fromUserInput(trimmed);
    if (url.scheme().compare(QLatin1String("javascript"), Qt::CaseInsensitive) == 0)
        return QUrl();
    return url;
}

QString WebBrowserControl::textFor(const QUrl &url)
{
    if (url.isLocalFile())
        return QDir::toNativeSeparators(url.toLocalFile());
    return url.toString();
}

void WebBrowserControl::Navigate(const QString &url)
{
    const QUrl target = urlFor(url);
    if (target.isValid())
        m_page->load(target);
}

void WebBrowserControl::GoBack()
{
    m_page->triggerAction(QWebEnginePage::Back);
}

void WebBrowserControl::GoForward()
{
    m_page->triggerAction(QWebEnginePage::Forward);
}

void WebBrowserControl::Refresh()
{
    m_page->triggerAction(QWebEnginePage::Reload);
}

void WebBrowserControl::Stop()
{
    m_page->triggerAction(QWebEnginePage::Stop);
}

void WebBrowserControl::SetSilent(bool silent)
{
    m_page->setSilent(silent);
}

void WebBrowserControl::watch(QObject *object)
{
    if (object->isWidgetType())
        object->installEventFilter(this);
}

bool WebBrowserControl::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view) {
        if (event->type() == QEvent::ChildAdded)
            watch(static_cast<QChildEvent *>(event)->child());
        return false;
    }
    if (event->type() == QEvent::MouseButtonPress && parentWidget()) {
        // Handed on, not taken: the page still gets the click and runs its link.
        const auto *press = static_cast<QMouseEvent *>(event);
        const QPointF global = press->globalPosition();
        QMouseEvent copy(QEvent::MouseButtonPress, parentWidget()->mapFromGlobal(global), global,
            press->button(), press->buttons(), press->modifiers());
        QCoreApplication::sendEvent(parentWidget(), &copy);
    }
    return false;
}

void WebBrowserControl::loadingChanged(const QWebEngineLoadingInfo &info)
{
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        if (!m_loading) {
            m_loading = true;
            emit DownloadBegin();
        }
        return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
    case QWebEngineLoadingInfo::LoadFailedStatus:
        // A failed load shows the error page: it has been navigated to as well.
        if (QWidget *proxy = m_view->focusProxy())
            watch(proxy);
        reportHistory();
        emit NavigateComplete(textFor(info.url()));
        break;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        reportHistory();
        break;
    }
    if (m_loading) {
        m_loading = false;
        emit DownloadComplete();
    }
}

void WebBrowserControl::reportHistory()
{
    QWebEngineHistory *history = m_page->history();
    emit CommandStateChange(ForwardCommand, history->canGoForward());
    emit CommandStateChange(BackCommand, history->canGoBack());
}

void WebBrowserControl::linkHovered(const QString &url)
{
    emit StatusTextChange(url);
    // Travels up to the window's status bar unless someone on the way takes it.
    QStatusTipEvent tip(url);
    QCoreApplication::sendEvent(this, &tip);
}
