#pragma once

#include <QString>
#include <QWidget>

// The web browser embedded in the browser frame, seen through the few calls and
// events the frame uses. Besides the events below, the control delivers the
// status text of the hovered link to itself as a status-tip event (so that it
// travels up to the window) and hands left and right presses made on the page
// to its parent widget as mouse-press events. Page commands are reported by the
// click that made them, never by where the pointer was last.
class BrowserControl : public QWidget
{
    Q_OBJECT
public:
    // Command codes of CommandStateChange.
    enum Command { ForwardCommand = 1, BackCommand = 2 };

    explicit BrowserControl(QWidget *parent = nullptr) : QWidget(parent) { }

    // A local file is given as its path, anything else as a URL.
    virtual void Navigate(const QString &url) = 0;
    virtual void GoBack() = 0;
    virtual void GoForward() = 0;
    virtual void Refresh() = 0;
    virtual void Stop() = 0;
    // Silent: pages show no dialogs and report nothing on the console.
    virtual void SetSilent(bool silent) = 0;

signals:
    void CommandStateChange(int command, bool enabled);
    // After a page has been loaded: a local file as its native path, else its URL.
    void NavigateComplete(const QString &url);
    void DownloadBegin();
    void DownloadComplete();
    // The target of the link under the pointer, or empty.
    void StatusTextChange(const QString &text);
    // A command link on one of the pages was clicked; its target, as written in
    // the page ("javascript:read('5:2')"). The page's script has restyled the item.
    void PageCommand(const QString &target);
};
