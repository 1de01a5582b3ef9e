#include "transport/documentbinding.h"

namespace ControllerIO {

Logs Logs::words(const char *stem)
{
    const QByteArray prefix(stem);
    return Logs{ LogText(prefix + "_getParaError", QByteArray()), LogText(prefix + "_setParaError", QByteArray()) };
}

Logs Logs::signatures(const char *className, const char *name, const char *type)
{
    const QByteArray scope = QByteArray("bool ") + className + "::";
    return Logs{ LogText(scope + "get" + name + '(' + type + "&)", QByteArray("getParaError")),
                 LogText(scope + "set" + name + '(' + type + ')', QByteArray("setParaError")) };
}

} // namespace ControllerIO
