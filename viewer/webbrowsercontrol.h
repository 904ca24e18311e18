#pragma once

#include "browsercontrol.h"

#include <QUrl>

class QWebEngineLoadingInfo;
class QWebEngineView;
class SilentWebPage;

// The browser control on Qt WebEngine.
class WebBrowserControl : public BrowserControl
{
    Q_OBJECT
public:
    explicit WebBrowserControl(QWidget *parent = nullptr);

    void Navigate(const QString &url) override;
    void GoBack() override;
    void GoForward() override;
    void Refresh() override;
    void Stop() override;
    void SetSilent(bool silent) override;

    QWebEngineView *view() const { return m_view; }
    SilentWebPage *page() const { return m_page; }

    // What Navigate loads for a text: local paths become file URLs; script URLs
    // give an invalid URL, so that no link or typed address runs script.
    static QUrl urlFor(const QString &text);
    // How NavigateComplete reports a URL: a local file by its native path.
    static QString textFor(const QUrl &url);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void watch(QObject *object);
    void loadingChanged(const QWebEngineLoadingInfo &info);
    void reportHistory();
    void linkHovered(const QString &url);

    QWebEngineView *m_view;
    SilentWebPage *m_page;
    bool m_loading = false;
};
