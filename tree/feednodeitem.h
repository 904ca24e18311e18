#pragma once

#include <QString>

// One newest-item entry under a feed in the tree: its title (entities decoded) and link.
class FeedNodeItem
{
public:
    FeedNodeItem() = default;
    FeedNodeItem(const QString &title, const QString &link) : m_title(title), m_link(link) { }

    const QString &title() const { return m_title; }
    const QString &link() const { return m_link; }

private:
    QString m_title;
    QString m_link;
};
