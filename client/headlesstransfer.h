#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class PluginHost;
class QIODevice;

// Imports and exports subscription lists without a window: once the plug-in has
// synchronised, the list read beforehand is subscribed (the server hears of each
// feed, the new feeds are fetched by the next update), then the subscriptions are
// written out. Exit code 0 when everything asked for was done, 1 otherwise.
class HeadlessTransfer : public QObject
{
    Q_OBJECT
public:
    // "-" stands for standard input or output.
    HeadlessTransfer(PluginHost *host, const QString &importFile, const QString &exportFile,
        QIODevice *output, QIODevice *errors, QObject *parent = nullptr);

    // Reads the list to import and checks the plug-in; false (with the reason)
    // when the run cannot start.
    bool prepare(QString *errorString);

signals:
    void finished(int exitCode);

private slots:
    void synchronised();
    void databaseFailed(const QString &reason);

private:
    bool importList();
    bool exportList();
    void finish(int exitCode);

    PluginHost *m_host;
    QString m_importFile;
    QString m_exportFile;
    QByteArray m_document;
    QIODevice *m_output;
    QIODevice *m_errors;
    bool m_started = false;
    bool m_finished = false;
};
