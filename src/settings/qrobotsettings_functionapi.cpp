// The catalogue of script functions and the editor's operator and function
// names, preferably from files installed beside the host program.
#include "Varlo/qrobotsettings.h"
#include "transport/controllerio.h"
#include "Varlo/qhttpmanager.h"
#include "types/qjsonreaders.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>

#include <cstring>

namespace {

// Local catalogue files larger than this are not taken (the controller's
// document is used instead).
const qint64 MaxLocalFileSize = 16 * 1024 * 1024;
const int MaxSystemEntries = 4096;

// The catalogue text: the local file when it exists and opens, else the
// controller's document. False when neither can be had.
bool catalogueText(QHttpManager *transport, const QString &fileName, const QString &document, QByteArray *text)
{
    QFile file(QRobotSettings::localCatalogueFile(fileName));
    if (file.exists() && file.size() <= MaxLocalFileSize && file.open(QIODevice::ReadOnly)) {
        *text = file.readAll();
        return true;
    }
    return transport->getPara(*text, document);
}

QJsonObject catalogueObject(QHttpManager *transport, const QString &fileName, const QString &document)
{
    QByteArray text;
    if (!catalogueText(transport, fileName, document, &text))
        return QJsonObject();
    return QRobotJson::parse(text).object();
}

// Copies text into a fixed NUL-terminated field in the local 8-bit encoding,
// whole characters only.
void copyLocalText(const QString &text, char *field, int size)
{
    int used = 0;
    for (int i = 0; i < text.size();) {
        const int length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray bytes = text.mid(i, length).toLocal8Bit();
        if (used + bytes.size() > size - 1)
            break;
        memcpy(field + used, bytes.constData(), size_t(bytes.size()));
        used += bytes.size();
        i += length;
    }
    field[used] = '\0';
}

qint32 paramType(const QJsonValue &value)
{
    const QString type = value.toString();
    if (type == QLatin1String("num"))
        return FunctionApiEntry::Num;
    if (type == QLatin1String("point"))
        return FunctionApiEntry::Point;
    if (type == QLatin1String("switch"))
        return FunctionApiEntry::Switch;
    return FunctionApiEntry::Other;
}

FunctionApiEntry entryOf(const QJsonObject &catalogue, const QString &name)
{
    FunctionApiEntry entry;
    memset(&entry, 0, sizeof entry);
    copyLocalText(name, entry.name, int(sizeof entry.name));
    const auto it = catalogue.constFind(name);
    if (it == catalogue.constEnd()) {
        entry.paramCount = -1;
        return entry;
    }
    const QJsonArray params = it.value().toArray();
    entry.paramCount = qMin(int(params.size()), int(FunctionApiParamCount));
    for (int i = 0; i < entry.paramCount; ++i) {
        const QJsonObject param = params.at(i).toObject();
        entry.params[i].type = paramType(param.value(QLatin1String("type")));
        entry.params[i].max = param.contains(QLatin1String("max")) ? QRobotJson::toInt32(param.value(QLatin1String("max"))) : -1;
        entry.params[i].min = param.contains(QLatin1String("min")) ? QRobotJson::toInt32(param.value(QLatin1String("min"))) : -1;
    }
    return entry;
}

// The first 48 names of "function".
QStringList functionNames(const QJsonObject &catalogue)
{
    QStringList names;
    const QJsonArray functions = catalogue.value(QLatin1String("function")).toArray();
    for (int i = 0; i < functions.size() && i < FunctionApiNameCount; ++i)
        names.append(functions.at(i).toString());
    return names;
}

QJsonObject functionApiCatalogue(QHttpManager *transport)
{
    return catalogueObject(transport, QStringLiteral("functionApi.json"),
                           QStringLiteral("/settings/function/functionApi"));
}

} // namespace

QString QRobotSettings::localCatalogueFile(const QString &fileName)
{
    const QString relative = QStringLiteral("update/") + fileName;
    const QString inWorkingDirectory = QDir::current().absoluteFilePath(relative);
    if (QFileInfo::exists(inWorkingDirectory) || !QCoreApplication::instance())
        return inWorkingDirectory;
    const QString besideProgram = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(relative);
    return QFileInfo::exists(besideProgram) ? besideProgram : inWorkingDirectory;
}

bool QRobotSettings::functionApi(const QString &name, FunctionApiEntry &entry)
{
    const QJsonObject catalogue = functionApiCatalogue(transport());
    if (!functionNames(catalogue).contains(name))
        return false;
    entry = entryOf(catalogue, name);
    return true;
}

QList<FunctionApiEntry> QRobotSettings::functionApiList()
{
    const QJsonObject catalogue = functionApiCatalogue(transport());
    QList<FunctionApiEntry> entries;
    for (const QString &name : functionNames(catalogue))
        entries.append(entryOf(catalogue, name));
    return entries;
}

int QRobotSettings::functionSystem(QList<FunctionSystemEntry> &entries)
{
    const QJsonObject catalogue = catalogueObject(transport(), QStringLiteral("functionSystem.json"),
                                                  QStringLiteral("/settings/function/functionSystem"));
    entries.clear();
    for (const char *group : {"Operators", "Function"}) {
        const QJsonObject names = catalogue.value(QLatin1String(group)).toObject();
        for (auto it = names.constBegin(); it != names.constEnd() && entries.size() < MaxSystemEntries; ++it) {
            FunctionSystemEntry entry;
            copyLocalText(it.key(), entry.key, int(sizeof entry.key));
            copyLocalText(it.value().toString(), entry.text, int(sizeof entry.text));
            entries.append(entry);
        }
    }
    return entries.size();
}
