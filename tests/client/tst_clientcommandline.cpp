#include "client/commandline.h"
#include "client/proxyconfig.h"
#include "testhelpers.h"

#include <QTest>

static QStringList words(const QString &line)
{
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

class tst_CommandLine : public QObject
{
    Q_OBJECT
private slots:
    void acceptsEveryFlag();
    void refusesBadInput_data();
    void refusesBadInput();
    void proxy_data();
    void proxy();
};

void tst_CommandLine::acceptsEveryFlag()
{
    CommandLine line;
    QCOMPARE(line.parse(words(QStringLiteral(
                 "pellix --home /tmp/h --user 4711 --server=/tmp/s.sqlite --catalogue c.json "
                 "--brand acme --proxy socks5://p:1080 --offline --message-log log.jsonl --lang de "
                 "--subscribe http://127.0.0.1:8080/a.xml --subscribe https://example.org/b "
                 "--update --quit-after-sync"))),
        CommandLine::Run);
    const ClientOptions &o = line.options();
    QCOMPARE((QStringList{o.home, QString::number(o.user), o.serverFile, o.catalogueFile, o.brand,
                 o.proxy, o.messageLog, o.language, o.subscribe.join(QLatin1Char(','))}),
        words(QStringLiteral("/tmp/h 4711 /tmp/s.sqlite c.json acme socks5://p:1080 log.jsonl de "
                             "http://127.0.0.1:8080/a.xml,https://example.org/b")));
    QVERIFY(o.offline && o.update && o.quitAfterSync);

    QCOMPARE(line.parse(words(QStringLiteral("pellix --open wizard"))), CommandLine::Run);
    QCOMPARE(line.options().open, QStringLiteral("wizard"));
    QCOMPARE(line.options().user, 1u);
    QCOMPARE(line.options().brand, QStringLiteral("pellix"));

    QCOMPARE(line.parse(words(QStringLiteral(
                 "pellix --copy-store s.sqlite postgresql://news@127.0.0.1:5433/news"))),
        CommandLine::Run);
    QCOMPARE(line.options().copyStore,
        words(QStringLiteral("s.sqlite postgresql://news@127.0.0.1:5433/news")));

    QCOMPARE(line.parse(words(QStringLiteral("pellix --help"))), CommandLine::Help);
    for (const char *flag : {"--home", "--user", "--server", "--catalogue", "--brand", "--proxy",
             "--offline", "--message-log", "--lang", "--open", "--subscribe", "--update",
             "--quit-after-sync", "--copy-store"})
        QVERIFY2(line.helpText().contains(QLatin1String(flag)), flag);
}

// Each refused command line and a word its error message must mention.
void tst_CommandLine::refusesBadInput_data()
{
    TestHelpers::addRows(QStringLiteral("cases/refused-command-lines.txt"), {"args", "mentions"});
}

void tst_CommandLine::refusesBadInput()
{
    QFETCH(QString, args);
    QFETCH(QString, mentions);
    CommandLine line;
    QCOMPARE(line.parse(QStringList{QStringLiteral("pellix")} + words(args)), CommandLine::Error);
    QVERIFY2(line.errorText().contains(mentions), qPrintable(line.errorText()));
}

void tst_CommandLine::proxy_data()
{
    TestHelpers::addRows(QStringLiteral("cases/proxies.txt"), {"given", "expected"});
}

void tst_CommandLine::proxy()
{
    QFETCH(QString, given);
    QFETCH(QString, expected);
    ProxyConfig config;
    if (given.isEmpty() || given.startsWith(QLatin1String("env "))) {
        QProcessEnvironment env;
        for (const QString &pair : given.mid(4).split(QLatin1Char('|'), Qt::SkipEmptyParts))
            env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        config = ProxyConfig::fromEnvironment(env);
    } else {
        bool ok = false;
        config = ProxyConfig::fromUrl(given, &ok);
        QVERIFY(ok);
    }
    // Read by position: kind, host, port, user, password.
    const QList<ProtocolArg> args = config.answer().args();
    QCOMPARE(args.size(), 5);
    QStringList got;
    for (int i = 0; i < 4; ++i)
        got.append(args.at(i).variant().toString());
    QCOMPARE(got.join(QLatin1Char('|')), expected);
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_clientcommandline.moc"
