#include "catalogue.h"
#include "core/rssprotocol.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

QString Catalogue::builtInFile()
{
    return QStringLiteral(":/client/catalogue.json");
}

bool Catalogue::load(const QString &file)
{
    m_categories.clear();
    m_loaded = false;
    m_error.clear();

    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        m_error = tr("The catalogue %1 cannot be read: %2").arg(file, in.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(in.readAll(), &parseError);
    if (document.isNull() || !document.isObject()
        || !document.object().value(QLatin1String("categories")).isArray()) {
        m_error
            = tr("The catalogue %1 is not a catalogue file: %2")
                  .arg(file,
                      document.isNull() ? parseError.errorString() : tr("no list of categories"));
        return false;
    }

    QList<Category> categories;
    QSet<int> categoryIds;
    QSet<int> feedIds;
    const QJsonArray list = document.object().value(QLatin1String("categories")).toArray();
    for (const QJsonValue &value : list) {
        const QJsonObject object = value.toObject();
        Category category;
        category.id = object.value(QLatin1String("id")).toInt();
        category.parent = object.value(QLatin1String("parent")).toInt();
        category.name = object.value(QLatin1String("name")).toString();
        if (category.id <= 0 || category.name.isEmpty() || categoryIds.contains(category.id)) {
            m_error = tr("The catalogue %1 has a category without a name or with a missing or "
                         "repeated id.")
                          .arg(file);
            return false;
        }
        categoryIds.insert(category.id);
        for (const QJsonValue &feedValue : object.value(QLatin1String("feeds")).toArray()) {
            const QJsonObject feedObject = feedValue.toObject();
            Feed feed;
            feed.id = feedObject.value(QLatin1String("id")).toInt();
            feed.title = feedObject.value(QLatin1String("title")).toString();
            feed.address = feedObject.value(QLatin1String("address")).toString();
            if (feed.id <= 0 || feed.address.isEmpty() || feedIds.contains(feed.id)) {
                m_error = tr("The catalogue %1 has a feed without an address or with a missing or "
                             "repeated id.")
                              .arg(file);
                return false;
            }
            feedIds.insert(feed.id);
            category.feeds.append(feed);
        }
        categories.append(category);
    }
    // Every category must hang below the top level: a missing parent or a cycle
    // would leave categories the reader can never place.
    QHash<int, int> parentOf;
    for (const Category &category : categories)
        parentOf.insert(category.id, category.parent);
    for (const Category &category : categories) {
        int parent = category.parent;
        int steps = 0;
        while (parent != 0 && parentOf.contains(parent) && steps <= categories.size()) {
            parent = parentOf.value(parent);
            ++steps;
        }
        if (parent != 0) {
            m_error = tr("The catalogue %1 has a category (%2) whose parent is missing or that is "
                         "its own ancestor.")
                          .arg(file)
                          .arg(category.id);
            return false;
        }
    }
    m_categories = categories;
    m_loaded = true;
    return true;
}

const Catalogue::Feed *Catalogue::feed(int id) const
{
    for (const Category &category : m_categories) {
        for (const Feed &feed : category.feeds) {
            if (feed.id == id)
                return &feed;
        }
    }
    return nullptr;
}

Protocol Catalogue::childrenAnswer(int node) const
{
    Protocol body;
    int count = 0;
    // The top level comes alone: the reader asks for each top category's subtree
    // in turn, and a subtree sent twice would appear twice.
    appendChildren(body, node, &count, node == 0 ? m_categories.size() : 0);
    Protocol answer(ClientMessage::NewsModule, ClientMessage::CatalogueChildrenRequest);
    answer.add(ProtocolField::Plain, ProtocolArg::UInt32, count);
    for (const ProtocolArg &arg : body.args())
        answer.addArg(arg);
    return answer;
}

void Catalogue::appendChildren(Protocol &answer, int node, int *count, qsizetype depth) const
{
    for (const Category &category : m_categories) {
        if (category.parent != node || category.id == node)
            continue;
        ++*count;
        answer.add(ProtocolField::CatalogueNode, ProtocolArg::UInt32, category.id);
        answer.add(ProtocolField::CatalogueNode, ProtocolArg::UInt32, category.parent);
        answer.add(ProtocolField::Plain, ProtocolArg::Bytes, category.name.toUtf8());
        answer.add(ProtocolField::Plain, ProtocolArg::UInt16, uint(category.feeds.size()));
        for (const Feed &feed : category.feeds) {
            answer.add(ProtocolField::FarmId, ProtocolArg::UInt32, feed.id);
            answer.add(ProtocolField::FeedTitle, ProtocolArg::Bytes, feed.title.toUtf8());
            answer.add(ProtocolField::FeedSource, ProtocolArg::Bytes, feed.address.toUtf8());
        }
        if (depth < m_categories.size())
            appendChildren(answer, category.id, count, depth + 1);
    }
}
