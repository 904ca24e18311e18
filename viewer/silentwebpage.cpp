#include "silentwebpage.h"

#include <QWebEngineNewWindowRequest>
#include <QWebEngineSettings>

SilentWebPage::SilentWebPage(QObject *parent) : QWebEnginePage(parent)
{
    QWebEngineSettings *s = settings();
    // The pages' own script restyles items on the spot.
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    // Pages load rss.js, style.css and the images from beside themselves.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    // Item descriptions carry remote images, which a local page loads only with
    // this. It would also let a script in a local page send what it read of the
    // disk anywhere: no feed script ever reaches a page, the pages filter it out.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    s->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    s->setAttribute(QWebEngineSettings::AllowWindowActivationFromJavaScript, false);
    s->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
    s->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);

    connect(this, &QWebEnginePage::newWindowRequested, this, &SilentWebPage::openNewWindowRequest);
}

void SilentWebPage::javaScriptAlert(const QUrl &securityOrigin, const QString &msg)
{
    if (!m_silent)
        QWebEnginePage::javaScriptAlert(securityOrigin, msg);
}

bool SilentWebPage::javaScriptConfirm(const QUrl &securityOrigin, const QString &msg)
{
    if (m_silent)
        return false;
    return QWebEnginePage::javaScriptConfirm(securityOrigin, msg);
}

bool SilentWebPage::javaScriptPrompt(
    const QUrl &securityOrigin, const QString &msg, const QString &defaultValue, QString *result)
{
    if (m_silent)
        return false;
    return QWebEnginePage::javaScriptPrompt(securityOrigin, msg, defaultValue, result);
}

void SilentWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
    const QString &message, int lineNumber, const QString &sourceID)
{
    const QUrl source(sourceID);
    if (message.startsWith(commandPrefix()) && source.isLocalFile()
        && source.fileName() == QLatin1String("rss.js")) {
        emit pageCommand(message.mid(commandPrefix().size()));
        return;
    }
    if (!m_silent)
        QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceID);
}

void SilentWebPage::openNewWindowRequest(QWebEngineNewWindowRequest &request)
{
    // A link with a target opens here, as the viewer has one browser only;
    // popups that the user did not ask for are dropped.
    const QUrl url = request.requestedUrl();
    if (!request.isUserInitiated())
        return;
    if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
        load(url);
}
