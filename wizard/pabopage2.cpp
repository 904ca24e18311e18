#include "pabopage2.h"

#include "wizard/abopagetitle.h"
#include "wizard/pabofeedtable.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

PAboPage2::PAboPage2(QSqlDatabase *db, QWidget *parent)
    : QWidget(parent),
      m_db(db),
      m_feedTable(new PAboFeedTable(this)),
      m_urlLabel(new QLabel(this)),
      m_lineEdit(new QLineEdit(this)),
      m_goButton(new QPushButton(this)),
      m_picture(new QLabel(this)),
      m_intro(new QLabel(this)),
      m_title(new QLabel(this))
{
    setObjectName(QStringLiteral("PAboPage2Class"));
    m_feedTable->setObjectName(QStringLiteral("feedTable"));
    m_urlLabel->setObjectName(QStringLiteral("label_2"));
    m_lineEdit->setObjectName(QStringLiteral("lineEdit"));
    m_goButton->setObjectName(QStringLiteral("goButton"));
    m_picture->setObjectName(QStringLiteral("label_3"));
    m_intro->setObjectName(QStringLiteral("label_4"));
    m_title->setObjectName(QStringLiteral("label"));

    m_feedTable->setDatabase(db);
    m_goButton->setDefault(true);
    setFocusProxy(m_lineEdit);

    QHBoxLayout *head = aboPageHead(m_picture, m_title, m_intro);

    auto *address = new QHBoxLayout;
    address->addWidget(m_lineEdit, 1);
    address->addWidget(m_goButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addSpacing(16);
    layout->addWidget(m_urlLabel);
    layout->addLayout(address);
    layout->addWidget(m_feedTable, 1);

    connect(m_lineEdit, &QLineEdit::returnPressed, m_goButton, &QPushButton::click);
    connect(m_lineEdit, &QLineEdit::textChanged, this, &PAboPage2::OnSomeControlChanged);
    connect(m_goButton, &QPushButton::clicked, this, &PAboPage2::showTable);
    connect(m_feedTable, &PAboFeedTable::saveFeed, this, &PAboPage2::saveFeed);
    connect(m_feedTable, &PAboFeedTable::clearFeed, this, &PAboPage2::clearFeed);
    connect(m_feedTable, &PAboFeedTable::sendFeedFound, this, &PAboPage2::getFeedFound);

    m_title->setText(aboPageTitle(tr("Subscribe to a news")));
    retranslateUi();
}

void PAboPage2::Activate()
{
    m_feedTable->abort();
    m_feedTable->clear();
    m_feedTable->setRowCount(0);
    m_feedTable->hide();
    m_lineEdit->setText(QStringLiteral("http://"));
    m_lineEdit->setFocus();
    m_feedsFound = false;
}

void PAboPage2::OnSomeControlChanged(const QString &)
{
    if (m_feedTable->isHidden())
        return;
    m_feedTable->abort();
    m_feedTable->hide();
    m_feedsFound = false;
    emit sendFeedFound();
}

void PAboPage2::showTable()
{
    QString text = m_lineEdit->text();
    // Secure addresses keep their scheme; anything else is taken as plain HTTP.
    if (!text.startsWith(QLatin1String("http://")) && !text.startsWith(QLatin1String("https://"))) {
        text.prepend(QLatin1String("http://"));
        m_lineEdit->setText(text);
    }
    // A new search makes the feeds of the last one unavailable until it finds some.
    m_feedsFound = false;
    const QUrl url(text);
    if (url.isValid() && !url.host().isEmpty()) {
        m_feedTable->show();
        m_feedTable->discover(url);
    } else {
        m_feedTable->abort();
        m_feedTable->hide();
    }
    emit sendFeedFound();
}

void PAboPage2::getFeedFound()
{
    m_feedsFound = true;
    emit sendFeedFound();
}

void PAboPage2::retranslateUi()
{
    setWindowTitle(tr("PAboPage2"));
    m_urlLabel->setText(tr("Enter the URL (address) of the RSS feed"));
    m_goButton->setText(tr("Go"));
    m_intro->setText(tr("This wizard assists you with subscribing to a news."));
}

void PAboPage2::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslateUi();
        m_title->setText(aboPageTitle(tr("Subscribe to a news")));
    }
    QWidget::changeEvent(event);
}
