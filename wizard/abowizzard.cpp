#include "abowizzard.h"

#include "host/pbasicdata.h"
#include "wizard/pabofeedtable.h"
#include "wizard/pabofeedtree.h"
#include "wizard/pabopage1.h"
#include "wizard/pabopage2.h"
#include "wizard/pabopage3.h"

AboWizzard::AboWizzard(QSqlDatabase *db, QObject *parent)
    : CPxWizard_Mission_Base(parent),
      m_page1(new PAboPage1),
      m_page2(new PAboPage2(db)),
      m_page3(new PAboPage3(db))
{
    Set_CurrentPage(m_page1);
    m_mode = ChoicePage;

    connect(m_page1, &PAboPage1::buttonChanged, this, &AboWizzard::changed);
    connect(m_page2, &PAboPage2::sendFeedFound, this, &AboWizzard::changed);
    connect(m_page3, &PAboPage3::availabilityChanged, this, &AboWizzard::changed);

    // Page 2's feeds are found by address and carry no catalogue id.
    connect(m_page2, &PAboPage2::saveFeed, this,
        [this](const QString &address, const QString &title) { emit saveFeed(address, title); });
    connect(m_page2, &PAboPage2::clearFeed, this, &AboWizzard::clearFeed);
    connect(m_page3, &PAboPage3::saveFeed, this, &AboWizzard::saveFeed);
    connect(m_page3, &PAboPage3::clearFeed, this, &AboWizzard::clearFeed);

    // The title is the mission's; the wizard asks for it again after a language change.
    connect(&PBasicData::instance(), &PBasicData::languageChanged, this, &AboWizzard::changed);
}

AboWizzard::~AboWizzard()
{
    delete m_page1;
    delete m_page2;
    delete m_page3;
}

void AboWizzard::changed()
{
    DoOnChanged();
}

bool AboWizzard::Get_BackEnabled()
{
    return m_mode != ChoicePage;
}

bool AboWizzard::Get_NextEnabled()
{
    return m_mode == ChoicePage;
}

bool AboWizzard::Get_CancelEnabled()
{
    return true;
}

bool AboWizzard::Get_FinishEnabled()
{
    if (m_mode == CataloguePage)
        return m_page3 && m_page3->catalogueAvailable();
    return m_mode == AddressPage && m_page2 && m_page2->feedsFound();
}

bool AboWizzard::Get_BackVisible()
{
    return m_mode != ChoicePage;
}

bool AboWizzard::Get_NextVisible()
{
    return m_mode == ChoicePage;
}

bool AboWizzard::Get_CancelVisible()
{
    return true;
}

bool AboWizzard::Get_FinishVisible()
{
    return m_mode != ChoicePage;
}

bool AboWizzard::On_Back()
{
    m_mode = ChoicePage;
    Set_CurrentPage(m_page1);
    return true;
}

bool AboWizzard::On_Next()
{
    // The mode is set first: showing a page makes the wizard ask for the buttons.
    if (m_page1->choice() == PAboPage1::EnterAddress) {
        m_mode = AddressPage;
        Set_CurrentPage(m_page2);
    } else if (m_page1->choice() == PAboPage1::RecommendedFeeds) {
        m_mode = CataloguePage;
        Set_CurrentPage(m_page3);
    }
    return true;
}

bool AboWizzard::On_Cancel()
{
    return true;
}

bool AboWizzard::On_Finish()
{
    // Finish with nothing ticked and nothing to change would close without a word.
    if (m_mode == AddressPage) {
        PAboFeedTable *table = m_page2->feedTable();
        if (m_page2->feedsFound() && table->tickedCount() == 0 && table->changedCount() == 0) {
            m_page2->showNothingTicked();
            return true;
        }
        if (m_page2->feedsFound())
            table->applySelection();
    } else {
        PAboFeedTree *tree = m_page3->treeWidget();
        if (tree->selected() == 0 && tree->changedCount() == 0) {
            m_page3->showNothingTicked();
            return true;
        }
        tree->applySelection();
    }
    CloseWizard();
    return true;
}

QString AboWizzard::Get_Title()
{
    return tr("Subscribe");
}

QIcon AboWizzard::Get_Icon()
{
    return QIcon(QStringLiteral(":/rss-16"));
}

QPixmap AboWizzard::Get_HeaderPixmap()
{
    return QPixmap();
}

QPixmap AboWizzard::Get_SidePixmap()
{
    return QPixmap(QStringLiteral(":/rss-sidebar"));
}

QString AboWizzard::Get_HeaderText()
{
    return QString();
}

QString AboWizzard::Get_SideText()
{
    return QString();
}
