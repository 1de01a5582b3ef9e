#include "transport/axiscount.h"
#include "transport/controllerio.h"
#include "types/qjsonreaders.h"

namespace AxisCount {

bool read(QHttpManager *transport, int *count)
{
    QJsonObject document;
    if (ControllerIO::readObjectDocument(transport, QStringLiteral("/properties/axis"), &document)
        != ControllerIO::ReadStatus::Ok)
        return false;
    const auto it = document.constFind(QLatin1String("axis"));
    if (it == document.constEnd())
        return false;
    *count = QRobotJson::toInt32(it.value());
    return true;
}

} // namespace AxisCount
