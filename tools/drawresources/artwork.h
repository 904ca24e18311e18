#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QString>

// One picture of the plug-in: the file name below resources/images decides the
// format (".gif" or ".png"); matte is the background a GIF is blended onto.
struct ArtworkFile
{
    QString fileName;
    QImage image;
    QRgb matte = qRgb(255, 255, 255);
};

// Draws every picture the plug-in compiles in.
QList<ArtworkFile> drawArtwork();
