#pragma once

#include "hostexport.h"

#include <QString>

// The client's skin: a Qt resource file "<application dir>/skins/<name>.res".
class PHOST_EXPORT PSkin
{
public:
    // Registers the default skin "pellix" when its file exists; a missing file is ignored.
    static bool init(bool);
    static QString skinFile(const QString &name);
};
