#pragma once

#include "host/pdialog2.h"

#include <QMap>
#include <QString>

#include <memory>

class QLabel;
class QSqlDatabase;
namespace Ui {
class pcleanpage1Class;
}

// The clean wizard: clears all items, the read items, or all but the newest N
// of one feed or of all feeds (feed id 0), then says how many it cleared.
// Clearing sets items.toclear, which hides an item everywhere.
class PCleanPage1 : public PDialog2
{
    Q_OBJECT
public:
    PCleanPage1(QSqlDatabase *db, int id, QWidget *parent = nullptr);
    ~PCleanPage1() override;

    Ui::pcleanpage1Class *form() const { return m_ui.get(); }
    // The result text after Delete, or null before.
    QLabel *resultLabel() const { return m_result; }

signals:
    void cleanChannel(int id, bool changed);

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void clickDelete();
    void OnSomeControlChanged(bool);

private:
    void setHeader();
    void clearAll();
    void clearFeed(int id);
    void keepNewest(int id);
    int clearedCount() const;

    std::unique_ptr<Ui::pcleanpage1Class> m_ui;
    QSqlDatabase *m_db;
    QMap<int, QString> m_titles;
    QLabel *m_result = nullptr;
};
