#pragma once

#include "host/cpxwizard_page_base.h"

#include <QWidget>

class PAboFeedTree;
class PSearchField;
class QCheckBox;
class QLabel;
class QSqlDatabase;

// Third page: the catalogue of recommended feeds, with a search field, a counter
// and "Select all".
class PAboPage3 : public QWidget, public CPxWizard_Page_Base
{
    Q_OBJECT
public:
    explicit PAboPage3(QSqlDatabase *db, QWidget *parent = nullptr);

    // Every visit loads the catalogue anew.
    void Activate() override;

    PAboFeedTree *treeWidget() const { return m_tree; }
    PSearchField *searchField() const { return m_lineEdit; }
    QCheckBox *selectAllBox() const { return m_checkBox; }
    // False once the server said it has no catalogue to give.
    bool catalogueAvailable() const { return m_available; }
    QString notice() const;
    // Tells the user that Finish needs a ticked feed.
    void showNothingTicked();

signals:
    void clearFeed(const QString &address);
    void saveFeed(const QString &address, const QString &title, int id);
    void availabilityChanged();

public slots:
    void getFeedsNumber(int count);
    void search(const QString &text);
    void selectAll(bool checked);

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void retranslateUi();
    void catalogueUnavailable();
    void showNotice();

    enum Notice { NoNotice, UnavailableNotice, NothingTickedNotice };

    QSqlDatabase *m_db;
    PAboFeedTree *m_tree;
    PSearchField *m_lineEdit;
    QCheckBox *m_checkBox;
    QLabel *m_selectedFeeds;
    QLabel *m_intro;
    QLabel *m_picture;
    QLabel *m_title;
    QLabel *m_notice;
    bool m_available = true;
    Notice m_noticeKind = NoNotice;
};
