#pragma once

#include "host/pdialog2.h"

#include <memory>

class QSqlDatabase;
namespace Ui {
class PConfigDialogClass;
}

// "News Options": update interval, items per feed in the client and in the
// viewer, the client's display options and which feeds the client shows. Save
// stores each changed setting, tells the client about it and emits what the
// updater, the viewer and the plug-in must react to; Cancel changes nothing.
class PConfigDialog : public PDialog2
{
    Q_OBJECT
public:
    explicit PConfigDialog(QSqlDatabase *db, QWidget *parent = nullptr);
    ~PConfigDialog() override;

    Ui::PConfigDialogClass *form() const { return m_ui.get(); }

signals:
    void sendHideFeed(int id);
    void sendNewIntervall();
    void sendNewItemCount();
    void sendNewOptions();
    void sendShowFeed(int id);

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void pressComplete();

private:
    void setHeader();

    std::unique_ptr<Ui::PConfigDialogClass> m_ui;
    // The settings as stored when the dialog opened.
    int m_updateIntervall;
    int m_maxItemsInClient;
    int m_maxItemsInViewer;
    int m_inGroups;
    int m_newItemsOnly;
    int m_switchByNewItems;
};
