// varlo fk, ik, frames, points, doc: kinematics, coordinate frames, a
// project's teach points and the controller's settings documents.
#include "cli.h"

#include <Varlo/qhttpmanager.h>
#include <Varlo/qrobotprotocol.h>
#include <Varlo/qrobotsettings.h>

#include <QtCore/QFile>
#include <QtCore/QJsonDocument>

#include <cstring>
#include <memory>

namespace {

// The six numbers of fk and ik and the frames they are in: the active ones
// unless --tool / --user name others.
bool kinematicsInput(Invocation &cli, const QString &what, float (&values)[6], int *tool, int *user)
{
    QVector<float> numbers;
    if (!cli.numbers(cli.arguments, what, &numbers) || !cli.connect())
        return false;
    std::copy(numbers.begin(), numbers.end(), values);
    cli.freshState();
    const QRobotProtocol *p = cli.robot.protocol();
    return cli.integerOption(QStringLiteral("--tool"), tool, p->toolCoordinate(), 0, 9)
        && cli.integerOption(QStringLiteral("--user"), user, p->userCoordinate(), 0, 9);
}

int fk(Invocation &cli)
{
    QRobotType::JointCoordinate joints = {};
    QRobotType::CartesianCoordinate pose = {};
    int tool = 0;
    int user = 0;
    if (!kinematicsInput(cli, QStringLiteral("a joint position"), joints.joint, &tool, &user))
        return cli.failed();
    const int axes = jointCount(cli.robot.knownAxisCount());
    if (cli.arguments.size() != axes)
        return cli.fail(ExitBadArgument, QStringLiteral("the arm at %1 has %2 axes: give %2 joint positions, not %3")
                                             .arg(cli.address).arg(axes).arg(cli.arguments.size()));
    if (!cli.robot.settings()->positiveSolution(joints, tool, user, pose))
        return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 could not compute the pose").arg(cli.address));
    cli.result(poseText(pose), QJsonObject{ { "pose", jsonNumbers(pose.pose, 6) }, { "tool", tool }, { "user", user } });
    return ExitOk;
}

int ik(Invocation &cli)
{
    QRobotType::CartesianCoordinate pose = {};
    QRobotType::JointCoordinate joints = {};
    int tool = 0;
    int user = 0;
    if (!kinematicsInput(cli, QStringLiteral("a coordinate"), pose.pose, &tool, &user))
        return cli.failed();
    if (!cli.robot.settings()->inverseSolution(pose, cli.robot.protocol()->rdnCoordinate(), tool, user, joints))
        return cli.fail(ExitRequestFailed,
                        QStringLiteral("the controller at %1 found no joint positions for the pose (out of reach?)").arg(cli.address));
    const int axes = cli.robot.knownAxisCount();
    cli.result(jointsText(joints, axes),
               QJsonObject{ { "joints", jsonNumbers(joints.joint, jointCount(axes)) }, { "tool", tool }, { "user", user } });
    return ExitOk;
}

// ---- frames -------------------------------------------------------------------------

QString frameAlias(const CoordinateEntry &entry)
{
    return QString::fromUtf8(entry.alias, int(qstrnlen(entry.alias, CoordinateEntry::AliasSize)));
}

QJsonObject frameObject(const CoordinateEntry &entry, int index)
{
    return QJsonObject{ { "index", index }, { "enabled", entry.enable }, { "name", frameAlias(entry) },
                        { "frame", jsonNumbers(entry.params, 6) } };
}

QString frameLine(const QString &kind, const CoordinateEntry &entry, int index)
{
    return QStringLiteral("%1 %2%3  %4%5").arg(kind).arg(index).arg(QLatin1String(entry.enable ? "" : " (off)"))
        .arg(formatNumbers(entry.params, 6))
        .arg(frameAlias(entry).isEmpty() ? QString() : QStringLiteral("  \"%1\"").arg(frameAlias(entry)));
}

int frames(Invocation &cli)
{
    const QString kind = cli.arguments.value(0);
    int index = -1;
    QVector<float> values;
    if (!kind.isEmpty() && kind != QLatin1String("tool") && kind != QLatin1String("user"))
        return cli.fail(ExitBadArgument, QStringLiteral("the frame kind must be tool or user, not \"%1\"").arg(kind));
    if (cli.arguments.size() >= 2 && !cli.integer(cli.arguments.at(1), QStringLiteral("the frame number"), &index, 0, 9))
        return cli.failed();
    if (cli.arguments.size() > 2 && cli.arguments.size() != 8)
        return cli.fail(ExitBadArgument, QStringLiteral("a frame is six numbers: X Y Z A B C"));
    if (cli.arguments.size() == 8 && !cli.numbers(cli.arguments.mid(2), QStringLiteral("a frame value"), &values))
        return cli.failed();
    if (!cli.connect())
        return cli.failed();
    QRobotSettings *settings = cli.robot.settings();
    const QStringList kinds = kind.isEmpty() ? QStringList{ "tool", "user" } : QStringList{ kind };

    if (!values.isEmpty()) {
        const bool isTool = kind == QLatin1String("tool");
        CoordinateTable table = isTool ? settings->toolCoordinates() : settings->userCoordinates();
        CoordinateEntry &entry = table.entry[index];
        entry.enable = true;
        if (cli.hasOption(QStringLiteral("--name"))) {
            const QByteArray name = cli.option(QStringLiteral("--name")).toUtf8().left(CoordinateEntry::AliasSize - 1);
            std::memset(entry.alias, 0, sizeof entry.alias);
            std::memcpy(entry.alias, name.constData(), size_t(name.size()));
        }
        std::copy(values.begin(), values.end(), entry.params);
        if (!(isTool ? settings->setToolCoordinates(table) : settings->setUserCoordinates(table)))
            return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 did not store the %2 frame").arg(cli.address, kind));
    }

    QStringList lines;
    QJsonObject object;
    for (const QString &name : kinds) {
        const CoordinateTable table = name == QLatin1String("tool") ? settings->toolCoordinates() : settings->userCoordinates();
        QJsonArray list;
        for (int i = 0; i < CoordinateTable::EntryCount; ++i) {
            if (index >= 0 && i != index)
                continue;
            // Without a number only the frames in use, frame 0 always.
            if (index < 0 && i > 0 && !table.entry[i].enable)
                continue;
            list.append(frameObject(table.entry[i], i));
            lines << frameLine(name, table.entry[i], i);
        }
        object.insert(name, list);
    }
    cli.result(lines.join(QLatin1Char('\n')), index >= 0 ? QJsonValue(object.value(kind).toArray().first()) : QJsonValue(object));
    return ExitOk;
}

// ---- teach points ---------------------------------------------------------------------

int points(Invocation &cli)
{
    const QString project = cli.arguments.at(0);
    if (project.isEmpty() || project.contains(QLatin1Char('/')) || project.contains(QLatin1String("..")))
        return cli.fail(ExitBadArgument, QStringLiteral("\"%1\" is not a project name").arg(project));
    if (!cli.connect())
        return cli.failed();
    const int kind = cli.robot.knownAxisCount();
    // A project without a points file is no project with no points: say which.
    QByteArray stored;
    switch (cli.robot.transport()->readPara(stored, QStringLiteral("/project/%1/points").arg(project))) {
    case QHttpManager::ParaRead::Missing:
        return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 has no teach points file of project %2 "
                                                          "(no such project, or none saved yet)").arg(cli.address, project));
    case QHttpManager::ParaRead::Failed:
        return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 did not give the teach points of project %2")
                                               .arg(cli.address, project));
    case QHttpManager::ParaRead::Read:
        break;
    }
    if (!QJsonDocument::fromJson(stored).isArray())
        return cli.fail(ExitRequestFailed, QStringLiteral("the teach points file of project %1 on the controller at %2 is "
                                                          "not a list of points").arg(project, cli.address));
    // About 90 KB: not for the stack.
    std::unique_ptr<TeachPointTable> table(new TeachPointTable());
    const int count = cli.robot.settings()->loadTeachPoints(
        cli.robot.projectPath() + QLatin1Char('/') + project + QLatin1String("/points.json"), kind, *table);
    QStringList lines;
    QJsonArray list;
    for (int i = 0; i < count; ++i) {
        const TeachPoint &point = table->point[i];
        const QString alias = QString::fromUtf8(point.alias, int(qstrnlen(point.alias, sizeof point.alias)));
        lines << QStringLiteral("P%1  %2  tool %3 user %4%5").arg(point.index).arg(formatNumbers(point.coordinate, 6))
                     .arg(point.tool).arg(point.user).arg(alias.isEmpty() ? QString() : QStringLiteral("  \"%1\"").arg(alias));
        list.append(QJsonObject{ { "index", point.index }, { "name", alias }, { "pose", jsonNumbers(point.coordinate, 6) },
                                 { "tool", point.tool }, { "user", point.user },
                                 { "rdn", QJsonArray{ point.rdn[0], point.rdn[1], point.rdn[2], point.rdn[3] } },
                                 { "armOrientation", point.armOrientation } });
    }
    cli.result(lines.isEmpty() ? QStringLiteral("project %1 has no teach points").arg(project) : lines.join(QLatin1Char('\n')), list);
    return ExitOk;
}

// ---- settings documents -----------------------------------------------------------------

QString jsonKind(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool: return QStringLiteral("true or false");
    case QJsonValue::Double: return QStringLiteral("a number");
    case QJsonValue::String: return QStringLiteral("a text");
    case QJsonValue::Array: return QStringLiteral("a list");
    case QJsonValue::Object: return QStringLiteral("an object");
    default: return QStringLiteral("null");
    }
}

// Where the new document `given` holds another kind of value than the
// controller's `stored` one at the same key (or list place): the readers of
// the controller and of its hosts take a key by the kind it has, and would
// read such a value as missing or as zero. Keys only one side has are left
// to the writer.
void kindMismatches(const QJsonValue &stored, const QJsonValue &given, const QString &where, QStringList *found)
{
    if (stored.type() != given.type()) {
        if (!stored.isNull())
            found->append(QStringLiteral("%1 is %2, not %3").arg(where.isEmpty() ? QStringLiteral("the document") : where,
                                                                 jsonKind(stored), jsonKind(given)));
        return;
    }
    if (stored.isObject()) {
        const QJsonObject old = stored.toObject();
        const QJsonObject now = given.toObject();
        for (auto key = now.begin(); key != now.end(); ++key) {
            if (old.contains(key.key()))
                kindMismatches(old.value(key.key()), key.value(), where.isEmpty() ? key.key() : where + QLatin1Char('.') + key.key(), found);
        }
    } else if (stored.isArray()) {
        const QJsonArray old = stored.toArray();
        const QJsonArray now = given.toArray();
        for (int i = 0; i < old.size() && i < now.size(); ++i)
            kindMismatches(old.at(i), now.at(i), QStringLiteral("%1[%2]").arg(where).arg(i), found);
    }
}

QJsonValue documentValue(const QJsonDocument &document)
{
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

int doc(Invocation &cli)
{
    // The words are "get|set ADDRESS NAME [JSON]".
    const QString action = cli.address;
    const bool write = action == QLatin1String("set");
    if ((action != QLatin1String("get") && !write) || cli.arguments.size() != (write ? 3 : 2))
        return cli.fail(ExitBadArgument, QStringLiteral("usage: varlo doc %1").arg(QLatin1String(cli.spec.synopsis)));
    cli.address = cli.arguments.takeFirst();
    const QString name = cli.arguments.at(0);
    if (!name.startsWith(QLatin1Char('/')) || name.contains(QLatin1String("..")) || name.endsWith(QLatin1String(".json")))
        return cli.fail(ExitBadArgument, QStringLiteral("a document name looks like /settings/common, not \"%1\"").arg(name));
    QByteArray text;
    if (write) {
        const QString source = cli.arguments.at(1);
        if (source == QLatin1String("-")) {
            QFile in;
            if (!in.open(stdin, QIODevice::ReadOnly))
                return cli.fail(ExitBadArgument, QStringLiteral("cannot read standard input"));
            text = in.readAll();
        } else {
            text = source.toUtf8();
        }
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(text, &error);
        if (document.isNull())
            return cli.fail(ExitBadArgument, QStringLiteral("the new document is not JSON: %1").arg(error.errorString()));
        text = document.toJson(QJsonDocument::Indented);
    }
    if (!cli.connect())
        return cli.failed();
    QHttpManager *transport = cli.robot.transport();
    if (write && !cli.has(QStringLiteral("--force"))) {
        QByteArray stored;
        const QHttpManager::ParaRead read = transport->readPara(stored, name);
        if (read == QHttpManager::ParaRead::Failed)
            return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 did not give %2 to check the new one "
                                                              "against (--force writes it unchecked)").arg(cli.address, name));
        const QJsonDocument old = QJsonDocument::fromJson(stored);
        QStringList mismatches;
        if (read == QHttpManager::ParaRead::Read && !old.isNull())
            kindMismatches(documentValue(old), documentValue(QJsonDocument::fromJson(text)), QString(), &mismatches);
        if (!mismatches.isEmpty())
            return cli.fail(ExitBadArgument, QStringLiteral("%1 not written: in the controller's document %2 (--force "
                                                            "writes it all the same)").arg(name, mismatches.join(QLatin1String("; "))));
    }
    if (write) {
        if (!transport->setPara(text, name))
            return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 did not store %2").arg(cli.address, name));
        cli.result(QStringLiteral("%1 written").arg(name), QJsonObject{ { "written", name } });
        return ExitOk;
    }
    if (!transport->getPara(text, name))
        return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 did not give %2").arg(cli.address, name));
    const QJsonDocument document = QJsonDocument::fromJson(text);
    if (document.isNull())
        return cli.fail(ExitRequestFailed, QStringLiteral("%1 on the controller at %2 is not JSON").arg(name, cli.address));
    // The document as it is, in either mode.
    std::fputs(document.toJson(QJsonDocument::Indented).constData(), stdout);
    return ExitOk;
}

} // namespace

QList<CommandSpec> configurationCommands()
{
    return {
        { "fk", "ADDRESS J1 J2 J3 J4 [J5 J6] [--tool N] [--user N]", "forward kinematics: the pose of joint positions",
          "Asks the controller for the pose (X Y Z A B C) that the joint positions give\n"
          "(one per axis: degrees, joint 3 of a 4-axis arm in mm), in the active tool\n"
          "and user frames unless --tool / --user name others.",
          5, 7, { "--tool", "--user" }, {}, fk },
        { "ik", "ADDRESS X Y Z A B C [--tool N] [--user N]", "inverse kinematics: the joint positions of a pose",
          "Asks the controller for the joint positions that reach the pose in the\n"
          "arm's present configuration, in the active frames unless --tool / --user.",
          7, 7, { "--tool", "--user" }, {}, ik },
        { "frames", "ADDRESS [tool|user [N [X Y Z A B C] [--name NAME]]]", "lists, shows or sets tool and user frames",
          "Without more words: the tool and user frames in use. tool|user: that kind.\n"
          "N (0-9): that frame. X Y Z A B C after N: sets the frame (mm, degrees) and\n"
          "switches it on; --name gives it a name.",
          1, 9, { "--name" }, {}, frames },
        { "points", "ADDRESS PROJECT", "lists a project's teach points",
          "Lists the teach points of the project PROJECT (its points file): number,\n"
          "pose, frames and name. A project without a points file is a failure.",
          2, 2, {}, {}, points },
        { "doc", "get ADDRESS NAME | set ADDRESS NAME JSON|- [--force]", "reads or writes a settings document",
          "get prints the controller's settings document NAME (e.g. /settings/common)\n"
          "as JSON; set replaces it whole with JSON given as a word or on standard\n"
          "input (-). set refuses a document in which a key the controller's document\n"
          "has holds another kind of value (a text for a number, ...), naming each;\n"
          "--force writes it all the same. Careful: the controller uses what it is\n"
          "given.",
          3, 4, {}, { "--force" }, doc },
    };
}
