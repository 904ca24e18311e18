#include "client/clientwindow.h"
#include "client/languagemanager.h"
#include "client/newsdisplay.h"

#include "host/pbasicdata.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class tst_ClientWindow : public QObject
{
    Q_OBJECT
private slots:
    void switchesLanguageAtRunTime();
};

void tst_ClientWindow::switchesLanguageAtRunTime()
{
    ClientWindow window;
    auto *subscribe = window.findChild<QPushButton *>(QStringLiteral("subscribeButton"));
    auto *empty = window.display()->findChild<QLabel *>(QStringLiteral("emptyLabel"));
    QVERIFY(subscribe && empty);
    QCOMPARE(subscribe->text(), QStringLiteral("Subscribe..."));
    const QString englishEmpty = empty->text();
    QSignalSpy changed(&PBasicData::instance(), &PBasicData::languageChanged);

    LanguageManager languages;
    QVERIFY(!languages.setLanguage(QStringLiteral("fr")));
    QCOMPARE(changed.size(), 0);

    QVERIFY(languages.setLanguage(QStringLiteral("de")));
    QCOMPARE(PBasicData::instance().currentLanguage().name(), QStringLiteral("Deutsch"));
    // The widgets retranslate through the language-change event.
    QTRY_COMPARE(subscribe->text(), QStringLiteral("Abonnieren..."));
    QVERIFY(empty->text() != englishEmpty);

    QVERIFY(languages.setLanguage(QStringLiteral("en")));
    QCOMPARE(PBasicData::instance().currentLanguage().name(), QStringLiteral("English"));
    QTRY_COMPARE(subscribe->text(), QStringLiteral("Subscribe..."));
    QCOMPARE(empty->text(), englishEmpty);
    QCOMPARE(changed.size(), 2);

    window.showDatabaseProblem(QStringLiteral("file is not a database"));
    window.showServerProblem(QStringLiteral("The server store is broken."));
    QVERIFY(window.problemText().contains(
        QStringLiteral("news database could not be opened: file is not a database")));
    QVERIFY(window.problemText().contains(QStringLiteral("The server store is broken.")));
    // Each problem is still shown, in the new language, after a language switch.
    languages.setLanguage(QStringLiteral("de"));
    QTRY_VERIFY(window.problemText().contains(
        QStringLiteral("Nachrichtendatenbank konnte nicht geöffnet werden")));
    QVERIFY(window.problemText().contains(QStringLiteral("The server store is broken.")));
    languages.setLanguage(QStringLiteral("en"));

    // An unusable database offers to start afresh, and only then.
    auto *fresh = window.findChild<QPushButton *>(QStringLiteral("startFreshButton"));
    QVERIFY(fresh && !fresh->isHidden());
    QSignalSpy asked(&window, &ClientWindow::startFreshRequested);
    fresh->click();
    QCOMPARE(asked.size(), 1);
    window.showDatabaseProblem(QString());
    QVERIFY(fresh->isHidden());
    QVERIFY(!window.problemText().contains(QStringLiteral("news database")));
}

QTEST_MAIN(tst_ClientWindow)
#include "tst_clientwindow.moc"
