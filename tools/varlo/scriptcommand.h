#ifndef VARLO_SCRIPTCOMMAND_H
#define VARLO_SCRIPTCOMMAND_H

#include <QtCore/QStringList>

// `varlo script ...`: runs or debugs a project's script on a controller.
//
//   varlo script run ADDRESS PROJECT     follows the script to its end
//   varlo script debug ADDRESS PROJECT   an interactive debugger
//
// `arguments` are the words after "script". Needs a QCoreApplication. Returns
// the program's exit status: 0 done (the script finished, or the debug session
// ended), 1 the script failed or did not run, 2 bad arguments or no controller.
int runScriptCommand(const QStringList &arguments);

#endif // VARLO_SCRIPTCOMMAND_H
