#ifndef AXISCOUNT_H
#define AXISCOUNT_H

class QHttpManager;

// The arm's axis count as the controller states it in "/properties/axis"
// ({"axis": 6}). One reading rule for every component that asks: the value
// counts when it is an integral JSON number in the int32 range, and anything
// else under the key (text, a fraction, a huge number) reads as 0.
namespace AxisCount {

// True when the document is a JSON object holding "axis"; `*count` is then
// its value as above. False, with `*count` untouched, when the document
// cannot be read, is not JSON, is not an object or lacks the key.
bool read(QHttpManager *transport, int *count);

} // namespace AxisCount

#endif // AXISCOUNT_H
