#include "pabopage3.h"

#include "host/psearchfield.h"
#include "wizard/abopagetitle.h"
#include "wizard/pabofeedtree.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

PAboPage3::PAboPage3(QSqlDatabase *db, QWidget *parent)
    : QWidget(parent),
      m_db(db),
      m_tree(new PAboFeedTree(this)),
      m_lineEdit(new PSearchField(this)),
      m_checkBox(new QCheckBox(this)),
      m_selectedFeeds(new QLabel(this)),
      m_intro(new QLabel(this)),
      m_picture(new QLabel(this)),
      m_title(new QLabel(this)),
      m_notice(new QLabel(this))
{
    setObjectName(QStringLiteral("PAboPage3Class"));
    m_tree->setObjectName(QStringLiteral("treeWidget"));
    m_lineEdit->setObjectName(QStringLiteral("lineEdit"));
    m_checkBox->setObjectName(QStringLiteral("checkBox"));
    m_selectedFeeds->setObjectName(QStringLiteral("selectedFeeds"));
    m_intro->setObjectName(QStringLiteral("label_4"));
    m_picture->setObjectName(QStringLiteral("label_3"));
    m_title->setObjectName(QStringLiteral("label"));
    m_notice->setObjectName(QStringLiteral("noticeLabel"));
    m_notice->setWordWrap(true);
    m_notice->hide();

    m_tree->setHeaderLabels({QStringLiteral("1")});

    QHBoxLayout *head = aboPageHead(m_picture, m_title, m_intro);

    auto *footer = new QHBoxLayout;
    footer->addWidget(m_checkBox);
    footer->addStretch(1);
    footer->addWidget(m_selectedFeeds);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(m_lineEdit);
    layout->addWidget(m_notice);
    layout->addWidget(m_tree, 1);
    layout->addLayout(footer);

    connect(m_tree, &PAboFeedTree::saveFeed, this, &PAboPage3::saveFeed);
    connect(m_tree, &PAboFeedTree::clearFeed, this, &PAboPage3::clearFeed);
    connect(m_lineEdit, &QLineEdit::textChanged, this, &PAboPage3::search);
    connect(m_tree, &PAboFeedTree::selectedFeeds, this, &PAboPage3::getFeedsNumber);
    connect(m_checkBox, &QCheckBox::clicked, this, &PAboPage3::selectAll);
    connect(m_tree, &PAboFeedTree::catalogueUnavailable, this, &PAboPage3::catalogueUnavailable);
    // Return searches at once and stays on the page.
    m_lineEdit->installEventFilter(this);

    m_title->setText(aboPageTitle(tr("Subscribe to a news")));
    retranslateUi();
}

void PAboPage3::Activate()
{
    // The reloaded tree shows everything; an old search text would only mislead.
    {
        const QSignalBlocker blocker(m_lineEdit);
        m_lineEdit->clear();
    }
    m_checkBox->setChecked(false);
    m_selectedFeeds->clear();
    m_available = true;
    m_noticeKind = NoNotice;
    showNotice();
    m_tree->loadCatalogue(m_db);
    emit availabilityChanged();
}

void PAboPage3::catalogueUnavailable()
{
    m_available = false;
    m_noticeKind = UnavailableNotice;
    showNotice();
    emit availabilityChanged();
}

void PAboPage3::showNothingTicked()
{
    m_noticeKind = NothingTickedNotice;
    showNotice();
}

QString PAboPage3::notice() const
{
    switch (m_noticeKind) {
    case UnavailableNotice:
        return tr("The recommended news cannot be loaded right now. You can still subscribe "
                  "by entering the address of a feed.");
    case NothingTickedNotice:
        return tr("Tick the feeds you want to subscribe to.");
    case NoNotice:
        break;
    }
    return QString();
}

void PAboPage3::showNotice()
{
    m_notice->setText(notice());
    m_notice->setVisible(m_noticeKind != NoNotice);
    m_checkBox->setEnabled(m_available);
    m_lineEdit->setEnabled(m_available);
}

bool PAboPage3::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_lineEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            search(m_lineEdit->text());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PAboPage3::search(const QString &text)
{
    m_tree->setFilter(text);
    m_tree->expandAll();
}

void PAboPage3::getFeedsNumber(int count)
{
    if (m_noticeKind == NothingTickedNotice && count > 0) {
        m_noticeKind = NoNotice;
        showNotice();
    }
    m_selectedFeeds->setText(tr("%1 news selected").arg(count));
    m_checkBox->setChecked(m_tree->total() > 0 && count == m_tree->total());
}

void PAboPage3::selectAll(bool)
{
    if (m_checkBox->isChecked())
        m_tree->checkAll();
    else
        m_tree->uncheckAll();
}

void PAboPage3::retranslateUi()
{
    setWindowTitle(tr("PAboPage3"));
    m_checkBox->setText(tr("Select all"));
    m_intro->setText(tr("This wizard assists you with subscribing to a news."));
    m_selectedFeeds->setText(m_selectedFeeds->text().isEmpty()
            ? QString()
            : tr("%1 news selected").arg(m_tree->selected()));
    m_notice->setText(notice());
}

void PAboPage3::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslateUi();
        m_title->setText(aboPageTitle(tr("Subscribe to a news")));
    }
    QWidget::changeEvent(event);
}
