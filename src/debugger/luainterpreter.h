#ifndef LUAINTERPRETER_H
#define LUAINTERPRETER_H

#include <QtCore/QString>
#include <QtCore/QStringList>

// Where the script debugger finds the Lua interpreter that runs its debug
// server.
//
// A host application may bring its own: "Lua/lua" ("Lua/Lua.exe" on Windows)
// in the application's folder. Otherwise the library runs the launcher
// installed with it ("varlo-lua", which starts the system's Lua 5.4 with the
// library's `mobdebug` module on its path): first the one found from the
// library's own file (the installed layout: libexec/varlo/ beside lib/, or
// beside bin/ for a program that links the library statically), then the
// build tree's copy, which is what the build's own programs and tests use.
namespace LuaInterpreter {

QString applicationInterpreter();
QString launcher();
// The program to start, and its fixed arguments.
QString program();
QStringList arguments();

// For test programs: start this program instead (an empty text restores the
// search above).
void setProgramForTesting(const QString &program);

} // namespace LuaInterpreter

#endif // LUAINTERPRETER_H
