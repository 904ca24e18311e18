#pragma once

#include "hostexport.h"

#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <QPointer>

// What a wizard does: the wizard dialog shows the mission's current page and
// asks the mission which buttons are enabled and visible and what each does.
class PHOST_EXPORT CPxWizard_Mission_Base : public QObject
{
    Q_OBJECT
public:
    explicit CPxWizard_Mission_Base(QObject *parent = nullptr);
    ~CPxWizard_Mission_Base() override;

    void Set_CurrentPage(QWidget *page);
    QWidget *currentPage() const { return m_page; }
    // Makes the wizard ask the mission again.
    void DoOnChanged();
    void CloseWizard();

    // The eighteen operations, in this order: enabled Back, Next, Cancel, Finish;
    // visible Back, Next, Cancel, Finish; the four button actions (true when done);
    // title, icon, header picture, side picture, header text, side text.
    virtual bool Get_BackEnabled() = 0;
    virtual bool Get_NextEnabled() = 0;
    virtual bool Get_CancelEnabled() = 0;
    virtual bool Get_FinishEnabled() = 0;
    virtual bool Get_BackVisible() = 0;
    virtual bool Get_NextVisible() = 0;
    virtual bool Get_CancelVisible() = 0;
    virtual bool Get_FinishVisible() = 0;
    virtual bool On_Back() = 0;
    virtual bool On_Next() = 0;
    virtual bool On_Cancel() = 0;
    virtual bool On_Finish() = 0;
    virtual QString Get_Title() = 0;
    virtual QIcon Get_Icon() = 0;
    virtual QPixmap Get_HeaderPixmap() = 0;
    virtual QPixmap Get_SidePixmap() = 0;
    virtual QString Get_HeaderText() = 0;
    virtual QString Get_SideText() = 0;

signals:
    void currentPageChanged(QWidget *page);
    void changed();
    void closeRequested();

private:
    QPointer<QWidget> m_page;
};
