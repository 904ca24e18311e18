#pragma once

#include <QString>

class PDialog2;

// Gives one of the plug-in's dialogs its fixed size, title, icon and white background.
void setUpDialogFrame(PDialog2 *dialog, const QString &title);

// Rich text of the bold heading at the top of the plug-in's dialogs.
QString dialogHeading(const QString &text);
