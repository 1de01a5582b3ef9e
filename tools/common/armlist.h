#ifndef VARLO_TOOLS_ARMLIST_H
#define VARLO_TOOLS_ARMLIST_H

// The arms a host program follows: names and controller addresses, from its
// command line (NAME=ADDRESS) or a config file of "NAME ADDRESS" lines.

#include <QtCore/QList>
#include <QtCore/QString>

struct ArmEntry
{
    QString name;    // letters, digits, '_' and '-', at most 64
    QString address; // the controller's host name or IP address
};

// Whether `name` may name an arm (it becomes part of MQTT topics).
bool isArmName(const QString &name);
// Whether `address` may be a controller address: no blanks, slashes, '@',
// '?', '#' or ':' (the library builds its URLs from it).
bool isControllerAddress(const QString &address);
// Appends an arm; false with a message in `error` for a bad name or address
// or a name given twice.
bool addArm(QList<ArmEntry> *arms, const QString &name, const QString &address, QString *error);
// Appends the arm of a command line's "NAME=ADDRESS".
bool addArmWord(QList<ArmEntry> *arms, const QString &word, QString *error);
// Reads a config file: one "NAME ADDRESS" (or "NAME = ADDRESS") a line, '#'
// starts a comment. False with "FILE:LINE: ..." in `error`.
bool readArmFile(const QString &path, QList<ArmEntry> *arms, QString *error);

#endif // VARLO_TOOLS_ARMLIST_H
