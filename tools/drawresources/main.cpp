// Draws the plug-in's pictures into a folder (normally resources/images).
// Usage: pellix-draw-resources <output folder>

#include "artwork.h"
#include "gifwriter.h"

#include <QDir>
#include <QGuiApplication>
#include <QImageReader>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        err << "usage: " << args.value(0) << " <output folder>\n";
        return 2;
    }
    const QDir out(args.at(1));
    if (!out.mkpath(QStringLiteral("."))) {
        err << "cannot create " << args.at(1) << '\n';
        return 1;
    }

    int failures = 0;
    for (const ArtworkFile &file : drawArtwork()) {
        const QString path = out.filePath(file.fileName);
        const bool gif = file.fileName.endsWith(QLatin1String(".gif"));
        const bool written
            = gif ? GifWriter::write(file.image, path, file.matte) : file.image.save(path, "PNG");
        // Read every file back: what Qt cannot decode, the viewer cannot show.
        QImageReader reader(path);
        const QByteArray format = reader.format();
        const QImage back = reader.read();
        if (!written || back.size() != file.image.size()
            || format != (gif ? QByteArray("gif") : QByteArray("png"))) {
            err << "failed: " << path << ' ' << reader.errorString() << ' ' << format << '\n';
            ++failures;
            continue;
        }
        QTextStream(stdout) << path << ' ' << back.width() << 'x' << back.height() << '\n';
    }
    return failures ? 1 : 0;
}
