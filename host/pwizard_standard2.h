#pragma once

#include "cpxwizard_base.h"
#include "hostexport.h"

#include <QPointer>

#include "cpxwizard_mission_base.h"
class QLabel;
class QPushButton;
class QVBoxLayout;

// The client's standard wizard: side picture, header, the mission's current page
// and the Back / Next / Cancel / Finish buttons, all governed by the mission.
class PHOST_EXPORT PWizard_Standard2 : public CPxWizard_Base
{
    Q_OBJECT
public:
    PWizard_Standard2();
    ~PWizard_Standard2() override;

    void Set_Mission(CPxWizard_Mission_Base *mission);
    CPxWizard_Mission_Base *mission() const { return m_mission; }

    QPushButton *backButton() const { return m_back; }
    QPushButton *nextButton() const { return m_next; }
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *finishButton() const { return m_finish; }
    QWidget *currentPage() const { return m_page; }

public slots:
    // The buttons' actions; each does nothing while its button is disabled or hidden.
    void back();
    void next();
    void cancel();
    void finish();
    // Asks the mission for the buttons, title and pictures again.
    void refresh();

protected:
    void reject() override;
    void changeEvent(QEvent *event) override;

private:
    void retranslateUi();
    void showPage(QWidget *page);

    QPointer<CPxWizard_Mission_Base> m_mission;
    QPointer<QWidget> m_page;
    QLabel *m_side;
    QLabel *m_header;
    QLabel *m_headerText;
    QVBoxLayout *m_pageArea;
    QPushButton *m_back;
    QPushButton *m_next;
    QPushButton *m_cancel;
    QPushButton *m_finish;
};
