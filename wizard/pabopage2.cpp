#include "pabopage2.h"

#include "wizard/abopagetitle.h"
#include "wizard/feeddiscovery.h"
#include "wizard/pabofeedtable.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
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
      m_title(new QLabel(this)),
      m_hint(new QLabel(this))
{
    setObjectName(QStringLiteral("PAboPage2Class"));
    m_feedTable->setObjectName(QStringLiteral("feedTable"));
    m_urlLabel->setObjectName(QStringLiteral("label_2"));
    m_lineEdit->setObjectName(QStringLiteral("lineEdit"));
    m_goButton->setObjectName(QStringLiteral("goButton"));
    m_picture->setObjectName(QStringLiteral("label_3"));
    m_intro->setObjectName(QStringLiteral("label_4"));
    m_title->setObjectName(QStringLiteral("label"));
    m_hint->setObjectName(QStringLiteral("hintLabel"));
    m_hint->setWordWrap(true);
    m_hint->hide();

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
    layout->addWidget(m_hint);

    // Return in the address field searches; the wizard's own buttons never see it.
    m_lineEdit->installEventFilter(this);
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
    m_hint->hide();
    m_lineEdit->setText(QStringLiteral("http://"));
    // Selected, so that what is typed or pasted replaces it.
    m_lineEdit->selectAll();
    m_lineEdit->setFocus();
    m_feedsFound = false;
}

bool PAboPage2::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_lineEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            showTable();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PAboPage2::showNothingTicked()
{
    m_hint->setText(tr("Tick the feeds you want to subscribe to."));
    m_hint->show();
}

void PAboPage2::OnSomeControlChanged(const QString &)
{
    m_hint->hide();
    if (m_feedTable->isHidden())
        return;
    m_feedTable->abort();
    m_feedTable->hide();
    m_feedsFound = false;
    emit sendFeedFound();
}

void PAboPage2::showTable()
{
    const QString text = FeedDiscovery::addressFromInput(m_lineEdit->text());
    if (!text.isEmpty() && text != m_lineEdit->text())
        m_lineEdit->setText(text);
    m_hint->hide();
    // A new search makes the feeds of the last one unavailable until it finds some.
    m_feedsFound = false;
    const QUrl url(text);
    const QString scheme = url.scheme();
    if (url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))) {
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
    if (!m_hint->isHidden())
        showNothingTicked();
}

void PAboPage2::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslateUi();
        m_title->setText(aboPageTitle(tr("Subscribe to a news")));
    }
    QWidget::changeEvent(event);
}
