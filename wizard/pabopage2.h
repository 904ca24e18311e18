#pragma once

#include "host/cpxwizard_page_base.h"

#include <QWidget>

class PAboFeedTable;
class QLabel;
class QLineEdit;
class QPushButton;
class QSqlDatabase;

// Second page: an address, and the feeds found there.
class PAboPage2 : public QWidget, public CPxWizard_Page_Base
{
    Q_OBJECT
public:
    explicit PAboPage2(QSqlDatabase *db, QWidget *parent = nullptr);

    // Every visit starts afresh: no table, "http://" in the address field.
    void Activate() override;
    void Deactivate() override { }
    void RefreshPage() override { }

    bool feedsFound() const { return m_feedsFound; }
    PAboFeedTable *feedTable() const { return m_feedTable; }
    QLineEdit *lineEdit() const { return m_lineEdit; }
    QPushButton *goButton() const { return m_goButton; }
    // Tells the user that Finish needs a ticked feed.
    void showNothingTicked();

signals:
    void clearFeed(const QString &address);
    void saveFeed(const QString &address, const QString &title);
    void sendFeedFound();

public slots:
    void getFeedFound();
    void OnSomeControlChanged(const QString &text);
    void showTable();

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void retranslateUi();

    QSqlDatabase *m_db;
    bool m_feedsFound = false;
    PAboFeedTable *m_feedTable;
    QLabel *m_urlLabel;
    QLineEdit *m_lineEdit;
    QPushButton *m_goButton;
    QLabel *m_picture;
    QLabel *m_intro;
    QLabel *m_title;
    QLabel *m_hint;
};
