#pragma once

#include <QString>
#include <QVariant>

// The plug-in's settings, group "RSS" of the per-user store. Every reader goes
// through here so that each key has exactly one default.
class RssSettings
{
public:
    enum Key {
        UpdateIntervall,
        NewItemsOnly,
        MaxItemsInClient,
        MaxItemsInViewer,
        InGroups,
        SwitchByNewItems,
        Geometry,
        ParallelUpdates // feeds fetched at the same time
    };

    static QString group();
    static QString name(Key key);
    static QVariant defaultValue(Key key);

    static QVariant value(Key key);
    static int intValue(Key key);
    static void setValue(Key key, const QVariant &value);
};
