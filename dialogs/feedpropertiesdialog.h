#pragma once

#include <QDialog>

class QFormLayout;
class QSqlDatabase;

// What there is to know about one feed: its addresses and folder, its items and
// how its last update went.
class FeedPropertiesDialog : public QDialog
{
    Q_OBJECT
public:
    FeedPropertiesDialog(QSqlDatabase *db, int feedId, QWidget *parent = nullptr);

    // The text shown against a label, for tests and screenshots; empty when absent.
    QString valueOf(const QString &label) const;

private:
    void addRow(const QString &label, const QString &value);

    QFormLayout *m_form = nullptr;
};
