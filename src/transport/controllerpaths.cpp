#include "transport/controllerpaths.h"

#include <QtCore/QStringList>
#include <QtCore/QtGlobal>

namespace ControllerPaths {

QString shareProjectRoot(const QString &host)
{
    const QString mountRoot = qEnvironmentVariable(ShareRootVariable);
    if (mountRoot.isEmpty())
        return QStringLiteral("//%1/project").arg(host);
    QString root = mountRoot;
    while (root.size() > 1 && root.endsWith(QLatin1Char('/')))
        root.chop(1);
    return QStringLiteral("%1/%2/project").arg(root, host);
}

QString simulatorProjectRoot(const QString &simulatorRoot)
{
    return QStringLiteral("%1/controllerVR/project").arg(simulatorRoot);
}

bool isSafeHost(const QString &host)
{
    return !host.isEmpty() && !host.startsWith(QLatin1Char('.')) && !host.contains(QLatin1Char('/'))
           && !host.contains(QLatin1Char('\\')) && !host.contains(QChar(0));
}

bool isSafeDocumentName(const QString &name)
{
    if (!name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.contains(QChar(0)))
        return false;
    const QStringList segments = name.split(QLatin1Char('/'));
    for (const QString &segment : segments) {
        if (segment == QLatin1String(".."))
            return false;
    }
    return true;
}

} // namespace ControllerPaths
