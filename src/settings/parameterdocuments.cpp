#include "settings/parameterdocuments.h"
#include "transport/controllerio.h"

#include <cstring>

namespace ParameterDocuments {

bool readArrays(QHttpManager *transport, const QString &name, std::initializer_list<FloatArray> arrays)
{
    for (const FloatArray &array : arrays)
        std::memset(array.values, 0, sizeof(float) * size_t(array.count));
    return ControllerIO::readObject(transport, name, [&](const QJsonObject &document) {
        for (const FloatArray &array : arrays)
            ControllerIO::takeArray(document, array.key, array.values, array.count);
    });
}

bool writeArrays(QHttpManager *transport, const QString &name, std::initializer_list<FloatArray> arrays)
{
    QJsonObject document;
    for (const FloatArray &array : arrays)
        document.insert(QLatin1String(array.key), ControllerIO::toArray(array.values, array.count));
    return ControllerIO::writeObject(transport, name, document);
}

QJsonObject limitObject(const LimitTriple &limit)
{
    return QJsonObject{ { QStringLiteral("def"), double(limit.def) },
                        { QStringLiteral("max"), double(limit.max) },
                        { QStringLiteral("min"), double(limit.min) } };
}

void takeLimit(const QJsonValue &value, LimitTriple &limit)
{
    if (!value.isObject())
        return;
    const QJsonObject object = value.toObject();
    ControllerIO::take(object, "def", limit.def);
    ControllerIO::take(object, "max", limit.max);
    ControllerIO::take(object, "min", limit.min);
}

QList<LimitBranch> limitBranches(DefaultLimits &l)
{
    const QString teach = QStringLiteral("teach");
    const QString playback = QStringLiteral("playback");
    const QString joint = QStringLiteral("joint");
    const QString coordinate = QStringLiteral("coordinate");
    const QString velocity = QStringLiteral("velocity");
    const QString acceleration = QStringLiteral("acceleration");
    const QString jerk = QStringLiteral("jerk");
    const QString arch = QStringLiteral("arch");
    return {
        { { QStringLiteral("common"), QStringLiteral("ratio") }, &l.commonRatio, 0 },
        { { teach, joint, velocity }, l.teachJointVelocity, 6 },
        { { teach, joint, acceleration }, l.teachJointAcceleration, 6 },
        { { teach, coordinate, velocity }, l.teachCoordinateVelocity, 6 },
        { { teach, coordinate, acceleration }, l.teachCoordinateAcceleration, 6 },
        { { playback, joint, velocity }, l.playbackJointVelocity, 6 },
        { { playback, joint, acceleration }, l.playbackJointAcceleration, 6 },
        { { playback, joint, jerk }, l.playbackJointJerk, 6 },
        { { playback, coordinate, velocity }, l.playbackCoordinateVelocity, 6 },
        { { playback, coordinate, acceleration }, l.playbackCoordinateAcceleration, 6 },
        { { playback, coordinate, jerk }, l.playbackCoordinateJerk, 6 },
        { { playback, arch, QStringLiteral("startHeight") }, &l.archStartHeight, 0 },
        { { playback, arch, QStringLiteral("endHeight") }, &l.archEndHeight, 0 },
        { { playback, arch, QStringLiteral("zLimit") }, &l.archZLimit, 0 },
    };
}

QJsonValue valueAt(const QJsonObject &root, const QStringList &path)
{
    QJsonObject object = root;
    for (int i = 0; i < path.size(); ++i) {
        const auto it = object.constFind(path.at(i));
        if (it == object.constEnd())
            return QJsonValue(QJsonValue::Undefined);
        if (i == path.size() - 1)
            return it.value();
        if (!it.value().isObject())
            return QJsonValue(QJsonValue::Undefined);
        object = it.value().toObject();
    }
    return QJsonValue(root);
}

void insertAt(QJsonObject &root, const QStringList &path, const QJsonValue &value)
{
    if (path.isEmpty())
        return;
    if (path.size() == 1) {
        root.insert(path.first(), value);
        return;
    }
    QJsonObject child = root.value(path.first()).toObject();
    insertAt(child, path.mid(1), value);
    root.insert(path.first(), child);
}

} // namespace ParameterDocuments
