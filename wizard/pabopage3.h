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

signals:
    void clearFeed(const QString &address);
    void saveFeed(const QString &address, const QString &title, int id);

public slots:
    void getFeedsNumber(int count);
    void search(const QString &text);
    void selectAll(bool checked);

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslateUi();

    QSqlDatabase *m_db;
    PAboFeedTree *m_tree;
    PSearchField *m_lineEdit;
    QCheckBox *m_checkBox;
    QLabel *m_selectedFeeds;
    QLabel *m_intro;
    QLabel *m_picture;
    QLabel *m_title;
};
