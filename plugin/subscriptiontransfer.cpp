#include "subscriptiontransfer.h"

#include "core/opmldocument.h"
#include "core/subscriptionlist.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QSaveFile>
#include <QSqlQuery>
#include <QVariant>

// The texts keep the plug-in's translation context, where the German ones are.

SubscriptionTransfer::SubscriptionTransfer(QSqlDatabase *db, QObject *parent)
    : QObject(parent), m_db(db)
{
}

QVariantMap SubscriptionTransfer::import(const QByteArray &document, bool databaseUsable)
{
    QVariantMap answer;
    OpmlDocument opml;
    if (!opml.read(document)) {
        answer.insert(QStringLiteral("ok"), false);
        answer.insert(QStringLiteral("summary"),
            QCoreApplication::translate(
                "PRSSFeedPlugin", "The subscription list was not imported: %1")
                .arg(opml.errorString()));
        return answer;
    }
    if (!databaseUsable) {
        answer.insert(QStringLiteral("ok"), false);
        answer.insert(QStringLiteral("summary"),
            QCoreApplication::translate("PRSSFeedPlugin",
                "The subscription list was not imported: the news database is not available."));
        return answer;
    }

    const SubscriptionList::Outcome outcome = SubscriptionList(m_db).add(opml.feeds());
    if (!outcome.stored) {
        answer.insert(QStringLiteral("ok"), false);
        answer.insert(QStringLiteral("summary"),
            QCoreApplication::translate("PRSSFeedPlugin",
                "The subscription list was not imported: the news database cannot be written."));
        return answer;
    }

    for (int folder : outcome.newFolders)
        emit folderAdded(folder);
    // Each new feed is reported as a subscription from the wizard is; the folder
    // layout and the changed feeds go once, for the whole list.
    QSqlQuery query(*m_db);
    for (int id : outcome.added) {
        query.exec(QStringLiteral("select farmid, channeltitle, source from feeds where id = ")
            + QString::number(id));
        if (query.next())
            emit feedAdded(
                id, query.value(0).toInt(), query.value(1).toString(), query.value(2).toString());
    }
    for (int id : outcome.resubscribed)
        emit feedResubscribed(id);
    const QList<int> changed = outcome.added + outcome.resubscribed;
    emit listMerged(changed, !outcome.added.isEmpty() || !outcome.newFolders.isEmpty());

    const int added = int(changed.size());
    answer.insert(QStringLiteral("ok"), true);
    answer.insert(QStringLiteral("added"), added);
    answer.insert(QStringLiteral("skipped"), outcome.skipped);
    answer.insert(QStringLiteral("refused"), opml.refused());
    answer.insert(QStringLiteral("summary"),
        QCoreApplication::translate("PRSSFeedPlugin",
            "Subscription list imported: %1 added, %2 skipped (already subscribed), "
            "%3 refused (no usable address).")
            .arg(added)
            .arg(outcome.skipped)
            .arg(opml.refused()));
    return answer;
}

QByteArray SubscriptionTransfer::exportList() const
{
    return OpmlDocument::write(
        QCoreApplication::translate("PRSSFeedPlugin", "pellix News subscriptions"),
        SubscriptionList(m_db).folders());
}

void SubscriptionTransfer::importFile(QWidget *parent, bool databaseUsable)
{
    const QString title = QCoreApplication::translate("PRSSFeedPlugin", "Import Subscriptions");
    const QString fileName = QFileDialog::getOpenFileName(parent, title, QString(),
        QCoreApplication::translate(
            "PRSSFeedPlugin", "Subscription lists (*.opml *.xml);;All files (*)"));
    if (fileName.isEmpty())
        return;
    QFile file(fileName);
    QString summary;
    if (file.open(QIODevice::ReadOnly))
        summary
            = import(file.readAll(), databaseUsable).value(QStringLiteral("summary")).toString();
    else
        summary = QCoreApplication::translate(
            "PRSSFeedPlugin", "The subscription list was not imported: %1")
                      .arg(file.errorString());
    QMessageBox::information(parent, title, summary);
}

void SubscriptionTransfer::exportFile(QWidget *parent)
{
    const QString title = QCoreApplication::translate("PRSSFeedPlugin", "Export Subscriptions");
    const QString fileName
        = QFileDialog::getSaveFileName(parent, title, QStringLiteral("subscriptions.opml"),
            QCoreApplication::translate("PRSSFeedPlugin", "Subscription lists (*.opml)"));
    if (fileName.isEmpty())
        return;
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(exportList()) < 0 || !file.commit())
        QMessageBox::information(parent, title,
            QCoreApplication::translate(
                "PRSSFeedPlugin", "The subscription list could not be written: %1")
                .arg(file.errorString()));
}
