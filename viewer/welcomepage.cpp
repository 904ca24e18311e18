#include "welcomepage.h"

#include <QEvent>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

WelcomePage::WelcomePage(QWidget *parent)
    : QWidget(parent), m_text(new QLabel(this)), m_button(new QPushButton(this))
{
    setObjectName(QStringLiteral("welcomePage"));
    setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 32, 32, 32);
    m_text->setObjectName(QStringLiteral("welcomeText"));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::RichText);
    m_button->setObjectName(QStringLiteral("welcomeSubscribeButton"));
    m_button->setIcon(QIcon(QStringLiteral(":/rss-16")));
    layout->addWidget(m_text);
    layout->addSpacing(16);
    layout->addWidget(m_button, 0, Qt::AlignLeft);
    layout->addStretch(1);
    connect(m_button, &QPushButton::clicked, this, &WelcomePage::subscribeClicked);
    retranslate();
}

void WelcomePage::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(e);
}

void WelcomePage::retranslate()
{
    m_text->setText(
        tr("<h2>Welcome to pellix News</h2><p>You have not subscribed to any news yet.</p>"
           "<p>Click <b>Subscribe to News</b> to add a feed by its address, to find the feeds "
           "of a web page, or to choose from the recommended feeds. Their news then appear "
           "in the tree on the left and here, page by page.</p>"));
    m_button->setText(tr("Subscribe to News..."));
}
