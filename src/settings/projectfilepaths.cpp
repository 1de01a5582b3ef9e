#include "settings/projectfilepaths.h"
#include "transport/controllerpaths.h"

#include <QtCore/QStringList>

namespace ProjectFilePaths {

namespace {

const QLatin1String JsonEnding(".json");

bool derive(const QString &filePath, QLatin1String marker, QLatin1String prefix, Document *document)
{
    // Host programs on Windows may hand in backslashes.
    const QString path = QString(filePath).replace(QLatin1Char('\\'), QLatin1Char('/'));
    const int start = path.indexOf(marker);
    if (start < 0)
        return false;
    const QString file = path.mid(start + marker.size()); // "demo/points.json"
    if (file.isEmpty())
        return false;
    QString name = prefix + QLatin1Char('/') + file;
    if (name.endsWith(JsonEnding))
        name.chop(JsonEnding.size());
    if (name.endsWith(QLatin1Char('/')) || !ControllerPaths::isSafeDocumentName(name))
        return false;
    for (const QString &segment : name.split(QLatin1Char('/'))) {
        if (segment == QLatin1String("."))
            return false;
    }
    document->name = name;
    document->file = file;
    return true;
}

} // namespace

bool pointsDocument(const QString &filePath, Document *document)
{
    return derive(filePath, QLatin1String("/project/project/"), QLatin1String("/project"), document);
}

bool processDocument(const QString &filePath, Document *document)
{
    return derive(filePath, QLatin1String("/project/process/"), QLatin1String("/process"), document);
}

bool palletPointsDocument(const QString &palletName, QString *documentName)
{
    if (palletName.isEmpty())
        return false;
    const QString name = QStringLiteral("/process/pallet/%1").arg(palletName);
    if (!ControllerPaths::isSafeDocumentName(name) || name.endsWith(QLatin1Char('/')))
        return false;
    *documentName = name;
    return true;
}

} // namespace ProjectFilePaths
