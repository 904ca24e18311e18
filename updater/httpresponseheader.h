#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Status line and header fields of one HTTP response. Field names compare
// without regard to case, as HTTP defines them.
class HttpResponseHeader
{
public:
    HttpResponseHeader() = default;
    HttpResponseHeader(int statusCode, const QString &reasonPhrase,
        const QList<QPair<QByteArray, QByteArray>> &fields)
        : m_statusCode(statusCode), m_reasonPhrase(reasonPhrase), m_fields(fields)
    {
    }

    bool isValid() const { return m_statusCode > 0; }
    int statusCode() const { return m_statusCode; }
    QString reasonPhrase() const { return m_reasonPhrase; }

    bool hasKey(const QString &key) const { return indexOf(key) >= 0; }
    // The first field of that name; empty when there is none.
    QString value(const QString &key) const
    {
        const int i = indexOf(key);
        return i < 0 ? QString() : QString::fromLatin1(m_fields.at(i).second);
    }
    const QList<QPair<QByteArray, QByteArray>> &fields() const { return m_fields; }

private:
    int indexOf(const QString &key) const
    {
        const QByteArray name = key.toLatin1();
        for (int i = 0; i < m_fields.size(); ++i) {
            if (qstricmp(m_fields.at(i).first.constData(), name.constData()) == 0)
                return i;
        }
        return -1;
    }

    int m_statusCode = 0;
    QString m_reasonPhrase;
    QList<QPair<QByteArray, QByteArray>> m_fields;
};
