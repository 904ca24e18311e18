#pragma once

#include <QtGlobal>

// The files the news pages use beside them in the viewer directory: the images
// and the style sheet, copied out of the resources, and the pages themselves.
class ViewerFiles
{
public:
    // Copies what is missing; a file already there (perhaps edited) stays in use.
    static void exportResources();
    // Removes the user's pages, the exported files and the page script.
    static void remove(quint32 user);
};
