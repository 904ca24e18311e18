#pragma once

#include <QtGlobal>

#if defined(PHOST_LIBRARY)
#define PHOST_EXPORT Q_DECL_EXPORT
#else
#define PHOST_EXPORT Q_DECL_IMPORT
#endif
