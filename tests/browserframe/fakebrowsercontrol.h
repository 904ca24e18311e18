#pragma once

#include "viewer/browsercontrol.h"

#include <QCoreApplication>
#include <QStatusTipEvent>
#include <QStringList>

// A browser control driven by the test, reporting what it is told the way the real one does.
class FakeBrowserControl : public BrowserControl
{
    Q_OBJECT
public:
    using BrowserControl::BrowserControl;

    void Navigate(const QString &url) override { calls << url; }
    void GoBack() override { calls << QStringLiteral("back"); }
    void GoForward() override { calls << QStringLiteral("forward"); }
    void Refresh() override { calls << QStringLiteral("refresh"); }
    void Stop() override { calls << QStringLiteral("stop"); }
    void SetSilent(bool on) override { silent = on; }

    // The pointer moved onto a link (or off it, with an empty target).
    void hover(const QString &target)
    {
        emit StatusTextChange(target);
        QStatusTipEvent tip(target);
        QCoreApplication::sendEvent(this, &tip);
    }
    void complete(const QString &url) { emit NavigateComplete(url); }

    QStringList calls;
    bool silent = false;
};
