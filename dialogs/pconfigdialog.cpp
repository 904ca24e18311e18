#include "pconfigdialog.h"
#include "ui_pconfigdialog.h"

#include "core/rssprotocol.h"
#include "core/rsssettings.h"
#include "dialogs/dialogframe.h"
#include "host/psimplemessage.h"

#include <QEvent>
#include <QPixmap>

namespace {

// One message per changed setting; the client expects exactly one setting field each.
void sendSetting(quint32 field, int value, bool asByte = false)
{
    PSimpleMessage message(ClientMessage::NewsModule, ClientMessage::SettingChanged, false);
    message.AddFieldAsUint16(ProtocolField::SettingCount, 1);
    if (asByte)
        message.AddFieldAsUint8(field, quint8(value));
    else
        message.AddFieldAsUint16(field, quint16(value));
    message.Send();
}

} // namespace

PConfigDialog::PConfigDialog(QSqlDatabase *db, QWidget *parent)
    : PDialog2(parent), m_ui(std::make_unique<Ui::PConfigDialogClass>())
{
    m_ui->setupUi(this);
    setHeader();

    m_ui->tableWidget->fill(db);

    m_updateIntervall = RssSettings::intValue(RssSettings::UpdateIntervall);
    m_maxItemsInClient = RssSettings::intValue(RssSettings::MaxItemsInClient);
    m_maxItemsInViewer = RssSettings::intValue(RssSettings::MaxItemsInViewer);
    m_inGroups = RssSettings::intValue(RssSettings::InGroups);
    m_newItemsOnly = RssSettings::intValue(RssSettings::NewItemsOnly);
    m_switchByNewItems = RssSettings::intValue(RssSettings::SwitchByNewItems);

    m_ui->IntervallspinBox->setValue(m_updateIntervall);
    m_ui->spinBox->setValue(m_maxItemsInClient);
    m_ui->spinBox_2->setValue(m_maxItemsInViewer);
    m_ui->checkBox->setChecked(m_inGroups != 0);
    m_ui->unreadedItemsBox->setChecked(m_newItemsOnly != 0);
    m_ui->m_SwitchModuleCheckBox->setChecked(m_switchByNewItems == 1);

    connect(m_ui->buttonComplete, &QPushButton::clicked, this, &PConfigDialog::pressComplete);
    connect(m_ui->buttonCancel, &QPushButton::clicked, this, &QDialog::reject);

    setUpDialogFrame(this, tr("News Options"));
    m_ui->label_4->setPixmap(QPixmap(QStringLiteral(":/rss-sidebar")));
}

PConfigDialog::~PConfigDialog() = default;

void PConfigDialog::setHeader()
{
    m_ui->label_6->setText(dialogHeading(tr("Configure the pellix News-Viewer")));
}

void PConfigDialog::pressComplete()
{
    bool optionsChanged = false;

    const int intervall = m_ui->IntervallspinBox->value();
    if (intervall != m_updateIntervall) {
        RssSettings::setValue(RssSettings::UpdateIntervall, intervall);
        sendSetting(ProtocolField::UpdateInterval, intervall);
        emit sendNewIntervall();
    }

    connect(m_ui->tableWidget, &PFeedTable::sendHideFeed, this, &PConfigDialog::sendHideFeed,
        Qt::UniqueConnection);
    connect(m_ui->tableWidget, &PFeedTable::sendShowFeed, this, &PConfigDialog::sendShowFeed,
        Qt::UniqueConnection);
    m_ui->tableWidget->apply();

    const int inClient = m_ui->spinBox->value();
    if (inClient != m_maxItemsInClient) {
        RssSettings::setValue(RssSettings::MaxItemsInClient, inClient);
        sendSetting(ProtocolField::MaxItemsInClient, inClient);
        optionsChanged = true;
    }

    const int inViewer = m_ui->spinBox_2->value();
    if (inViewer != m_maxItemsInViewer) {
        RssSettings::setValue(RssSettings::MaxItemsInViewer, inViewer);
        sendSetting(ProtocolField::MaxItemsInViewer, inViewer);
        emit sendNewItemCount();
    }

    // A stored value other than 0 or 1 is left as it is.
    const bool groups = m_ui->checkBox->isChecked();
    if ((m_inGroups == 0 && groups) || (m_inGroups == 1 && !groups)) {
        RssSettings::setValue(RssSettings::InGroups, groups ? 1 : 0);
        sendSetting(ProtocolField::InGroups, groups ? 1 : 0);
        optionsChanged = true;
    }

    const bool unreadOnly = m_ui->unreadedItemsBox->isChecked();
    if ((m_newItemsOnly == 0 && unreadOnly) || (m_newItemsOnly == 1 && !unreadOnly)) {
        RssSettings::setValue(RssSettings::NewItemsOnly, unreadOnly ? 1 : 0);
        sendSetting(ProtocolField::NewItemsOnly, unreadOnly ? 1 : 0, true);
        optionsChanged = true;
    }

    // The client reads this one locally; it is not sent.
    const bool switchModule = m_ui->m_SwitchModuleCheckBox->isChecked();
    if ((m_switchByNewItems == 1 && !switchModule) || (m_switchByNewItems == 0 && switchModule)) {
        RssSettings::setValue(RssSettings::SwitchByNewItems, switchModule ? 1 : 0);
        optionsChanged = true;
    }
    if (optionsChanged)
        emit sendNewOptions();

    accept();
}

void PConfigDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        m_ui->retranslateUi(this);
        setWindowTitle(tr("News Options"));
        setHeader();
    }
    PDialog2::changeEvent(event);
}
