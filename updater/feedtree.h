#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

class QXmlStreamReader;

// The element tree of one feed document, read in full before anything is stored.
//
// Tag names are compared as written, prefixes included ("rdf:RDF"), as without
// namespace processing. An element's text is the concatenation of all text and
// CDATA below it in document order; character runs that are only white space are
// dropped, as the DOM drops them, so an empty or blank element has an empty (not
// a null) text.
//
// Documents that are not well-formed are refused, and so are documents that could
// exhaust the process: external entities, internal entities whose references
// would expand to more than the budget (see expansionBudget), nesting deeper than
// maxDepth, or more than maxNodes nodes. Harmless declarations, such as the HTML
// entity sets, are accepted.
class FeedTree
{
public:
    static constexpr int maxDepth = 512;
    static constexpr int maxNodes = 4 * 1024 * 1024;
    static constexpr qint64 maxExpansion = 1024 * 1024;
    static constexpr int maxDeclarations = 4096;

    // Characters that the references to declared entities may add in total: at
    // most maxExpansion, and at most ten times the document's own size.
    static qint64 expansionBudget(qint64 documentSize);

    // Index of an element; -1 is none.
    using Element = int;

    // Reads bytes in the encoding their XML declaration (or byte order mark) names.
    bool parse(const QByteArray &bytes);
    QString errorString() const { return m_error; }

    Element root() const { return m_root; }
    QString tagName(Element e) const { return m_names.at(m_nodes.at(e).name); }
    bool hasTagName(Element e, QStringView name) const;
    // The text of every character and CDATA node below e.
    QString text(Element e) const;
    // The attribute's value; a null string when it is absent.
    QString attribute(Element e, QStringView name) const;

    // Child elements of e in document order, and backwards.
    Element firstChildElement(Element e) const;
    Element nextSiblingElement(Element e) const;
    Element lastChildElement(Element e) const;
    Element previousSiblingElement(Element e) const;

    // Every element of that name in the document, in document order.
    QList<Element> elementsByTagName(QStringView name) const;

private:
    struct Node
    {
        int name = -1; // index into m_names; -1 for text
        int parent = -1;
        int firstChild = -1;
        int lastChild = -1;
        int next = -1;
        int previous = -1;
        int payload = -1; // text: index into m_texts; element: first attribute
        int attributeCount = 0;
    };
    struct Attribute
    {
        QString name;
        QString value;
    };

    int nameIndex(QStringView name);
    int append(Node node, int parent);
    void appendText(Element e, QString &out) const;
    bool fail(const QString &why);
    // Checks the declarations of the document type against what the document's
    // references to them would add, before the reader expands any of them.
    bool entitiesWithinBudget(const QXmlStreamReader &reader, const QByteArray &bytes);

    QList<Node> m_nodes;
    QList<QString> m_names;
    QList<QString> m_texts;
    QList<Attribute> m_attributes;
    Element m_root = -1;
    QString m_error;
};
