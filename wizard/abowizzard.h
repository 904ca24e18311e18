#pragma once

#include "host/cpxwizard_mission_base.h"

#include <QPointer>

class PAboPage1;
class PAboPage2;
class PAboPage3;
class QSqlDatabase;

// The subscription wizard: page 1 chooses between an address (page 2) and the
// catalogue of recommended feeds (page 3). Its results leave through saveFeed()
// (address, title, catalogue id or -1) and clearFeed() (address).
class AboWizzard : public CPxWizard_Mission_Base
{
    Q_OBJECT
public:
    enum Mode { ChoicePage = 0, AddressPage = 1, CataloguePage = 2 };

    explicit AboWizzard(QSqlDatabase *db, QObject *parent = nullptr);
    ~AboWizzard() override;

    int mode() const { return m_mode; }
    PAboPage1 *page1() const { return m_page1; }
    PAboPage2 *page2() const { return m_page2; }
    PAboPage3 *page3() const { return m_page3; }

    bool Get_BackEnabled() override;
    bool Get_NextEnabled() override;
    bool Get_CancelEnabled() override;
    bool Get_FinishEnabled() override;
    bool Get_BackVisible() override;
    bool Get_NextVisible() override;
    bool Get_CancelVisible() override;
    bool Get_FinishVisible() override;
    bool On_Back() override;
    bool On_Next() override;
    bool On_Cancel() override;
    bool On_Finish() override;
    QString Get_Title() override;
    QIcon Get_Icon() override;
    QPixmap Get_HeaderPixmap() override;
    QPixmap Get_SidePixmap() override;
    QString Get_HeaderText() override;
    QString Get_SideText() override;

signals:
    void clearFeed(const QString &address);
    void saveFeed(const QString &address, const QString &title, int id = -1);

public slots:
    void changed();

private:
    int m_mode = ChoicePage;
    QPointer<PAboPage1> m_page1;
    QPointer<PAboPage2> m_page2;
    QPointer<PAboPage3> m_page3;
};
