#include "pabopage1.h"

#include "wizard/abopagetitle.h"

#include <QEvent>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

PAboPage1::PAboPage1(QWidget *parent)
    : QWidget(parent),
      m_picture(new QLabel(this)),
      m_title(new QLabel(this)),
      m_intro(new QLabel(this)),
      m_recommended(new QRadioButton(this)),
      m_address(new QRadioButton(this)),
      m_hint(new QLabel(this))
{
    setObjectName(QStringLiteral("PAboPage1Class"));
    m_picture->setObjectName(QStringLiteral("label_3"));
    m_title->setObjectName(QStringLiteral("label"));
    m_intro->setObjectName(QStringLiteral("label_4"));
    m_recommended->setObjectName(QStringLiteral("radioButton_2"));
    m_address->setObjectName(QStringLiteral("radioButton"));
    m_hint->setObjectName(QStringLiteral("label_2"));

    m_hint->setWordWrap(true);
    m_recommended->setChecked(true);

    QHBoxLayout *head = aboPageHead(m_picture, m_title, m_intro);
    head->setObjectName(QStringLiteral("hboxLayout"));

    auto *layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("vboxLayout"));
    layout->addLayout(head);
    layout->addSpacing(16);
    layout->addWidget(m_hint);
    layout->addSpacing(8);
    layout->addWidget(m_recommended);
    layout->addWidget(m_address);
    layout->addStretch(1);

    connect(m_address, &QRadioButton::toggled, this, &PAboPage1::OnSomeControlChanged);
    connect(m_recommended, &QRadioButton::toggled, this, &PAboPage1::OnSomeControlChanged);

    m_title->setText(aboPageTitle(tr("Subscribe to a news")));
    retranslateUi();
}

void PAboPage1::OnSomeControlChanged(bool)
{
    if (m_address->isChecked())
        m_choice = EnterAddress;
    else if (m_recommended->isChecked())
        m_choice = RecommendedFeeds;
    emit buttonChanged();
}

void PAboPage1::retranslateUi()
{
    setWindowTitle(tr("PAboPage1"));
    m_intro->setText(tr("This wizard assists you with subscribing to a news."));
    m_recommended->setText(tr("I want to import recommended news."));
    m_address->setText(tr("I want to enter the address of the RSS feed."));
    m_hint->setText(tr("You can either enter the address of the news or import recommended news."));
}

void PAboPage1::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslateUi();
        m_title->setText(aboPageTitle(tr("Subscribe to a news")));
    }
    QWidget::changeEvent(event);
}
