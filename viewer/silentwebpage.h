#pragma once

#include <QWebEnginePage>

// The page of the viewer's browser. In silent mode pages cannot open JavaScript
// dialogs and their console output goes nowhere. New windows are never created:
// a link the user opens "in a new window" loads in this page instead, and a
// script cannot open one on its own.
class SilentWebPage : public QWebEnginePage
{
    Q_OBJECT
public:
    explicit SilentWebPage(QObject *parent = nullptr);

    void setSilent(bool silent) { m_silent = silent; }
    bool isSilent() const { return m_silent; }

    // What the pages' own script writes to the console to report a command link
    // that was clicked: this prefix, then the link's target.
    static QString commandPrefix() { return QStringLiteral("pellix-command "); }

signals:
    // A command link was clicked on a page; only the script beside the pages
    // (a local rss.js) can report one.
    void pageCommand(const QString &target);

protected:
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg,
        const QString &defaultValue, QString *result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
        int lineNumber, const QString &sourceID) override;

private:
    void openNewWindowRequest(QWebEngineNewWindowRequest &request);

    bool m_silent = false;
};
