#include "viewerfiles.h"

#include "host/pdir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {

struct ExportedFile
{
    const char *resource;
    const char *file;
};

// The pages refer to these files by their plain names, beside the pages.
constexpr ExportedFile exportedFiles[] = {
    {":/rss-arrow-right-12", "/arrow-right-12.gif"},
    {":/barbg", "/barbg.png"},
    {":/delete-12", "/delete-12.gif"},
    {":/feed-icon-24x24", "/feed-icon-24x24.gif"},
    {":/flag-off-12", "/flag-off-12.gif"},
    {":/flag-on-12", "/flag-on-12.gif"},
    {":/line", "/line.png"},
    {":/read-12", "/read-12.gif"},
    {":/topbg", "/topbg.png"},
    {":/unread-12", "/unread-12.gif"},
    {":/style-1", "/style.css"},
};

} // namespace

void ViewerFiles::exportResources()
{
    const QString dir = PDir::applicationDataPath(true);
    for (const ExportedFile &entry : exportedFiles) {
        const QString target = dir + QLatin1String(entry.file);
        // A file already there (perhaps edited by the user) stays in use.
        if (QFileInfo::exists(target))
            continue;
        if (QFile::copy(QLatin1String(entry.resource), target)) {
            // Copies of resources are read-only; shutdown and the user must be able to replace
            // them.
            QFile::setPermissions(
                target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        }
    }
}

void ViewerFiles::remove(quint32 user)
{
    const QString dir = PDir::applicationDataPath(true);
    QDir directory(dir);
    const QStringList pages = directory.entryList(
        QStringList{QString::number(user) + QStringLiteral("_channel*_*.html")},
        QDir::Files | QDir::CaseSensitive, QDir::Unsorted);
    for (const QString &page : pages)
        directory.remove(page);

    // Another user's client of the same home still shows pages that use them.
    if (!PDir::sharedFilesInUse()) {
        for (const ExportedFile &entry : exportedFiles)
            QFile::remove(dir + QLatin1String(entry.file));
        QFile::remove(dir + QStringLiteral("/rss.js"));
    }
}
