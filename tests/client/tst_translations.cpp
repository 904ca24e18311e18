#include "host/psearchfield.h"
#include "host/pwizard_standard2.h"

#include <QCoreApplication>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

// Every German text is finished and keeps the placeholders of its English source,
// and the client's own dialogs speak German once the translation is installed.
class tst_Translations : public QObject
{
    Q_OBJECT
private slots:
    void filesAreFinished_data();
    void filesAreFinished();
    void hostDialogsInGerman();
};

void tst_Translations::filesAreFinished_data()
{
    QTest::addColumn<QString>("file");
    const QString root = QStringLiteral(PELLIX_SOURCE_DIR);
    QTest::newRow("plug-in") << root + "/plugin/translations/pellix_de.ts";
    QTest::newRow("client") << root + "/client/translations/pellix_client_de.ts";
}

void tst_Translations::filesAreFinished()
{
    QFETCH(QString, file);
    QFile ts(file);
    QVERIFY2(ts.open(QIODevice::ReadOnly), qPrintable(file));
    QXmlStreamReader xml(&ts);
    const QRegularExpression placeholder(QStringLiteral("%\\d"));
    auto placeholders = [&placeholder](const QString &text) {
        QStringList found;
        for (auto it = placeholder.globalMatch(text); it.hasNext();)
            found.append(it.next().captured());
        found.sort();
        return found;
    };
    QString source;
    int messages = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"source") {
            source = xml.readElementText();
        } else if (xml.name() == u"translation") {
            const QString type = xml.attributes().value(QStringLiteral("type")).toString();
            const QString translation = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            if (type == u"obsolete" || type == u"vanished")
                continue;
            ++messages;
            QVERIFY2(type != u"unfinished", qPrintable(source));
            QVERIFY2(!translation.isEmpty(), qPrintable(source));
            QCOMPARE(placeholders(translation), placeholders(source));
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(messages > 20);
}

void tst_Translations::hostDialogsInGerman()
{
    QTranslator german;
    QVERIFY(german.load(QStringLiteral("pellix_client_de"), QStringLiteral(":/i18n")));
    QCoreApplication::installTranslator(&german);
    PWizard_Standard2 wizard;
    PSearchField search;
    QCOMPARE(wizard.backButton()->text(), QStringLiteral("< &Zurück"));
    QCOMPARE(wizard.nextButton()->text(), QStringLiteral("&Weiter >"));
    QCOMPARE(wizard.finishButton()->text(), QStringLiteral("&Fertig stellen"));
    QCOMPARE(wizard.cancelButton()->text(), QStringLiteral("Abbrechen"));
    QCOMPARE(search.placeholderText(), QStringLiteral("Suchen"));

    // Switching back at run time follows as well.
    QCoreApplication::removeTranslator(&german);
    QTRY_COMPARE(wizard.backButton()->text(), QStringLiteral("< &Back"));
    QTRY_COMPARE(search.placeholderText(), QStringLiteral("Search"));
}

QTEST_MAIN(tst_Translations)
#include "tst_translations.moc"
