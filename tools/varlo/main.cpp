// varlo: the command-line host of the library.
//
//   varlo script run ADDRESS PROJECT
//   varlo script debug ADDRESS PROJECT
#include "scriptcommand.h"

#include <QtCore/QCoreApplication>

#include <cstdio>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: varlo script run|debug ADDRESS PROJECT\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.value(0) == QLatin1String("script"))
        return runScriptCommand(arguments.mid(1));
    return usage();
}
