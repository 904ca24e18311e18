#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// What the page pane shows while there are no feeds (and so no pages): how to
// get some, and a button that asks for the subscription wizard.
class WelcomePage : public QWidget
{
    Q_OBJECT
public:
    explicit WelcomePage(QWidget *parent = nullptr);

signals:
    void subscribeClicked();

protected:
    void changeEvent(QEvent *e) override;

private:
    void retranslate();

    QLabel *m_text;
    QPushButton *m_button;
};
