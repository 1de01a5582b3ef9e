#include "armlist.h"

#include <QtCore/QFile>
#include <QtCore/QRegularExpression>
#include <QtCore/QStringList>

bool isArmName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    return pattern.match(name).hasMatch();
}

bool isControllerAddress(const QString &address)
{
    static const QRegularExpression notAnAddress(QStringLiteral("[\\s/@?#:]"));
    return !address.isEmpty() && !address.contains(notAnAddress);
}

bool addArm(QList<ArmEntry> *arms, const QString &name, const QString &address, QString *error)
{
    if (!isArmName(name)) {
        *error = QStringLiteral("\"%1\" is not an arm name (letters, digits, _ and -)").arg(name);
        return false;
    }
    if (!isControllerAddress(address)) {
        *error = QStringLiteral("\"%1\" is not a controller address").arg(address);
        return false;
    }
    for (const ArmEntry &arm : *arms) {
        if (arm.name == name) {
            *error = QStringLiteral("the arm name \"%1\" is given twice").arg(name);
            return false;
        }
    }
    arms->append(ArmEntry{ name, address });
    return true;
}

bool addArmWord(QList<ArmEntry> *arms, const QString &word, QString *error)
{
    return addArm(arms, word.section(QLatin1Char('='), 0, 0), word.section(QLatin1Char('='), 1), error);
}

bool readArmFile(const QString &path, QList<ArmEntry> *arms, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        QString line = QString::fromUtf8(file.readLine(4096));
        line = line.section(QLatin1Char('#'), 0, 0).replace(QLatin1Char('='), QLatin1Char(' ')).simplified();
        if (line.isEmpty())
            continue;
        const QStringList words = line.split(QLatin1Char(' '));
        if (words.size() != 2) {
            *error = QStringLiteral("%1:%2: expected NAME ADDRESS").arg(path).arg(number);
            return false;
        }
        if (!addArm(arms, words.at(0), words.at(1), error)) {
            error->prepend(QStringLiteral("%1:%2: ").arg(path).arg(number));
            return false;
        }
    }
    return true;
}
