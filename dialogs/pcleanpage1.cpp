#include "pcleanpage1.h"
#include "ui_pcleanpage1.h"

#include "dialogs/dialogframe.h"
#include "pages/decodeentities.h"

#include <QEvent>
#include <QPixmap>
#include <QSqlQuery>

PCleanPage1::PCleanPage1(QSqlDatabase *db, int id, QWidget *parent)
    : PDialog2(parent), m_ui(std::make_unique<Ui::pcleanpage1Class>()), m_db(db)
{
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select id, channeltitle from feeds where channeltitle is not null"));
    while (query.next())
        m_titles.insert(query.value(0).toInt(), decodeEntities(query.value(1).toString()));
    query.exec(QStringLiteral("select id, source from feeds where channeltitle is null"));
    while (query.next())
        m_titles.insert(query.value(0).toInt(), query.value(1).toString());
    m_titles.insert(0, tr("All channels"));

    m_ui->setupUi(this);
    setHeader();

    for (const QString &title : std::as_const(m_titles))
        m_ui->feedBox->addItem(title);
    const int selected = m_ui->feedBox->findText(m_titles.value(id));
    if (selected >= 0)
        m_ui->feedBox->setCurrentIndex(selected);

    m_ui->spinBox->setEnabled(false);
    m_ui->label_3->setPixmap(QPixmap(QStringLiteral(":/rss-sidebar")));
    connect(m_ui->radioButton, &QRadioButton::toggled, this, &PCleanPage1::OnSomeControlChanged);
    connect(m_ui->deleteButton, &QPushButton::clicked, this, &PCleanPage1::clickDelete);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &QDialog::accept);

    setUpDialogFrame(this, tr("Clean wizard"));
}

PCleanPage1::~PCleanPage1() = default;

void PCleanPage1::setHeader()
{
    m_ui->label_6->setText(dialogHeading(tr("Clean news")));
}

void PCleanPage1::OnSomeControlChanged(bool)
{
    m_ui->spinBox->setEnabled(m_ui->radioButton->isChecked());
}

int PCleanPage1::clearedCount() const
{
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select count(*) from items where toclear = 1"));
    return query.next() ? query.value(0).toInt() : 0;
}

void PCleanPage1::keepNewest(int id)
{
    const QString f = QString::number(id);
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("update items set toclear = 1 where channelid =") + f
        + QStringLiteral(" and itemid not in (select itemid from items where channelid =") + f
        + QStringLiteral(" and toclear = 0 order by itemid desc limit ")
        + QString::number(m_ui->spinBox->value()) + QLatin1Char(')'));
}

void PCleanPage1::clearAll()
{
    QSqlQuery query(*m_db);
    if (m_ui->readButton->isChecked()) {
        query.exec(QStringLiteral("update items set toclear = 1 where isread = 1"));
    } else if (m_ui->allButton->isChecked()) {
        query.exec(QStringLiteral("update items set toclear = 1"));
    } else {
        QSqlQuery feeds(*m_db);
        feeds.exec(QStringLiteral("select id from feeds"));
        while (feeds.next())
            keepNewest(feeds.value(0).toInt());
    }
    QSqlQuery feeds(*m_db);
    feeds.exec(QStringLiteral("select id from feeds"));
    while (feeds.next())
        emit cleanChannel(feeds.value(0).toInt(), true);
    emit cleanChannel(0, true);
}

void PCleanPage1::clearFeed(int id)
{
    const QString f = QString::number(id);
    QSqlQuery query(*m_db);
    if (m_ui->allButton->isChecked()) {
        query.exec(QStringLiteral("update items set toclear = 1 where channelid=") + f);
    } else if (m_ui->readButton->isChecked()) {
        // For a single feed this option clears the feed's unread items.
        query.exec(QStringLiteral("update items set toclear = 1 where channelid=") + f
            + QStringLiteral(" and isread = 0"));
    } else {
        keepNewest(id);
    }
    emit cleanChannel(id, true);
    emit cleanChannel(0, true);
}

void PCleanPage1::clickDelete()
{
    const QString chosen = m_ui->feedBox->currentText();
    int id = 0;
    for (auto it = m_titles.cbegin(); it != m_titles.cend(); ++it) {
        if (it.value() == chosen) {
            id = it.key();
            break;
        }
    }

    const int before = clearedCount();
    if (id == 0)
        clearAll();
    else
        clearFeed(id);
    const int after = clearedCount();

    QString text = tr("%1 items were deleted.").arg(after - before) + QLatin1Char('\n');
    if (chosen == tr("All channels"))
        text += tr("In all channels");
    else
        text += tr("In the channel:") + QLatin1Char(' ') + chosen;

    QSqlQuery(*m_db).exec(QStringLiteral("commit"));

    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("label"));
    m_result->setGeometry(200, 100, 192, 28);
    m_result->setText(text);
    m_result->show();
    for (QWidget *w :
        {static_cast<QWidget *>(m_ui->allButton), static_cast<QWidget *>(m_ui->deleteButton),
            static_cast<QWidget *>(m_ui->feedBox), static_cast<QWidget *>(m_ui->label),
            static_cast<QWidget *>(m_ui->label_2), static_cast<QWidget *>(m_ui->radioButton),
            static_cast<QWidget *>(m_ui->readButton), static_cast<QWidget *>(m_ui->spinBox)})
        w->hide();
    m_ui->cancelButton->setText(tr("Finish"));
}

void PCleanPage1::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        m_ui->retranslateUi(this);
        setWindowTitle(tr("Clean wizard"));
        m_titles.insert(0, tr("All channels"));
        // The combo lists the map in key order, so "All channels" is its first entry.
        if (m_ui->feedBox->count() > 0)
            m_ui->feedBox->setItemText(0, m_titles.value(0));
        if (m_ui->allButton->isHidden())
            m_ui->cancelButton->setText(tr("Finish"));
        setHeader();
    }
    PDialog2::changeEvent(event);
}
