// The arm's kinematic structure and motor data, "/properties/structure".
#include "Varlo/qrobotsettings.h"
#include "transport/controllerio.h"
#include "types/qjsonreaders.h"

#include <algorithm>

using ControllerIO::take;

namespace {

const QString StructureDocument = QStringLiteral("/properties/structure");
const char GetError[] = "structure_getParaError";
const char SetError[] = "structure_setParaError";

QLatin1String key(const char *name) { return QLatin1String(name); }

QString numbered(const char *prefix, int i) { return QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(i + 1); }

void takeNumbered(const QJsonObject &object, const char *prefix, float *fields)
{
    for (int i = 0; i < 6; ++i) {
        const auto it = object.constFind(numbered(prefix, i));
        if (it != object.constEnd())
            fields[i] = QRobotJson::toFloat(it.value());
    }
}

void readMotors(const QJsonObject &document, RobotStructure &s, bool denOnly)
{
    const QJsonArray motors = document.value(key("motors")).toArray();
    for (int i = 0; i < 6 && i < motors.size(); ++i) {
        const QJsonObject m = motors.at(i).toObject();
        const QJsonObject gearBox = m.value(key("gearBox")).toObject();
        take(gearBox, "den", s.den[i]);
        if (denOnly)
            continue;
        take(gearBox, "num", s.num[i]);
        take(m, "simulated", s.simulated[i]);
        const QJsonObject motor = m.value(key("motor")).toObject();
        take(motor, "inverted", s.inverted[i]);
        take(motor, "rated", s.rated[i]);
        take(motor, "limit", s.limit[i]);
        take(m.value(key("encoder")).toObject(), "bitNum", s.bitNum[i]);
    }
}

// Sets `name` inside the object under `key` of `parent`, keeping the other
// keys of that object.
void setInside(QJsonObject &parent, const char *name, const char *field, const QJsonValue &value)
{
    QJsonObject inner = parent.value(key(name)).toObject();
    inner.insert(key(field), value);
    parent.insert(key(name), inner);
}

} // namespace

bool QRobotSettings::structure(RobotStructure &s)
{
    return ControllerIO::readObject(transport(), StructureDocument, [&](const QJsonObject &document) {
        const QJsonObject structure = document.value(key("structure")).toObject();
        takeNumbered(structure, "L", s.L);
        takeNumbered(structure, "a", s.a);
        bool allAlpha = true;
        for (int i = 0; i < 6; ++i)
            allAlpha = allAlpha && structure.contains(numbered("alpha", i));
        if (allAlpha)
            takeNumbered(structure, "alpha", s.alpha);
        const QJsonArray limits = structure.value(key("limits")).toArray();
        for (int i = 0; i < 6 && i < limits.size(); ++i) {
            const QJsonArray pair = limits.at(i).toArray();
            for (int k = 0; k < 2 && k < pair.size(); ++k)
                s.limits[i][k] = QRobotJson::toFloat(pair.at(k));
        }
        readMotors(document, s, false);
    }, GetError, ControllerIO::OtherKind::Fails);
}

bool QRobotSettings::structureShort(RobotStructure &s)
{
    return ControllerIO::readObject(transport(), StructureDocument, [&](const QJsonObject &document) {
        const QJsonObject structure = document.value(key("structure")).toObject();
        takeNumbered(structure, "L", s.L);
        takeNumbered(structure, "A", s.a);
        readMotors(document, s, true);
    }, GetError, ControllerIO::OtherKind::Fails);
}

bool QRobotSettings::setStructure(const RobotStructure &s)
{
    // Read first: the document holds keys of other tools and arm types that
    // must survive the write (a fresh controller without one starts empty).
    QJsonObject document;
    if (!ControllerIO::mayEdit(ControllerIO::readObjectDocument(transport(), StructureDocument, &document, GetError)))
        return false;

    QJsonObject structure = document.value(key("structure")).toObject();
    QJsonArray limits;
    for (int i = 0; i < 6; ++i) {
        structure.insert(numbered("L", i), double(s.L[i]));
        structure.insert(numbered("a", i), double(s.a[i]));
        structure.insert(numbered("alpha", i), double(s.alpha[i]));
        limits.append(QJsonArray{double(s.limits[i][0]), double(s.limits[i][1])});
    }
    structure.insert(key("limits"), limits);
    document.insert(key("structure"), structure);

    QJsonArray motors = document.value(key("motors")).toArray();
    for (int i = 0; i < 6; ++i) {
        QJsonObject m = i < motors.size() ? motors.at(i).toObject() : QJsonObject();
        m.insert(key("simulated"), s.simulated[i]);
        setInside(m, "motor", "inverted", s.inverted[i]);
        setInside(m, "motor", "rated", double(s.rated[i]));
        setInside(m, "motor", "limit", double(s.limit[i]));
        setInside(m, "encoder", "bitNum", double(s.bitNum[i]));
        setInside(m, "gearBox", "num", double(s.num[i]));
        setInside(m, "gearBox", "den", double(s.den[i]));
        if (i < motors.size())
            motors.replace(i, m);
        else
            motors.append(m);
    }
    document.insert(key("motors"), motors);
    return ControllerIO::writeObject(transport(), StructureDocument, document, SetError);
}
