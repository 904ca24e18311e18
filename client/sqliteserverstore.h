#pragma once

#include "serverstore.h"

// The store in one SQLite file: one machine, and the homes on it that share the file.
class SqliteServerStore : public ServerStore
{
    Q_DECLARE_TR_FUNCTIONS(SqliteServerStore)

public:
    SqliteServerStore() = default;

    // Opens or creates the file. A file that is not a store (not SQLite, or
    // another program's database) is refused and left untouched.
    bool open(const QString &file) override;

protected:
    QString beginStatement(bool write) const override;
    QString lockUserStatement() const override { return QString(); }
    bool isTransient(const QSqlError &error) const override;
    QString feedOrder() const override { return QStringLiteral("rowid"); }
};
