// Trajectory replay: the recording switch, replay in debug mode, the replay
// parameters and the point list with its parameters and check.
#include "Varlo/qrobotcollaborative.h"
#include "transport/controllerpaths.h"
#include "transport/documentbinding.h"
#include "Varlo/qhttpmanager.h"
#include "types/qjsonreaders.h"

#include <QtCore/QSaveFile>

using ControllerIO::take;

namespace {

const QString TrajPointsDocument = QStringLiteral("/process/trajectory/trajPoints");
// The replay parameters: sent by a command, read from their document.
const ControllerIO::Document<QRobotCoor::ReTraceParams> ReTrace{
    "/settings/function/reTraceParams",
    { { "multi", &QRobotCoor::ReTraceParams::multi }, ControllerIO::flag("const", &QRobotCoor::ReTraceParams::constant),
      { "loop", &QRobotCoor::ReTraceParams::loop } },
    ControllerIO::Logs::signatures("QRobotCollaborative", "RunTrajectoryParams", "QRobotCoor::ReTraceParams")
};
const char SetTrajPointsSignature[] =
    "bool QRobotCollaborative::setTrajPoints(const QRobotType::CartesianCoordinate*)";
const char SetTrajParamsSignature[] = "bool QRobotCollaborative::setTrajParams(QRobotType::RDNCoordinate, int, int)";

bool isZero(const QRobotType::CartesianCoordinate &point)
{
    for (float value : point.pose) {
        if (value != 0.0f)
            return false;
    }
    return true;
}

// The point-list document goes out in its compact form: no white space
// outside strings, and the texts of other keys exactly as they were.
bool writeTrajDocument(QHttpManager *transport, const QJsonObject &document, const char *signature)
{
    if (!transport->setPara(QJsonDocument(document).toJson(QJsonDocument::Compact), TrajPointsDocument)) {
        ControllerIO::log({signature, "setParaError"});
        return false;
    }
    return true;
}

} // namespace

bool QRobotCollaborative::setRecurrentTrack(const bool *getpos)
{
    if (!getpos)
        return false;
    return ControllerIO::post(transport(), QStringLiteral("/interface/recurrentTrack"),
                              QJsonObject{{QStringLiteral("getpos"), *getpos}});
}

bool QRobotCollaborative::getRecurrentTrack(bool &getpos)
{
    return ControllerIO::getPresent(transport(), QStringLiteral("/interface/recurrentTrack"), "getpos", getpos);
}

bool QRobotCollaborative::debugReTrace(const QString &cmd, const QString &addr, const QString &mode,
                                       const int *loopTimes)
{
    if (!loopTimes)
        return false;
    return ControllerIO::post(transport(), QStringLiteral("/interface/debugReTrace"),
                              QJsonObject{{QStringLiteral("cmd"), cmd},
                                          {QStringLiteral("addr"), addr},
                                          {QStringLiteral("mode"), mode},
                                          {QStringLiteral("loopTimes"), *loopTimes}});
}

bool QRobotCollaborative::debugReTraceState(int &currentTimes, bool &isDone)
{
    return ControllerIO::get(transport(), QStringLiteral("/interface/debugReTrace"), [&](const QJsonObject &reply) {
        take(reply, "currentTimes", currentTimes);
        take(reply, "isDone", isDone);
    });
}

bool QRobotCollaborative::setRunTrajectoryParams(QRobotCoor::ReTraceParams params)
{
    // The controller's replay needs the fixed sampling alongside.
    QJsonObject body{{QStringLiteral("cart"), 0},
                     {QStringLiteral("rev"), 0},
                     {QStringLiteral("sample"), 50.0},
                     {QStringLiteral("freq"), 10.0}};
    ReTrace.fields().write(body, params);
    if (!ControllerIO::post(transport(), QStringLiteral("/settings/function/setReTraceParam"), body,
                            ReTrace.logs().write))
        return false;

    // The controller reads its replay parameters from its project folder:
    // keep that copy current too. Whether it can be written does not change
    // the result; the controller already has the values. A host that is not a
    // plain name or address would put the copy outside the share: no copy.
    const QString host = transport()->host();
    if (host.isEmpty() || host.contains(QLatin1Char('/')) || host.contains(QLatin1Char('\\'))
        || host.startsWith(QLatin1Char('.')))
        return true;
    QSaveFile file(ControllerPaths::shareProjectRoot(host) + ReTrace.name() + QStringLiteral(".json"));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QJsonDocument(body).toJson());
        file.commit();
    }
    return true;
}

bool QRobotCollaborative::getRunTrajectoryParams(QRobotCoor::ReTraceParams &params)
{
    return ReTrace.read(transport(), params);
}

bool QRobotCollaborative::setTrajPoints(const QRobotType::CartesianCoordinate *points, int count)
{
    if (!points)
        return false;
    QJsonArray list;
    const int limit = qMin(count, int(TrajPointLimit));
    for (int i = 0; i < limit && !isZero(points[i]); ++i)
        list.append(QJsonObject{{QStringLiteral("P"), ControllerIO::toArray(points[i].pose, 6)}});
    return writeTrajDocument(transport(), QJsonObject{{QStringLiteral("point"), list}}, SetTrajPointsSignature);
}

bool QRobotCollaborative::setTrajParams(QRobotType::RDNCoordinate handtype, int tool, int user)
{
    QJsonObject document;
    switch (ControllerIO::readObjectDocument(transport(), TrajPointsDocument, &document,
                                             {SetTrajParamsSignature, "getParaError"})) {
    case ControllerIO::ReadStatus::Failed:
    case ControllerIO::ReadStatus::NotJson:
        return false;
    case ControllerIO::ReadStatus::OtherKind:
        return true; // not a point list this library wrote: left alone
    case ControllerIO::ReadStatus::Missing: // no point list yet: the parameters start one
    case ControllerIO::ReadStatus::Ok:
        break;
    }
    document.insert(QLatin1String("handtype"), ControllerIO::toArray(handtype.rdn, 4));
    document.insert(QLatin1String("tool"), tool);
    document.insert(QLatin1String("user"), user);
    return writeTrajDocument(transport(), document, SetTrajParamsSignature);
}

bool QRobotCollaborative::preHandleTrajPoints(const QString &addr, int tool, int user, QRobotType::RDNCoordinate rdn,
                                              bool *value, int *index)
{
    if (!value || !index)
        return false;
    const QJsonObject body{{QStringLiteral("addr"), addr},
                           {QStringLiteral("tool"), tool},
                           {QStringLiteral("user"), user},
                           {QStringLiteral("r"), int(rdn.rdn[0])},
                           {QStringLiteral("d"), int(rdn.rdn[1])},
                           {QStringLiteral("n"), int(rdn.rdn[2])},
                           {QStringLiteral("cfg"), int(rdn.rdn[3])}};
    return ControllerIO::post(transport(), QStringLiteral("/interface/preHandleTrajPoints"), body,
                              [&](const QJsonObject &reply) {
        const auto result = reply.constFind(QLatin1String("value"));
        if (result == reply.constEnd())
            return;
        *value = result.value().toBool(false);
        *index = *value ? 0 : QRobotJson::toInt32(reply.value(QLatin1String("index")));
    }, "preHandleTrajPoints_postError");
}
