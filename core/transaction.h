#pragma once

#include <QSqlDatabase>

// One transaction on a connection for as long as the guard lives: commit() keeps
// the writes, anything else (an early return, a failed statement) takes them back.
// A connection that cannot begin one leaves the guard inactive, and the writes
// then stand statement by statement.
class Transaction
{
public:
    explicit Transaction(QSqlDatabase &db) : m_db(db), m_active(db.transaction()) { }
    ~Transaction() { rollback(); }

    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    bool isActive() const { return m_active; }

    // True when the writes are stored; a failed commit is rolled back.
    bool commit()
    {
        if (!m_active)
            return false;
        m_active = false;
        if (m_db.commit())
            return true;
        m_db.rollback();
        return false;
    }

    void rollback()
    {
        if (m_active)
            m_db.rollback();
        m_active = false;
    }

    // SQLite ended the transaction by itself (a failed statement that rolls back):
    // there is nothing left to commit or roll back.
    void forget() { m_active = false; }

private:
    QSqlDatabase &m_db;
    bool m_active;
};
