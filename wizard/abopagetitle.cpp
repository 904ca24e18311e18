#include "abopagetitle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

QHBoxLayout *aboPageHead(QLabel *picture, QLabel *title, QLabel *intro)
{
    picture->setPixmap(QPixmap(QStringLiteral(":/img/rss/add_rss_feed-36.png")));
    picture->setFixedSize(36, 36);
    intro->setWordWrap(true);

    auto *head = new QHBoxLayout;
    head->addWidget(picture);
    auto *headText = new QVBoxLayout;
    headText->addWidget(title);
    headText->addWidget(intro);
    head->addLayout(headText, 1);
    return head;
}
