#include "feedpropertiesdialog.h"

#include "core/feedhealth.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVBoxLayout>
#include <QVariant>

FeedPropertiesDialog::FeedPropertiesDialog(QSqlDatabase *db, int feedId, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Properties"));
    auto *layout = new QVBoxLayout(this);
    m_form = new QFormLayout;
    m_form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    layout->addLayout(m_form);

    QSqlQuery query(*db);
    query.exec(QStringLiteral("select feeds.channeltitle, feeds.source, feeds.link, folder.title, "
                              "feeds.toload from feeds left join folder on feeds.folderid = "
                              "folder.id where feeds.id = ")
        + QString::number(feedId));
    const bool found = query.next();
    const QString source = found ? query.value(1).toString() : QString();
    const QString title = found ? query.value(0).toString() : QString();
    addRow(tr("Title:"), title.isEmpty() ? source : title);
    addRow(tr("Address:"), source);
    addRow(tr("Web site:"), found ? query.value(2).toString() : QString());
    addRow(tr("Folder:"), found ? query.value(3).toString() : QString());
    addRow(
        tr("Updated:"), found && query.value(4).toInt() == 1 ? tr("yes") : tr("no, unsubscribed"));

    query.exec(QStringLiteral("select count(*), sum(isread = 0) from items where toclear = 0 and "
                              "channelid = ")
        + QString::number(feedId));
    const bool counted = query.next();
    addRow(tr("Items:"),
        tr("%1 (%2 unread)")
            .arg(counted ? query.value(0).toInt() : 0)
            .arg(counted ? query.value(1).toInt() : 0));

    const FeedHealth::Record health = FeedHealth(db).recordOf(feedId);
    addRow(tr("Last update:"),
        health.result == FeedHealth::NotChecked
            ? tr("not updated yet")
            : QLocale().toString(health.checked.toLocalTime(), QLocale::ShortFormat));
    addRow(tr("Last result:"), FeedHealth::resultText(health));
    addRow(tr("Last error:"), health.failed() ? health.error : QString());

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

void FeedPropertiesDialog::addRow(const QString &label, const QString &value)
{
    auto *field = new QLabel(value, this);
    field->setTextInteractionFlags(Qt::TextSelectableByMouse);
    field->setTextFormat(Qt::PlainText);
    field->setWordWrap(true);
    m_form->addRow(label, field);
}

QString FeedPropertiesDialog::valueOf(const QString &label) const
{
    for (int row = 0; row < m_form->rowCount(); ++row) {
        auto *name = qobject_cast<QLabel *>(m_form->itemAt(row, QFormLayout::LabelRole)->widget());
        auto *value = qobject_cast<QLabel *>(m_form->itemAt(row, QFormLayout::FieldRole)->widget());
        if (name && value && name->text() == label)
            return value->text();
    }
    return QString();
}
