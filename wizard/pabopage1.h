#pragma once

#include "host/cpxwizard_page_base.h"

#include <QWidget>

class QLabel;
class QRadioButton;

// First page: subscribe by address or from the catalogue.
class PAboPage1 : public QWidget, public CPxWizard_Page_Base
{
    Q_OBJECT
public:
    enum Choice { EnterAddress = 1, RecommendedFeeds = 2 };

    explicit PAboPage1(QWidget *parent = nullptr);

    void Activate() override { }
    void Deactivate() override { }
    void RefreshPage() override { }

    int choice() const { return m_choice; }

signals:
    void buttonChanged();

public slots:
    void OnSomeControlChanged(bool checked);

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslateUi();

    int m_choice = RecommendedFeeds;
    QLabel *m_picture;
    QLabel *m_title;
    QLabel *m_intro;
    QRadioButton *m_recommended;
    QRadioButton *m_address;
    QLabel *m_hint;
};
