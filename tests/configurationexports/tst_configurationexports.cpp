// The configuration exports as a host uses them. The library state is one per
// process, so the test functions run in order: first without a connection,
// then connected to the controller double.
#include "Varlo.h"

#include "componenttest.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <climits>
#include <cstring>
#include <functional>

using VarloTest::Request;
using VarloTest::numbers;
using VarloTest::floats;

namespace {

const char Address[] = "127.0.0.42";
const char ToolDocument[] = "/settings/coordinate/tool";
const char UserDocument[] = "/settings/coordinate/user";

QJsonObject entry(bool enable, const QString &alias, const QJsonArray &params)
{
    return QJsonObject{ { "enable", enable }, { "alias", alias }, { "params", params } };
}

// Ten named, enabled entries with distinct frames.
QJsonArray sampleTable(double base)
{
    QJsonArray table;
    for (int i = 0; i < 10; ++i) {
        const double v = base + i;
        table.append(entry(i != 3, QStringLiteral("frame %1").arg(i), numbers({ v, v, v, v, v, v })));
    }
    return table;
}

// Every host call of this group with valid arguments, by name: before the
// connection they must all answer 1 and touch nothing.
struct HostCall
{
    const char *name;
    std::function<int32_t()> call;
};

float g_frame[6];
float g_points[18];
float g_values[6];
const int32_t g_rdn[4] = { 1, 1, 1, 0 };
int32_t g_index;
bool g_flag;
VarloPayloadRecord g_payload;
VarloGPIOAI g_ai;
VarloGPIOAO g_ao;

const QList<HostCall> &hostCalls()
{
    static const QList<HostCall> calls = {
        { "SetCoordinateUserIndex", [] { return SetCoordinateUserIndex(1); } },
        { "GetCoordinateUserIndex", [] { return GetCoordinateUserIndex(&g_index); } },
        { "SetCoordinateToolIndex", [] { return SetCoordinateToolIndex(1); } },
        { "GetCoordinateToolIndex", [] { return GetCoordinateToolIndex(&g_index); } },
        { "SetCoordinateUserParams", [] { return SetCoordinateUserParams(g_frame, 1); } },
        { "GetCoordinateUserParams", [] { return GetCoordinateUserParams(g_frame, 1); } },
        { "SetCoordinateToolParams", [] { return SetCoordinateToolParams(g_frame, 1); } },
        { "GetCoordinateToolParams", [] { return GetCoordinateToolParams(g_frame, 1); } },
        { "CalibrateCoordinateUser", [] { return CalibrateCoordinateUser(g_points, g_frame, 1); } },
        { "CalibrateCoordinateToolPosition", [] { return CalibrateCoordinateToolPosition(g_points, g_frame, 1); } },
        { "CalibrateCoordinateToolPose", [] { return CalibrateCoordinateToolPose(g_points, g_frame, 1); } },
        { "CalibrateCoordinateUserToPy",
          [] { return CalibrateCoordinateUserToPy(g_points, g_points + 6, g_points + 12, g_frame, 1); } },
        { "CalibrateCoordinateToolPositionToPy",
          [] { return CalibrateCoordinateToolPositionToPy(g_points, g_points + 6, g_points + 12, g_frame, 1); } },
        { "CalibrateCoordinateToolPoseToPy",
          [] { return CalibrateCoordinateToolPoseToPy(g_points, g_points + 6, g_points + 12, g_frame, 1); } },
        { "PositiveSolution", [] { return PositiveSolution(g_points, 0, 0, g_frame); } },
        { "InverseSolution", [] { return InverseSolution(g_points, g_rdn, 0, 0, g_frame); } },
        { "SetPayLoad", [] { return SetPayLoad(&g_payload); } },
        { "GetPayLoad", [] { return GetPayLoad(&g_payload); } },
        { "SetForceSensor", [] { return SetForceSensor(true); } },
        { "GetForceSensor", [] { return GetForceSensor(&g_flag); } },
        { "GetForceOrgParams", [] { return GetForceOrgParams(g_values); } },
        { "SetForceHome", [] { return SetForceHome(); } },
        { "SetTorqueParams", [] { return SetTorqueParams(1.0f); } },
        { "GetTorqueParams", [] { return GetTorqueParams(&g_values[0]); } },
        { "GetAI", [] { return GetAI(&g_ai); } },
        { "GetAO", [] { return GetAO(&g_ao); } },
        { "SetAO", [] { return SetAO(&g_ao); } },
        { "SetTeachTrajectory", [] { return SetTeachTrajectory(true); } },
    };
    return calls;
}

void fillGlobals()
{
    for (float &v : g_frame)
        v = 77.0f;
    for (float &v : g_values)
        v = 77.0f;
    for (int i = 0; i < 18; ++i)
        g_points[i] = float(i);
    g_index = 77;
    g_flag = true;
    g_payload = { 77, 77, 77, 77, { 7, 7, 7, 7 } };
    g_ai = { 77, 77 };
    g_ao = { { { 77, 77 }, { 77, 77 } } };
}

bool globalsUntouched()
{
    for (float v : g_frame)
        if (v != 77.0f)
            return false;
    for (float v : g_values)
        if (v != 77.0f)
            return false;
    return g_index == 77 && g_flag && g_payload.x == 77 && g_payload.loadValue == 77 && g_payload.reserved[3] == 7
           && g_ai.mode1 == 77 && g_ai.mode2 == 77 && g_ao.channel[1].value == 77;
}

// The requests of this group, leaving out the background traffic of the
// state exchange.
int configurationRequests(const VarloTest::FakeController &ctl)
{
    int n = 0;
    for (const Request &request : ctl.requests()) {
        if (!request.path.startsWith(QLatin1String("/protocol/")) && request.path != QLatin1String("/connection/state"))
            ++n;
    }
    return n;
}

int tableWrites(const VarloTest::FakeController &ctl)
{
    return ctl.count("POST", "/file/write/settings/coordinate/*");
}

using CalibrateFunction = int32_t (*)(const float *, float *, int32_t);
using CalibrateToPyFunction = int32_t (*)(const float *, const float *, const float *, float *, int32_t);

} // namespace

Q_DECLARE_METATYPE(CalibrateFunction)
Q_DECLARE_METATYPE(CalibrateToPyFunction)

class tst_ConfigurationExports : public QObject, public VarloTest::ControllerTest
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    void beforeConnectNothingIsTouched_data();
    void beforeConnectNothingIsTouched();
    void connect();

    void refusedArguments_data();
    void refusedArguments();

    void indexGettersFollowTheController();
    void setFrameKeepsAliasAndOtherEntries();
    void setFrameOnUnreadableTable();
    void getFrame();
    void positionThenPoseCompleteOneTool();
    void userCalibrationFillsTheUserTable();
    void failedCalibrationTouchesNothing_data();
    void failedCalibrationTouchesNothing();
    void toPyEqualsPacked_data();
    void toPyEqualsPacked();

    void kinematics_data();
    void kinematics();

    void setPayLoadWritesThenApplies();
    void getPayLoad();
    void forceSensor();
    void torqueParams_data();
    void torqueParams();
    void analogIO();
    void teachTrajectory();

private:
};

void tst_ConfigurationExports::initTestCase()
{
    startController(Address, 6);
}

void tst_ConfigurationExports::init()
{
    fillGlobals();
}

void tst_ConfigurationExports::beforeConnectNothingIsTouched_data()
{
    QTest::addColumn<int>("call");
    for (int i = 0; i < hostCalls().size(); ++i)
        QTest::newRow(hostCalls().at(i).name) << i;
}

void tst_ConfigurationExports::beforeConnectNothingIsTouched()
{
    QFETCH(int, call);
    QCOMPARE(hostCalls().at(call).call(), VARLO_NO_CONNECTION);
    QVERIFY(globalsUntouched());
    QCOMPARE(ctl->count(), 0);
}

void tst_ConfigurationExports::connect()
{
    QCOMPARE(ConnectVarlo(Address), VARLO_OK);
}

void tst_ConfigurationExports::refusedArguments_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("kind"); // 0: null pointers, -2: a null input only, else the index passed
    const QStringList indexed = { "SetCoordinateUserParams", "GetCoordinateUserParams", "SetCoordinateToolParams",
                                  "GetCoordinateToolParams", "CalibrateCoordinateUser",
                                  "CalibrateCoordinateToolPosition", "CalibrateCoordinateToolPose",
                                  "CalibrateCoordinateUserToPy", "CalibrateCoordinateToolPositionToPy",
                                  "CalibrateCoordinateToolPoseToPy", "SetCoordinateUserIndex",
                                  "SetCoordinateToolIndex" };
    for (const QString &name : indexed) {
        for (int index : { -1, 10, INT_MIN, INT_MAX })
            QTest::addRow("%s index %d", qPrintable(name), index) << name << index;
    }
    for (const HostCall &call : hostCalls()) {
        const QString name = QString::fromLatin1(call.name);
        if (name.startsWith("Get") || name.startsWith("Calibrate") || name.endsWith("Params") || name == "SetPayLoad"
            || name == "SetAO" || name.endsWith("Solution")) {
            if (name == "SetTorqueParams")
                continue; // takes no pointer
            QTest::addRow("%s null", call.name) << name << 0;
        }
    }
    // Null input arrays, with a valid out-array.
    QTest::newRow("PositiveSolution null joints") << QString("PositiveSolution input") << -2;
    QTest::newRow("InverseSolution null configuration") << QString("InverseSolution configuration") << -2;
}

void tst_ConfigurationExports::refusedArguments()
{
    QFETCH(QString, name);
    QFETCH(int, kind);
    ctl->clearRequests();
    const bool null = kind == 0;
    const int32_t index = (null || kind == -2) ? 1 : kind;
    float *frame = null ? nullptr : g_frame;
    float *points = null ? nullptr : g_points;

    static const QHash<QString, std::function<int32_t(float *, float *, int32_t)>> calls = {
        { "SetCoordinateUserIndex", [](float *, float *, int32_t i) { return SetCoordinateUserIndex(i); } },
        { "SetCoordinateToolIndex", [](float *, float *, int32_t i) { return SetCoordinateToolIndex(i); } },
        { "GetCoordinateUserIndex", [](float *f, float *, int32_t) {
              return GetCoordinateUserIndex(f ? &g_index : nullptr); } },
        { "GetCoordinateToolIndex", [](float *f, float *, int32_t) {
              return GetCoordinateToolIndex(f ? &g_index : nullptr); } },
        { "SetCoordinateUserParams", [](float *f, float *, int32_t i) { return SetCoordinateUserParams(f, i); } },
        { "GetCoordinateUserParams", [](float *f, float *, int32_t i) { return GetCoordinateUserParams(f, i); } },
        { "SetCoordinateToolParams", [](float *f, float *, int32_t i) { return SetCoordinateToolParams(f, i); } },
        { "GetCoordinateToolParams", [](float *f, float *, int32_t i) { return GetCoordinateToolParams(f, i); } },
        { "CalibrateCoordinateUser", [](float *f, float *p, int32_t i) { return CalibrateCoordinateUser(p, f, i); } },
        { "CalibrateCoordinateToolPosition",
          [](float *f, float *p, int32_t i) { return CalibrateCoordinateToolPosition(p, f, i); } },
        { "CalibrateCoordinateToolPose",
          [](float *f, float *p, int32_t i) { return CalibrateCoordinateToolPose(p, f, i); } },
        // The ToPy variants: the middle point missing.
        { "CalibrateCoordinateUserToPy", [](float *f, float *p, int32_t i) {
              return CalibrateCoordinateUserToPy(g_points, p ? p + 6 : nullptr, g_points + 12, f, i); } },
        { "CalibrateCoordinateToolPositionToPy", [](float *f, float *p, int32_t i) {
              return CalibrateCoordinateToolPositionToPy(g_points, p ? p + 6 : nullptr, g_points + 12, f, i); } },
        { "CalibrateCoordinateToolPoseToPy", [](float *f, float *p, int32_t i) {
              return CalibrateCoordinateToolPoseToPy(g_points, p ? p + 6 : nullptr, g_points + 12, f, i); } },
        { "PositiveSolution", [](float *f, float *p, int32_t) { return PositiveSolution(p, 0, 0, f); } },
        { "PositiveSolution input", [](float *f, float *, int32_t) { return PositiveSolution(nullptr, 0, 0, f); } },
        { "InverseSolution", [](float *f, float *p, int32_t) { return InverseSolution(p, g_rdn, 0, 0, f); } },
        { "InverseSolution configuration",
          [](float *f, float *, int32_t) { return InverseSolution(g_points, nullptr, 0, 0, f); } },
        { "SetPayLoad", [](float *, float *, int32_t) { return SetPayLoad(nullptr); } },
        { "GetPayLoad", [](float *, float *, int32_t) { return GetPayLoad(nullptr); } },
        { "GetForceSensor", [](float *, float *, int32_t) { return GetForceSensor(nullptr); } },
        { "GetForceOrgParams", [](float *, float *, int32_t) { return GetForceOrgParams(nullptr); } },
        { "GetTorqueParams", [](float *, float *, int32_t) { return GetTorqueParams(nullptr); } },
        { "GetAI", [](float *, float *, int32_t) { return GetAI(nullptr); } },
        { "GetAO", [](float *, float *, int32_t) { return GetAO(nullptr); } },
        { "SetAO", [](float *, float *, int32_t) { return SetAO(nullptr); } },
    };
    QVERIFY2(calls.contains(name), qPrintable(name));
    QCOMPARE(calls.value(name)(frame, points, index), VARLO_INVALID_ARGUMENT);
    QVERIFY(globalsUntouched());
    QTest::qWait(60); // a request, had one been queued, goes out on the next dispatch tick
    QCOMPARE(configurationRequests(*ctl), 0);
}

void tst_ConfigurationExports::indexGettersFollowTheController()
{
    ctl->on("POST", "/protocol/exchange").reply(QJsonObject{ { "userCoordinate", 1 }, { "toolCoordinate", 4 } });
    QVERIFY(ctl->waitForNextRequest("POST", "/protocol/exchange"));
    QVERIFY(ctl->waitForNextRequest("POST", "/protocol/exchange"));
    int32_t user = -1;
    int32_t tool = -1;
    QCOMPARE(GetCoordinateUserIndex(&user), VARLO_OK);
    QCOMPARE(GetCoordinateToolIndex(&tool), VARLO_OK);
    QCOMPARE(user, 1);
    QCOMPARE(tool, 4);

    // The new index goes out with the next exchange; until the controller
    // reports it, the getter still gives the old one.
    QCOMPARE(SetCoordinateUserIndex(2), VARLO_OK);
    QCOMPARE(SetCoordinateToolIndex(9), VARLO_OK);
    QCOMPARE(GetCoordinateUserIndex(&user), VARLO_OK);
    QCOMPARE(user, 1);
    QVERIFY(ctl->waitForNextRequest("POST", "/protocol/exchange"));
    const QJsonObject sent = ctl->lastRequest("POST", "/protocol/exchange").json();
    QCOMPARE(sent.value("userCoordinate"), QJsonValue(2));
    QCOMPARE(sent.value("toolCoordinate"), QJsonValue(9));

    ctl->on("POST", "/protocol/exchange").reply(QJsonObject{ { "userCoordinate", 2 }, { "toolCoordinate", 9 } });
    QVERIFY(ctl->waitForNextRequest("POST", "/protocol/exchange"));
    QVERIFY(ctl->waitForNextRequest("POST", "/protocol/exchange"));
    QCOMPARE(GetCoordinateUserIndex(&user), VARLO_OK);
    QCOMPARE(GetCoordinateToolIndex(&tool), VARLO_OK);
    QCOMPARE(user, 2);
    QCOMPARE(tool, 9);
    ctl->on("POST", "/protocol/exchange").reply(QJsonObject{});
}

void tst_ConfigurationExports::setFrameKeepsAliasAndOtherEntries()
{
    const QJsonArray before = sampleTable(10);
    ctl->setDocument(ToolDocument, before);
    const float frame[6] = { 1.5f, 2.5f, 3.5f, 90.0f, -45.0f, 180.0f };
    QCOMPARE(SetCoordinateToolParams(frame, 3), VARLO_OK);

    const QJsonArray after = ctl->document(ToolDocument).array();
    QCOMPARE(after.size(), 10);
    for (int i = 0; i < 10; ++i) {
        if (i == 3)
            QCOMPARE(after.at(i).toObject(), entry(true, "frame 3", numbers({ 1.5, 2.5, 3.5, 90, -45, 180 })));
        else
            QCOMPARE(after.at(i), before.at(i));
    }
}

void tst_ConfigurationExports::setFrameOnUnreadableTable()
{
    ctl->setDocument(UserDocument, QByteArray("[{\"enable\": tr"));
    const float frame[6] = { 1, 2, 3, 4, 5, 6 };
    QCOMPARE(SetCoordinateUserParams(frame, 9), VARLO_OK);
    const QJsonArray after = ctl->document(UserDocument).array();
    QCOMPARE(after.size(), 10);
    for (int i = 0; i < 9; ++i)
        QCOMPARE(after.at(i).toObject(), entry(false, "", numbers({ 0, 0, 0, 0, 0, 0 })));
    QCOMPARE(after.at(9).toObject(), entry(true, "", numbers({ 1, 2, 3, 4, 5, 6 })));
}

void tst_ConfigurationExports::getFrame()
{
    ctl->setDocument(ToolDocument, sampleTable(10));
    ctl->setDocument(UserDocument, sampleTable(20));
    ctl->clearRequests();
    float frame[6];
    QCOMPARE(GetCoordinateToolParams(frame, 7), VARLO_OK);
    QCOMPARE(floats(frame, 6), numbers({ 17, 17, 17, 17, 17, 17 }));
    QCOMPARE(GetCoordinateUserParams(frame, 0), VARLO_OK);
    QCOMPARE(floats(frame, 6), numbers({ 20, 20, 20, 20, 20, 20 }));
    QCOMPARE(tableWrites(*ctl), 0);

    // A short table: entries it lacks read as zero.
    ctl->setDocument(ToolDocument, QJsonArray{ entry(true, "only", numbers({ 1, 1, 1, 1, 1, 1 })) });
    QCOMPARE(GetCoordinateToolParams(frame, 5), VARLO_OK);
    QCOMPARE(floats(frame, 6), numbers({ 0, 0, 0, 0, 0, 0 }));
}

void tst_ConfigurationExports::positionThenPoseCompleteOneTool()
{
    const QJsonArray before = sampleTable(10);
    ctl->setDocument(ToolDocument, before);
    ctl->on("POST", "/calibrate/coordinate/tool/position")
        .reply(QJsonObject{ { "coordinate", numbers({ 1, 2, 3 }) }, { "result", true } });
    ctl->on("POST", "/calibrate/coordinate/tool/pose")
        .reply(QJsonObject{ { "coordinate", numbers({ 40, 50, 60 }) }, { "result", true } });

    float frame[6] = { 9, 9, 9, 9, 9, 9 };
    QCOMPARE(CalibrateCoordinateToolPosition(g_points, frame, 3), VARLO_OK);
    QCOMPARE(floats(frame, 6), numbers({ 1, 2, 3, 0, 0, 0 }));
    QCOMPARE(ctl->document(ToolDocument).array().at(3).toObject(),
             entry(true, "frame 3", numbers({ 1, 2, 3, 13, 13, 13 })));

    QCOMPARE(CalibrateCoordinateToolPose(g_points, frame, 3), VARLO_OK);
    QCOMPARE(floats(frame, 6), numbers({ 0, 0, 0, 40, 50, 60 }));
    const QJsonArray after = ctl->document(ToolDocument).array();
    QCOMPARE(after.at(3).toObject(), entry(true, "frame 3", numbers({ 1, 2, 3, 40, 50, 60 })));
    for (int i = 0; i < 10; ++i) {
        if (i != 3)
            QCOMPARE(after.at(i), before.at(i));
    }
}

void tst_ConfigurationExports::userCalibrationFillsTheUserTable()
{
    ctl->setDocument(ToolDocument, sampleTable(10));
    ctl->setDocument(UserDocument, sampleTable(20));
    ctl->on("POST", "/calibrate/coordinate/user")
        .reply(QJsonObject{ { "coordinate", numbers({ 1, 2, 3, 4, 5, 6 }) }, { "result", true } });
    ctl->clearRequests();

    float frame[6];
    QCOMPARE(CalibrateCoordinateUser(g_points, frame, 0), VARLO_OK);
    QCOMPARE(floats(frame, 6), numbers({ 1, 2, 3, 4, 5, 6 }));
    QCOMPARE(ctl->document(UserDocument).array().at(0).toObject(),
             entry(true, "frame 0", numbers({ 1, 2, 3, 4, 5, 6 })));
    QCOMPARE(ctl->document(ToolDocument).array(), sampleTable(10));
    QCOMPARE(ctl->count("POST", "/file/write/settings/coordinate/tool.json"), 0);
    // The points went out as sent, point 1 first.
    const QJsonArray sent = ctl->lastRequest("POST", "/calibrate/coordinate/user").jsonArray();
    QCOMPARE(sent, (QJsonArray{ floats(g_points, 6), floats(g_points + 6, 6), floats(g_points + 12, 6) }));
}

void tst_ConfigurationExports::failedCalibrationTouchesNothing_data()
{
    QTest::addColumn<CalibrateFunction>("calibrate");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");

    const struct
    {
        const char *name;
        CalibrateFunction function;
        const char *path;
    } calibrations[] = {
        { "user", &CalibrateCoordinateUser, "/calibrate/coordinate/user" },
        { "tool position", &CalibrateCoordinateToolPosition, "/calibrate/coordinate/tool/position" },
        { "tool pose", &CalibrateCoordinateToolPose, "/calibrate/coordinate/tool/pose" },
    };
    for (const auto &c : calibrations) {
        QTest::addRow("%s, request failed", c.name) << c.function << c.path << 500 << QByteArray("{}");
        QTest::addRow("%s, controller says no", c.name)
            << c.function << c.path << 200 << QByteArray(R"({"coordinate": [1, 2, 3, 4, 5, 6], "result": false})");
        QTest::addRow("%s, no result", c.name)
            << c.function << c.path << 200 << QByteArray(R"({"coordinate": [1, 2, 3, 4, 5, 6]})");
        QTest::addRow("%s, not JSON", c.name) << c.function << c.path << 200 << QByteArray("<html>busy</html>");
        QTest::addRow("%s, success without a frame", c.name)
            << c.function << c.path << 200 << QByteArray(R"({"result": true})");
    }
}

void tst_ConfigurationExports::failedCalibrationTouchesNothing()
{
    QFETCH(CalibrateFunction, calibrate);
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    ctl->setDocument(ToolDocument, sampleTable(10));
    ctl->setDocument(UserDocument, sampleTable(20));
    ctl->on("POST", path).replyRaw(reply).status(status);
    ctl->clearRequests();

    QCOMPARE(calibrate(g_points, g_frame, 2), VARLO_REQUEST_FAILED);
    QVERIFY(globalsUntouched());
    QCOMPARE(tableWrites(*ctl), 0);
    QCOMPARE(ctl->document(ToolDocument).array(), sampleTable(10));
    QCOMPARE(ctl->document(UserDocument).array(), sampleTable(20));
}

void tst_ConfigurationExports::toPyEqualsPacked_data()
{
    QTest::addColumn<CalibrateFunction>("packed");
    QTest::addColumn<CalibrateToPyFunction>("separate");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("document");
    QTest::newRow("user") << CalibrateFunction(&CalibrateCoordinateUser)
                          << CalibrateToPyFunction(&CalibrateCoordinateUserToPy) << "/calibrate/coordinate/user"
                          << UserDocument;
    QTest::newRow("tool position") << CalibrateFunction(&CalibrateCoordinateToolPosition)
                                   << CalibrateToPyFunction(&CalibrateCoordinateToolPositionToPy)
                                   << "/calibrate/coordinate/tool/position" << ToolDocument;
    QTest::newRow("tool pose") << CalibrateFunction(&CalibrateCoordinateToolPose)
                               << CalibrateToPyFunction(&CalibrateCoordinateToolPoseToPy)
                               << "/calibrate/coordinate/tool/pose" << ToolDocument;
}

void tst_ConfigurationExports::toPyEqualsPacked()
{
    QFETCH(CalibrateFunction, packed);
    QFETCH(CalibrateToPyFunction, separate);
    QFETCH(QString, path);
    QFETCH(QString, document);
    // The controller answers with a frame computed from the points it got, so
    // points sent in another order would give another frame.
    ctl->on("POST", path).handle([](const Request &request) {
        const QJsonArray points = request.jsonArray();
        QJsonArray coordinate;
        for (int i = 0; i < 6; ++i)
            coordinate.append(points.at(0).toArray().at(i).toDouble() + 10 * points.at(1).toArray().at(i).toDouble()
                              + 100 * points.at(2).toArray().at(i).toDouble());
        return VarloTest::Reply::json(QJsonObject{ { "coordinate", coordinate }, { "result", true } });
    });

    ctl->setDocument(document, sampleTable(10));
    float packedFrame[6];
    QCOMPARE(packed(g_points, packedFrame, 5), VARLO_OK);
    const QJsonArray packedTable = ctl->document(document).array();
    const QByteArray packedBody = ctl->lastRequest("POST", path).body;

    ctl->setDocument(document, sampleTable(10));
    float point1[6], point2[6], point3[6];
    std::memcpy(point1, g_points, sizeof point1);
    std::memcpy(point2, g_points + 6, sizeof point2);
    std::memcpy(point3, g_points + 12, sizeof point3);
    float separateFrame[6];
    QCOMPARE(separate(point1, point2, point3, separateFrame, 5), VARLO_OK);

    QCOMPARE(floats(separateFrame, 6), floats(packedFrame, 6));
    QCOMPARE(ctl->document(document).array(), packedTable);
    QCOMPARE(ctl->lastRequest("POST", path).body, packedBody);
    QVERIFY(packedTable != sampleTable(10));
}

void tst_ConfigurationExports::kinematics_data()
{
    QTest::addColumn<bool>("inverse");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("result");
    QTest::addColumn<QJsonArray>("out"); // starts as six 77s

    const QJsonArray untouched = numbers({ 77, 77, 77, 77, 77, 77 });
    QTest::newRow("forward") << false << 200 << QByteArray(R"({"coordinate": [1, 2, 3, 4, 5, 6]})") << VARLO_OK
                             << numbers({ 1, 2, 3, 4, 5, 6 });
    QTest::newRow("forward, request failed") << false << 500 << QByteArray("{}") << VARLO_REQUEST_FAILED
                                             << untouched;
    QTest::newRow("forward, no result") << false << 200 << QByteArray(R"({"joint": [1, 2, 3, 4, 5, 6]})")
                                        << VARLO_REQUEST_FAILED << untouched;
    QTest::newRow("forward, not JSON") << false << 200 << QByteArray("unreachable") << VARLO_REQUEST_FAILED
                                       << untouched;
    QTest::newRow("inverse") << true << 200 << QByteArray(R"({"joint": [10, 20, 30, 40, 50, 60]})") << VARLO_OK
                             << numbers({ 10, 20, 30, 40, 50, 60 });
    QTest::newRow("inverse, request failed") << true << 500 << QByteArray("{}") << VARLO_REQUEST_FAILED
                                             << untouched;
    QTest::newRow("inverse, no result") << true << 200 << QByteArray(R"({"coordinate": [1, 2, 3, 4, 5, 6]})")
                                        << VARLO_REQUEST_FAILED << untouched;
}

void tst_ConfigurationExports::kinematics()
{
    QFETCH(bool, inverse);
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(int, result);
    QFETCH(QJsonArray, out);
    const QString path = inverse ? "/interface/inverseSolution" : "/interface/positiveSolution";
    ctl->on("POST", path).replyRaw(reply).status(status);
    ctl->clearRequests();

    const float input[6] = { 0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f };
    const int32_t configuration[4] = { 1, -1, 1, 3 };
    if (inverse)
        QCOMPARE(InverseSolution(input, configuration, 2, 4, g_frame), result);
    else
        QCOMPARE(PositiveSolution(input, 2, 4, g_frame), result);
    QCOMPARE(floats(g_frame, 6), out);

    // The request body is the component's (tst_motioncommands): here the
    // arguments only need to reach it.
    QCOMPARE(ctl->lastRequest("POST", path).json().value("user"), QJsonValue(4));
}

void tst_ConfigurationExports::setPayLoadWritesThenApplies()
{
    ctl->on("POST", "/settings/function/setLoad").reply(QJsonObject{});
    const VarloPayloadRecord payload = { 1.5f, 2.5f, -3.5f, 5.0f, { 0xAA, 0xBB, 0xCC, 0xDD } };
    QCOMPARE(SetPayLoad(&payload), VARLO_OK);
    QCOMPARE(ctl->documentObject("/settings/function/loadParams"),
             (QJsonObject{ { "centerX", 1.5 }, { "centerY", 2.5 }, { "centerZ", -3.5 }, { "loadValue", 5.0 } }));
    // The write-then-apply order and the refused write are the component's
    // (tst_payloadio); here only that the host record reaches it.
}

void tst_ConfigurationExports::getPayLoad()
{
    ctl->setDocument("/settings/function/loadParams",
                     QJsonObject{ { "centerX", 1 }, { "centerY", 2 }, { "centerZ", 3 }, { "loadValue", 4 } });
    QCOMPARE(GetPayLoad(&g_payload), VARLO_OK);
    QCOMPARE(g_payload.x, 1.0f);
    QCOMPARE(g_payload.y, 2.0f);
    QCOMPARE(g_payload.z, 3.0f);
    QCOMPARE(g_payload.loadValue, 4.0f);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(g_payload.reserved), 4), QByteArray(4, '\0'));

    // Unreadable: the host's record stays as it was.
    fillGlobals();
    ctl->removeDocument("/settings/function/loadParams");
    QCOMPARE(GetPayLoad(&g_payload), VARLO_OK);
    QVERIFY(globalsUntouched());
}

void tst_ConfigurationExports::forceSensor()
{
    QCOMPARE(SetForceSensor(false), VARLO_OK);
    QCOMPARE(ctl->documentObject("/process/sixForce/switch"), (QJsonObject{ { "value", false } }));
    QCOMPARE(GetForceSensor(&g_flag), VARLO_OK);
    QCOMPARE(g_flag, false);
    // A switch document without the key keeps the host's value.
    ctl->setDocument("/process/sixForce/switch", QJsonObject{ { "enabled", false } });
    g_flag = true;
    QCOMPARE(GetForceSensor(&g_flag), VARLO_OK);
    QCOMPARE(g_flag, true);

    ctl->on("GET", "/process/sixForce/data").reply(QJsonObject{ { "value", numbers({ 1, 2, 3 }) } });
    QCOMPARE(GetForceOrgParams(g_values), VARLO_OK);
    QCOMPARE(floats(g_values, 6), numbers({ 1, 2, 3, 0, 0, 0 }));

    fillGlobals();
    ctl->on("GET", "/process/sixForce/data").status(500);
    QCOMPARE(GetForceOrgParams(g_values), VARLO_OK);
    QVERIFY(globalsUntouched());

    ctl->on("POST", "/process/sixForce/home").reply(QJsonObject{});
    QCOMPARE(SetForceHome(), VARLO_OK);

    QCOMPARE(SetTorqueParams(0.75f), VARLO_OK);
    QCOMPARE(ctl->documentObject("/settings/torqueParams"), (QJsonObject{ { "value", 0.75 } }));
}

void tst_ConfigurationExports::torqueParams_data()
{
    QTest::addColumn<QByteArray>("document"); // empty: none
    QTest::addColumn<int>("result");
    QTest::addColumn<float>("value");         // starts as 77
    QTest::newRow("read") << QByteArray(R"({"value": 0.5})") << VARLO_OK << 0.5f;
    QTest::newRow("no value key") << QByteArray(R"({"torque": 0.5})") << VARLO_OK << 77.0f;
    QTest::newRow("not JSON") << QByteArray("0.5 Nm") << VARLO_REQUEST_FAILED << 77.0f;
    QTest::newRow("no document") << QByteArray() << VARLO_REQUEST_FAILED << 77.0f;
}

void tst_ConfigurationExports::torqueParams()
{
    QFETCH(QByteArray, document);
    QFETCH(int, result);
    QFETCH(float, value);
    if (document.isEmpty())
        ctl->removeDocument("/settings/torqueParams");
    else
        ctl->setDocument("/settings/torqueParams", document);
    float torque = 77.0f;
    QCOMPARE(GetTorqueParams(&torque), result);
    QCOMPARE(torque, value);
}

void tst_ConfigurationExports::analogIO()
{
    ctl->setDocument("/settings/function/gpioAI", QJsonObject{ { "mode1", 1 }, { "mode2", 2 } });
    QCOMPARE(GetAI(&g_ai), VARLO_OK);
    QCOMPARE(g_ai.mode1, 1);
    QCOMPARE(g_ai.mode2, 2);

    const VarloGPIOAO outputs = { { { 1, 3300 }, { 0, 12 } } };
    QCOMPARE(SetAO(&outputs), VARLO_OK);
    QCOMPARE(ctl->document("/settings/function/gpioAO").array(),
             (QJsonArray{ QJsonObject{ { "mode", 1 }, { "value", 3300 } },
                          QJsonObject{ { "mode", 0 }, { "value", 12 } } }));
    QCOMPARE(GetAO(&g_ao), VARLO_OK);
    QCOMPARE(std::memcmp(&g_ao, &outputs, sizeof outputs), 0);

    // One element: channel 2 keeps the host's values.
    fillGlobals();
    ctl->setDocument("/settings/function/gpioAO", QJsonArray{ QJsonObject{ { "mode", 2 }, { "value", 5 } } });
    QCOMPARE(GetAO(&g_ao), VARLO_OK);
    QCOMPARE(g_ao.channel[0].mode, 2);
    QCOMPARE(g_ao.channel[0].value, 5);
    QCOMPARE(g_ao.channel[1].mode, 77);
    QCOMPARE(g_ao.channel[1].value, 77);
}

void tst_ConfigurationExports::teachTrajectory()
{
    ctl->on("POST", "/panel/threeSwitch").reply(QJsonObject{});
    QCOMPARE(SetTeachTrajectory(true), VARLO_OK);
    QCOMPARE(ctl->lastRequest("POST", "/panel/threeSwitch").json(), (QJsonObject{ { "value", "true" } }));
    QCOMPARE(SetTeachTrajectory(false), VARLO_OK);
    QCOMPARE(ctl->lastRequest("POST", "/panel/threeSwitch").json(), (QJsonObject{ { "value", "false" } }));
    ctl->on("POST", "/panel/threeSwitch").status(500);
    QCOMPARE(SetTeachTrajectory(true), VARLO_OK);
}

QTEST_GUILESS_MAIN(tst_ConfigurationExports)
#include "tst_configurationexports.moc"
