// User frames with types, and the calibrations that compute user frames.
#include "Varlo/qrobotcollaborative.h"
#include "transport/documentbinding.h"
#include "Varlo/qhttpmanager.h"
#include "types/qjsonreaders.h"

#include <QtCore/QDebug>

#include <algorithm>
#include <cstring>

namespace {

// The user frames with their types; frame parameters that are not an array
// are not read.
const ControllerIO::ArrayDocument<UserFrameEntry> UserFrames{
    "/settings/coordinate/user",
    { { "enable", &UserFrameEntry::enable }, { "type", &UserFrameEntry::type }, { "alias", &UserFrameEntry::alias },
      ControllerIO::Field<UserFrameEntry>("params", &UserFrameEntry::params).whenArray() }
};

bool isZero(const float (&pose)[6])
{
    return std::all_of(pose, pose + 6, [](float value) { return value == 0.0f; });
}

QJsonArray poseList(const float (*poses)[6], int count, bool stopAtZero)
{
    QJsonArray list;
    for (int i = 0; i < count; ++i) {
        if (stopAtZero && isZero(poses[i]))
            break;
        list.append(ControllerIO::toArray(poses[i], 6));
    }
    return list;
}

struct CalibrationTexts {
    const char *postError;
    const char *jsonError;
    const char *resultReturn;
};

bool calibrate(QHttpManager *transport, const QString &path, const CalibrationTexts &texts,
               const float (&points)[3][6], float (&result)[6])
{
    QByteArray reply;
    if (!transport->postData(path, QJsonDocument(poseList(points, 3, false)).toJson(), reply)) {
        qDebug() << texts.postError;
        reply.clear();
    }
    QJsonParseError error;
    const QJsonDocument document = QRobotJson::parse(reply, &error);
    if (document.isNull() || error.error != QJsonParseError::NoError) {
        qDebug() << texts.jsonError;
        return false;
    }
    const QJsonObject object = document.object();
    if (object.contains(QLatin1String("coordinate")))
        QRobotJson::readFloats(object.value(QLatin1String("coordinate")), result, 6);
    const auto answer = object.constFind(QLatin1String("result"));
    if (answer == object.constEnd()) {
        qDebug() << texts.jsonError;
        return false;
    }
    const bool ok = answer.value().toBool(false);
    qDebug() << texts.resultReturn << ok;
    return ok;
}

} // namespace

bool QRobotCollaborative::setUserFrames(const UserFrameTable &table)
{
    return UserFrames.write(transport(), table.frame, UserFrameCount);
}

UserFrameTable QRobotCollaborative::userFrames()
{
    UserFrameTable table;
    memset(&table, 0, sizeof table);
    UserFrames.read(transport(), table.frame, UserFrameCount);
    return table;
}

bool QRobotCollaborative::calibrateCoordinateUserLine(const float (&points)[3][6], float (&result)[6])
{
    return calibrate(transport(), QStringLiteral("/calibrate/coordinate/userLine"),
                     {"calibrateCoordinateUserLine_postError", "calibrateCoordinateUserLine_jsonError",
                      "calibrateCoordinateUserLine_resultReturn"},
                     points, result);
}

bool QRobotCollaborative::calibrateCoordinateUserDot(const float (&points)[3][6], float (&result)[6])
{
    return calibrate(transport(), QStringLiteral("/calibrate/coordinate/userDot"),
                     {"calibrateCoordinateUserDot_postError", "calibrateCoordinateUserDot_jsonError",
                      "calibrateCoordinateUserDot_resultReturn"},
                     points, result);
}

bool QRobotCollaborative::multiCalibration(const float (&master)[CalibrationPointLimit][6],
                                           const float (&slave)[CalibrationPointLimit][6],
                                           const MultiCalibrationParams &params)
{
    const QJsonObject body{{QStringLiteral("L"), ControllerIO::toArray(params.L, 6)},
                           {QStringLiteral("A"), ControllerIO::toArray(params.A, 6)},
                           {QStringLiteral("R"), ControllerIO::toArray(params.R, 6)},
                           {QStringLiteral("U0Trans"), ControllerIO::toArray(params.U0Trans, 6)},
                           {QStringLiteral("T0Trans"), ControllerIO::toArray(params.T0Trans, 6)},
                           {QStringLiteral("master"), poseList(master, CalibrationPointLimit, true)},
                           {QStringLiteral("slave"), poseList(slave, CalibrationPointLimit, true)}};
    qDebug() << "++++++" << body << "----";
    QByteArray ignored;
    if (!transport()->postData(QStringLiteral("/calibrate/multiCalibration"), QJsonDocument(body).toJson(), ignored)) {
        qDebug() << "multiCalibration_postError";
        return false;
    }
    return true;
}

bool QRobotCollaborative::multiCalibrationState(int &state)
{
    return ControllerIO::get(transport(), QStringLiteral("/calibrate/multiCalibration"), [&](const QJsonObject &reply) {
        ControllerIO::take(reply, "state", state);
    });
}
