#include "pwizard_standard2.h"
#include "cpxwizard_mission_base.h"
#include "cpxwizard_page_base.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

PWizard_Standard2::PWizard_Standard2()
    : CPxWizard_Base(nullptr),
      m_side(new QLabel(this)),
      m_header(new QLabel(this)),
      m_headerText(new QLabel(this)),
      m_pageArea(new QVBoxLayout),
      m_back(new QPushButton(this)),
      m_next(new QPushButton(this)),
      m_cancel(new QPushButton(this)),
      m_finish(new QPushButton(this))
{
    // Return belongs to the page (its own default button, its fields); a
    // wizard button that took it over would leave the page behind.
    for (QPushButton *button : {m_back, m_next, m_cancel, m_finish})
        button->setAutoDefault(false);
    retranslateUi();

    auto *top = new QHBoxLayout;
    m_side->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    top->addWidget(m_side);
    auto *right = new QVBoxLayout;
    auto *headerRow = new QHBoxLayout;
    headerRow->addWidget(m_header);
    headerRow->addWidget(m_headerText, 1);
    right->addLayout(headerRow);
    right->addLayout(m_pageArea, 1);
    top->addLayout(right, 1);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_back);
    buttons->addWidget(m_next);
    buttons->addWidget(m_finish);
    buttons->addWidget(m_cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(line);
    layout->addLayout(buttons);

    connect(m_back, &QPushButton::clicked, this, &PWizard_Standard2::back);
    connect(m_next, &QPushButton::clicked, this, &PWizard_Standard2::next);
    connect(m_cancel, &QPushButton::clicked, this, &PWizard_Standard2::cancel);
    connect(m_finish, &QPushButton::clicked, this, &PWizard_Standard2::finish);
}

PWizard_Standard2::~PWizard_Standard2()
{
    // Pages belong to the mission; take the shown one out of the dialog first.
    if (m_page)
        m_page->setParent(nullptr);
}

void PWizard_Standard2::Set_Mission(CPxWizard_Mission_Base *mission)
{
    if (m_mission)
        disconnect(m_mission, nullptr, this, nullptr);
    m_mission = mission;
    if (!mission)
        return;
    connect(
        mission, &CPxWizard_Mission_Base::currentPageChanged, this, &PWizard_Standard2::showPage);
    connect(mission, &CPxWizard_Mission_Base::changed, this, &PWizard_Standard2::refresh);
    connect(mission, &CPxWizard_Mission_Base::closeRequested, this, &QDialog::accept);
    showPage(mission->currentPage());
}

void PWizard_Standard2::showPage(QWidget *page)
{
    if (m_page == page) {
        refresh();
        return;
    }
    if (m_page) {
        if (auto *base = dynamic_cast<CPxWizard_Page_Base *>(m_page.data()))
            base->Deactivate();
        m_page->hide();
        m_pageArea->removeWidget(m_page);
        m_page->setParent(nullptr);
    }
    m_page = page;
    if (page) {
        m_pageArea->addWidget(page);
        page->show();
        if (auto *base = dynamic_cast<CPxWizard_Page_Base *>(page))
            base->Activate();
    }
    refresh();
}

void PWizard_Standard2::refresh()
{
    if (!m_mission)
        return;
    m_back->setEnabled(m_mission->Get_BackEnabled());
    m_next->setEnabled(m_mission->Get_NextEnabled());
    m_cancel->setEnabled(m_mission->Get_CancelEnabled());
    m_finish->setEnabled(m_mission->Get_FinishEnabled());
    m_back->setVisible(m_mission->Get_BackVisible());
    m_next->setVisible(m_mission->Get_NextVisible());
    m_cancel->setVisible(m_mission->Get_CancelVisible());
    m_finish->setVisible(m_mission->Get_FinishVisible());
    setWindowTitle(m_mission->Get_Title());
    setWindowIcon(m_mission->Get_Icon());
    const QPixmap header = m_mission->Get_HeaderPixmap();
    m_header->setPixmap(header);
    m_header->setVisible(!header.isNull());
    m_headerText->setText(m_mission->Get_HeaderText());
    m_headerText->setVisible(!m_headerText->text().isEmpty());
    const QPixmap side = m_mission->Get_SidePixmap();
    m_side->setPixmap(side);
    m_side->setVisible(!side.isNull());
}

void PWizard_Standard2::back()
{
    if (m_mission && m_back->isEnabled() && !m_back->isHidden())
        m_mission->On_Back();
    refresh();
}

void PWizard_Standard2::next()
{
    if (m_mission && m_next->isEnabled() && !m_next->isHidden())
        m_mission->On_Next();
    refresh();
}

void PWizard_Standard2::cancel()
{
    if (!m_mission || m_mission->On_Cancel())
        QDialog::reject();
}

void PWizard_Standard2::finish()
{
    if (m_mission && m_finish->isEnabled() && !m_finish->isHidden())
        m_mission->On_Finish();
}

void PWizard_Standard2::retranslateUi()
{
    m_back->setText(tr("< &Back"));
    m_next->setText(tr("&Next >"));
    m_cancel->setText(tr("Cancel"));
    m_finish->setText(tr("&Finish"));
}

void PWizard_Standard2::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslateUi();
        refresh();
    }
    CPxWizard_Base::changeEvent(event);
}

void PWizard_Standard2::reject()
{
    cancel();
}
