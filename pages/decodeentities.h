#pragma once

#include <QString>

// Replaces the twelve HTML entities that feed titles commonly carry, one after the
// other: the German letters first, then &amp;, &lt;, &gt;, &quot; and &acute;. So
// "&amp;auml;" becomes "&auml;". Nothing else, no numeric references.
QString decodeEntities(const QString &text);
