#ifndef VARLOGLOBAL_H
#define VARLOGLOBAL_H

#include <QtCore/qglobal.h>

// Marks the classes of the library's C++ interface for Qt hosts: exported
// from libVarlo (Varlo.dll), imported by the programs that use them.
// Everything else the library holds stays hidden.
#if defined(VARLO_BUILD_LIBRARY)
#  define VARLO_EXPORT Q_DECL_EXPORT
#else
#  define VARLO_EXPORT Q_DECL_IMPORT
#endif

#endif // VARLOGLOBAL_H
