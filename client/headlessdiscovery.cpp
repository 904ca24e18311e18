#include "headlessdiscovery.h"

#include "wizard/feeddiscovery.h"

#include <QIODevice>
#include <QNetworkProxy>

HeadlessDiscovery::HeadlessDiscovery(
    const QNetworkProxy &proxy, QIODevice *output, QIODevice *errors, QObject *parent)
    : QObject(parent), m_discovery(new FeedDiscovery(this)), m_output(output), m_errors(errors)
{
    m_discovery->setProxy(proxy);
    connect(m_discovery, &FeedDiscovery::finished, this, &HeadlessDiscovery::discoveryFinished);
}

void HeadlessDiscovery::start(const QUrl &address)
{
    m_discovery->start(address);
}

void HeadlessDiscovery::discoveryFinished()
{
    if (m_discovery->state() == FeedDiscovery::Failed) {
        m_errors->write(QStringLiteral("pellix: %1: %2\n")
                            .arg(m_discovery->requestedAddress().toString(QUrl::FullyEncoded),
                                m_discovery->errorString())
                            .toUtf8());
        emit finished(1);
        return;
    }
    const FeedLinkList &feeds = m_discovery->feeds();
    for (const FeedLink &feed : feeds) {
        m_output->write(
            (feed.address + u'\t' + feed.type + u'\t' + feed.displayTitle() + u'\n').toUtf8());
    }
    if (feeds.isEmpty()) {
        m_errors->write(tr("pellix: no feeds found at %1\n")
                            .arg(m_discovery->requestedAddress().toString(QUrl::FullyEncoded))
                            .toUtf8());
    }
    emit finished(feeds.isEmpty() ? 1 : 0);
}
