#include "feedtree.h"

#include <QHash>
#include <QXmlStreamReader>

namespace {

bool isNameStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':'
        || uchar(c) >= 0x80;
}

bool isNameChar(char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Calls found(name) for every "&name;" in text; stops when found returns false.
template <typename Found> void forEachReference(const QByteArray &text, Found found)
{
    const qsizetype size = text.size();
    for (qsizetype at = text.indexOf('&'); at >= 0; at = text.indexOf('&', at + 1)) {
        qsizetype end = at + 1;
        if (end >= size || !isNameStart(text.at(end)))
            continue;
        while (end < size && isNameChar(text.at(end)))
            ++end;
        if (end < size && text.at(end) == ';' && !found(text.mid(at + 1, end - at - 1)))
            return;
    }
}

// The bytes to look for references in: UTF-16 and UTF-32 text without its zero
// bytes, so that ASCII names read as they would in UTF-8.
QByteArray referenceText(const QByteArray &bytes)
{
    const QByteArray head = bytes.left(4);
    if (head.contains('\0') || head.startsWith("\xFE\xFF") || head.startsWith("\xFF\xFE")) {
        QByteArray narrow = bytes;
        narrow.removeIf([](char c) { return c == '\0'; });
        return narrow;
    }
    return bytes;
}

} // namespace

qint64 FeedTree::expansionBudget(qint64 documentSize)
{
    return qMin(maxExpansion, 10 * documentSize);
}

bool FeedTree::entitiesWithinBudget(const QXmlStreamReader &reader, const QByteArray &bytes)
{
    const QXmlStreamEntityDeclarations declarations = reader.entityDeclarations();
    if (declarations.isEmpty())
        return true;
    // Far more than the HTML entity sets declare; also bounds the depth of the
    // measuring below.
    if (declarations.size() > maxDeclarations)
        return fail(QStringLiteral("the document declares too many entities"));
    const qint64 budget = expansionBudget(bytes.size());
    QHash<QByteArray, QByteArray> values;
    for (const QXmlStreamEntityDeclaration &d : declarations) {
        // Nothing is ever fetched for a document: an external entity has no text here.
        if (!d.systemId().isEmpty() || !d.publicId().isEmpty() || !d.notationName().isEmpty())
            return fail(QStringLiteral("the document declares an external entity"));
        values.insert(d.name().toUtf8(), d.value().toUtf8());
    }

    // Expanded length of each entity, capped just above the budget; -1 while it is
    // being measured, so that an entity that refers to itself is over budget.
    QHash<QByteArray, qint64> lengths;
    const auto measure = [&](const QByteArray &name, const auto &self) -> qint64 {
        const auto known = lengths.constFind(name);
        if (known != lengths.cend())
            return *known < 0 ? budget + 1 : *known;
        lengths.insert(name, -1);
        const QByteArray value = values.value(name);
        qint64 length = value.size();
        forEachReference(value, [&](const QByteArray &ref) {
            if (values.contains(ref))
                length += self(ref, self) - (ref.size() + 2);
            return length <= budget;
        });
        length = qMin(length, budget + 1);
        lengths.insert(name, length);
        return length;
    };

    qint64 total = 0;
    forEachReference(referenceText(bytes), [&](const QByteArray &ref) {
        if (values.contains(ref))
            total += measure(ref, measure);
        return total <= budget;
    });
    if (total > budget)
        return fail(QStringLiteral("the document's entities expand beyond the budget"));
    return true;
}

bool FeedTree::fail(const QString &why)
{
    m_nodes.clear();
    m_texts.clear();
    m_attributes.clear();
    m_root = -1;
    m_error = why;
    return false;
}

int FeedTree::nameIndex(QStringView name)
{
    // A feed uses a few dozen distinct names; a linear look beats hashing each tag.
    for (int i = 0; i < m_names.size(); ++i) {
        if (m_names.at(i) == name)
            return i;
    }
    m_names.append(name.toString());
    return int(m_names.size() - 1);
}

int FeedTree::append(Node node, int parent)
{
    const int index = int(m_nodes.size());
    node.parent = parent;
    if (parent >= 0) {
        Node &p = m_nodes[parent];
        if (p.lastChild >= 0) {
            m_nodes[p.lastChild].next = index;
            node.previous = p.lastChild;
        } else {
            p.firstChild = index;
        }
        m_nodes[parent].lastChild = index;
    }
    m_nodes.append(node);
    return index;
}

bool FeedTree::parse(const QByteArray &bytes)
{
    m_nodes.clear();
    m_names.clear();
    m_texts.clear();
    m_attributes.clear();
    m_root = -1;
    m_error.clear();
    if (bytes.isEmpty())
        return fail(QStringLiteral("empty document"));

    QXmlStreamReader reader(bytes);
    reader.setNamespaceProcessing(false);
    m_nodes.reserve(qMin<qsizetype>(bytes.size() / 16 + 16, 1 << 20));

    int current = -1;
    int depth = 0;
    bool seenDtd = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            // Expanding declared entities is how a small document grows without
            // bound: their references are weighed before the reader expands any.
            if (seenDtd)
                return fail(QStringLiteral("more than one document type declaration"));
            seenDtd = true;
            if (!entitiesWithinBudget(reader, bytes))
                return false;
            break;
        case QXmlStreamReader::StartElement: {
            if (++depth > maxDepth)
                return fail(QStringLiteral("elements nested too deeply"));
            if (m_nodes.size() >= maxNodes)
                return fail(QStringLiteral("too many elements"));
            Node node;
            node.name = nameIndex(reader.qualifiedName());
            const QXmlStreamAttributes attributes = reader.attributes();
            if (!attributes.isEmpty()) {
                node.payload = int(m_attributes.size());
                node.attributeCount = int(attributes.size());
                for (const QXmlStreamAttribute &a : attributes)
                    m_attributes.append({a.qualifiedName().toString(), a.value().toString()});
            }
            current = append(node, current);
            if (m_root < 0)
                m_root = current;
            break;
        }
        case QXmlStreamReader::EndElement:
            --depth;
            current = m_nodes.at(current).parent;
            break;
        case QXmlStreamReader::Characters:
            if (current >= 0 && !reader.isWhitespace()
                && (reader.isCDATA() || !reader.text().trimmed().isEmpty())) {
                if (m_nodes.size() >= maxNodes)
                    return fail(QStringLiteral("too many nodes"));
                Node node;
                node.payload = int(m_texts.size());
                m_texts.append(reader.text().toString());
                append(node, current);
            }
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        return fail(reader.errorString());
    if (m_root < 0)
        return fail(QStringLiteral("no root element"));
    return true;
}

bool FeedTree::hasTagName(Element e, QStringView name) const
{
    return e >= 0 && m_names.at(m_nodes.at(e).name) == name;
}

void FeedTree::appendText(Element e, QString &out) const
{
    for (int child = m_nodes.at(e).firstChild; child >= 0; child = m_nodes.at(child).next) {
        const Node &node = m_nodes.at(child);
        if (node.name < 0)
            out += m_texts.at(node.payload);
        else
            appendText(child, out);
    }
}

QString FeedTree::text(Element e) const
{
    const Node &node = m_nodes.at(e);
    // The common case, one run of text, shares the string instead of copying it.
    if (node.firstChild >= 0 && node.firstChild == node.lastChild) {
        const Node &only = m_nodes.at(node.firstChild);
        if (only.name < 0 && !m_texts.at(only.payload).isEmpty())
            return m_texts.at(only.payload);
    }
    QString out = QStringLiteral("");
    appendText(e, out);
    return out;
}

QString FeedTree::attribute(Element e, QStringView name) const
{
    const Node &node = m_nodes.at(e);
    for (int i = 0; i < node.attributeCount; ++i) {
        const Attribute &a = m_attributes.at(node.payload + i);
        if (a.name == name)
            return a.value.isNull() ? QStringLiteral("") : a.value;
    }
    return QString();
}

FeedTree::Element FeedTree::firstChildElement(Element e) const
{
    int child = m_nodes.at(e).firstChild;
    while (child >= 0 && m_nodes.at(child).name < 0)
        child = m_nodes.at(child).next;
    return child;
}

FeedTree::Element FeedTree::nextSiblingElement(Element e) const
{
    int sibling = m_nodes.at(e).next;
    while (sibling >= 0 && m_nodes.at(sibling).name < 0)
        sibling = m_nodes.at(sibling).next;
    return sibling;
}

FeedTree::Element FeedTree::lastChildElement(Element e) const
{
    int child = m_nodes.at(e).lastChild;
    while (child >= 0 && m_nodes.at(child).name < 0)
        child = m_nodes.at(child).previous;
    return child;
}

FeedTree::Element FeedTree::previousSiblingElement(Element e) const
{
    int sibling = m_nodes.at(e).previous;
    while (sibling >= 0 && m_nodes.at(sibling).name < 0)
        sibling = m_nodes.at(sibling).previous;
    return sibling;
}

QList<FeedTree::Element> FeedTree::elementsByTagName(QStringView name) const
{
    QList<Element> found;
    const int wanted = int(m_names.indexOf(name.toString()));
    if (wanted < 0)
        return found;
    // Nodes are stored in document order.
    for (int i = 0; i < m_nodes.size(); ++i) {
        if (m_nodes.at(i).name == wanted)
            found.append(i);
    }
    return found;
}
