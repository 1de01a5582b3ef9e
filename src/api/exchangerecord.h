#ifndef VARLO_EXCHANGERECORD_H
#define VARLO_EXCHANGERECORD_H

#include "Varlo.h"

class QRobotProtocol;

// Filling of the host's packed state record from the values the state
// exchange mirrors.
namespace VarloExchangeRecords {

// Which fields a fill writes. The callback's record follows the robot's axis
// count: power and the RDN coordinate only for a 6-axis robot, the arm
// orientation only for a 4-axis one. GetExchange writes every field.
enum class Fields { ForAxisCount, All };

void fill(const QRobotProtocol &protocol, VarloExchangeRecord &record, Fields fields, int axisCount);

// The one library-wide record handed to the state callbacks, allocated with
// the library. Fields never filled hold the exchange's initial values.
VarloExchangeRecord &stateRecord();

} // namespace VarloExchangeRecords

#endif // VARLO_EXCHANGERECORD_H
