#pragma once

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QStringList>
#include <QTest>
#include <QTranslator>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

// Small helpers that several tests share.
namespace TestHelpers {

// A file's contents; empty when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Fails the calling test when the file cannot be written.
inline void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(contents);
}

// Whether a file changed: its SHA-256.
inline QByteArray digest(const QString &path)
{
    return QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256);
}

// Every row of a tree widget, indented one space per level.
inline QStringList treeLines(QTreeWidget *tree)
{
    QStringList result;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        int depth = 0;
        for (QTreeWidgetItem *p = (*it)->parent(); p; p = p->parent())
            ++depth;
        result.append(QString(depth, QLatin1Char(' ')) + (*it)->text(0));
    }
    return result;
}

// Knows a few source texts, whatever their context.
class WordTranslator : public QTranslator
{
public:
    QHash<QString, QString> words;
    bool isEmpty() const override { return false; }
    QString translate(const char *, const char *source, const char *, int) const override
    {
        return words.value(QString::fromUtf8(source));
    }
};

} // namespace TestHelpers
