#include "debugger/luainterpreter.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>

#if defined(Q_OS_UNIX)
#include <dlfcn.h>
#endif

namespace LuaInterpreter {

namespace {

QString s_testProgram;

// The folder of the file that holds this code: the shared library, or the
// program that links the library statically.
QString libraryFolder()
{
#if defined(Q_OS_UNIX)
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&libraryFolder), &info) && info.dli_fname)
        return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
#endif
    return QString();
}

bool isProgram(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

QString applicationInterpreter()
{
#if defined(Q_OS_WIN)
    return QCoreApplication::applicationDirPath() + QLatin1String("/Lua/Lua.exe");
#else
    return QCoreApplication::applicationDirPath() + QLatin1String("/Lua/lua");
#endif
}

QString launcher()
{
    const QString folder = libraryFolder();
    if (!folder.isEmpty()) {
        for (const char *relative : { VARLO_LAUNCHER_FROM_LIBDIR, VARLO_LAUNCHER_FROM_BINDIR }) {
            const QString installed = QDir::cleanPath(folder + QLatin1Char('/') + QLatin1String(relative));
            if (isProgram(installed))
                return installed;
        }
    }
    return QStringLiteral(VARLO_BUILD_LAUNCHER);
}

QString program()
{
    if (!s_testProgram.isEmpty())
        return s_testProgram;
    const QString own = applicationInterpreter();
    return isProgram(own) ? own : launcher();
}

QStringList arguments()
{
    return { QStringLiteral("-e"), QStringLiteral("require('mobdebug').listen()") };
}

void setProgramForTesting(const QString &program)
{
    s_testProgram = program;
}

} // namespace LuaInterpreter
