#pragma once

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
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

// Runs a statement with positional values on an open connection; the query, to read
// its rows, and whether it ran.
inline std::pair<QSqlQuery, bool> runSql(
    const QSqlDatabase &db, const QString &sql, const QVariantList &values = {})
{
    QSqlQuery query(db);
    query.prepare(sql);
    for (const QVariant &v : values)
        query.addBindValue(v);
    const bool ran = query.exec();
    return {std::move(query), ran};
}

// The error text of a statement run on an open connection, empty on success.
inline QString execSql(const QSqlDatabase &db, const QString &sql, const QVariantList &values = {})
{
    auto [query, ran] = runSql(db, sql, values);
    return ran ? QString() : query.lastError().text();
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

// The text of a case file with its escapes undone: \\, \t, \n and \xHH.
inline QString unescaped(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (c != u'\\' || (next != u'\\' && next != u't' && next != u'n' && next != u'x')) {
            out += c;
        } else if (next == u'x') {
            out += QChar(text.mid(i + 2, 2).toUShort(nullptr, 16));
            i += 3;
        } else {
            out += next == u't' ? u'\t' : next == u'n' ? u'\n' : u'\\';
            ++i;
        }
    }
    return out;
}

// The statements of an SQL file under the test's folder, each ending in ";" at the end of
// a line; lines starting with "--" are comments.
inline QStringList sqlScript(const QString &file)
{
    QStringList statements;
    QString statement;
    for (const QString &line :
        QString::fromUtf8(readFile(QStringLiteral(TEST_DIR "/") + file)).split(u'\n')) {
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1String("--")))
            continue;
        statement += (statement.isEmpty() ? QString() : QStringLiteral(" ")) + line.trimmed();
        if (statement.endsWith(u';')) {
            statements.append(statement.chopped(1));
            statement.clear();
        }
    }
    return statements;
}

// A data table of one bool column, its rows in the order given.
inline void addBoolRows(
    const char *column, std::initializer_list<std::pair<const char *, bool>> rows)
{
    QTest::addColumn<bool>(column);
    for (const auto &[name, value] : rows)
        QTest::newRow(name) << value;
}

// Fills a Qt Test data table from a case file under the test's folder: "[name]" opens
// a row, "column: value" lines fill its QString columns (given again, they add a line),
// "#" starts a comment line.
// Every row must give every column, so that a mistyped file fails instead of skipping.
// Column names stay literals: the table keeps the pointers.
inline void addRows(const QString &file, std::initializer_list<const char *> columns)
{
    for (const char *column : columns)
        QTest::addColumn<QString>(column);
    const QString text = QString::fromUtf8(readFile(QStringLiteral(TEST_DIR "/") + file));
    QVERIFY2(!text.isEmpty(), qPrintable(file));
    QList<std::pair<QString, QHash<QString, QStringList>>> rows;
    for (const QString &line : text.split(u'\n')) {
        const qsizetype colon = line.indexOf(u':');
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            rows.append({unescaped(line.mid(1, line.size() - 2)), {}});
        } else if (!line.isEmpty() && !line.startsWith(u'#')) {
            QVERIFY2(!rows.isEmpty() && colon > 0, qPrintable(file + QLatin1String(": ") + line));
            const QString value = line.mid(colon + 1);
            rows.last().second[line.left(colon)].append(
                unescaped(value.startsWith(u' ') ? value.mid(1) : value));
        }
    }
    for (const auto &[name, values] : rows) {
        QTestData &row = QTest::newRow(name.toUtf8().constData());
        for (const char *column : columns) {
            const QString key = QString::fromUtf8(column);
            QVERIFY2(values.contains(key), qPrintable(name + QLatin1String(": ") + key));
            const QString cell = values.value(key).join(u'\n');
            row << (cell.isNull() ? QStringLiteral("") : cell); // empty as a literal "" is
        }
    }
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
