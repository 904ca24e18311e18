#pragma once

#include <QObject>
#include <QUrl>

class FeedDiscovery;
class QIODevice;
class QNetworkProxy;

// Discovery without a window: finds the feeds at one address and prints one line
// per feed ("<address>\t<type>\t<title>"). Exit code 0 when a feed was found, 1
// when none was or the page could not be had (the reason goes to the errors).
class HeadlessDiscovery : public QObject
{
    Q_OBJECT
public:
    HeadlessDiscovery(const QNetworkProxy &proxy, QIODevice *output, QIODevice *errors,
        QObject *parent = nullptr);

    void start(const QUrl &address);

signals:
    void finished(int exitCode);

private:
    void discoveryFinished();

    FeedDiscovery *m_discovery;
    QIODevice *m_output;
    QIODevice *m_errors;
};
