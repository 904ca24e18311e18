#include "rsssettings.h"

#include "host/psettings.h"

QString RssSettings::group()
{
    return QStringLiteral("RSS");
}

QString RssSettings::name(Key key)
{
    switch (key) {
    case UpdateIntervall:
        return QStringLiteral("updateIntervall");
    case NewItemsOnly:
        return QStringLiteral("NewItemsOnly");
    case MaxItemsInClient:
        return QStringLiteral("MaxItemsInClient");
    case MaxItemsInViewer:
        return QStringLiteral("MaxItemsInViewer");
    case InGroups:
        return QStringLiteral("InGroups");
    case SwitchByNewItems:
        return QStringLiteral("SwitchByNewItems");
    case Geometry:
        return QStringLiteral("geometry");
    case ParallelUpdates:
        return QStringLiteral("ParallelUpdates");
    }
    return QString();
}

QVariant RssSettings::defaultValue(Key key)
{
    switch (key) {
    case UpdateIntervall:
        return 15;
    case NewItemsOnly:
        return 0;
    case MaxItemsInClient:
        return 20;
    case MaxItemsInViewer:
        return 10;
    case InGroups:
        return 0;
    case SwitchByNewItems:
        return 1;
    case Geometry:
        return QVariant();
    case ParallelUpdates:
        return 4;
    }
    return QVariant();
}

QVariant RssSettings::value(Key key)
{
    return PSettings::instance()->get(name(key), defaultValue(key), group());
}

int RssSettings::intValue(Key key)
{
    return value(key).toInt();
}

void RssSettings::setValue(Key key, const QVariant &value)
{
    PSettings::instance()->set(name(key), value, group());
}
