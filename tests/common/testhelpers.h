#pragma once

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
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

// The lines of a JSON-lines file, such as a message log, one object each.
inline QList<QJsonObject> jsonLines(const QString &path)
{
    QList<QJsonObject> lines;
    for (const QByteArray &line : readFile(path).trimmed().split('\n'))
        lines.append(QJsonDocument::fromJson(line).object());
    return lines;
}

// Runs statements on a SQLite file through a connection of its own that is gone again
// when it returns; the rows of the last one, each as its values joined by '|'. A
// read-only run never creates the file. ok: whether every statement ran.
inline QStringList sqlite(
    const QString &file, const QStringList &statements, bool readOnly, bool *ok = nullptr)
{
    const QString name = QStringLiteral("TestHelpers::sqlite");
    QStringList rows;
    bool ran = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (readOnly)
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        ran = db.open();
        QSqlQuery query(db);
        for (const QString &statement : statements) {
            rows.clear();
            ran = ran && query.exec(statement);
            while (ran && query.next()) {
                QStringList values;
                for (int i = 0; i < query.record().count(); ++i)
                    values.append(query.value(i).toString());
                rows.append(values.join(QLatin1Char('|')));
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (ok)
        *ok = ran;
    return rows;
}

// The rows a query finds in a SQLite file; none when there is no such file.
inline QStringList sqliteRows(const QString &file, const QString &query)
{
    return sqlite(file, {query}, true);
}

// Whether every statement ran on the SQLite file, which is created when missing.
inline bool sqliteExec(const QString &file, const QStringList &statements)
{
    bool ok = false;
    sqlite(file, statements, false, &ok);
    return ok;
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

// Knows a few source texts, as "Context::source" or in any context. Marked, it returns
// every other text in brackets, so that a text left untranslated shows.
class WordTranslator : public QTranslator
{
public:
    QHash<QString, QString> words;
    bool marked = false;
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        const QString text = QString::fromUtf8(source);
        const QString word = words.value(
            QString::fromUtf8(context) + QStringLiteral("::") + text, words.value(text));
        return word.isNull() && marked ? QLatin1Char('[') + text + QLatin1Char(']') : word;
    }
};

} // namespace TestHelpers
