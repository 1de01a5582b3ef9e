#ifndef QIOBITS_H
#define QIOBITS_H

class QJsonArray;
class QJsonValue;

// The one place that knows how IO channels travel on the wire: 8 channels per
// integer, channel k in bit (k mod 8) of integer k div 8, least significant bit
// first. Used for the digital IO (64 channels in 8 integers) and for each
// module of extended IO (96 channels in 12 integers).
namespace QIOBits {

enum : int { ChannelsPerWord = 8 };

// Sets channels[0..channelCount-1] from a JSON array of integers. Only the low
// 8 bits of each integer count; missing or non-integer words clear their
// channels; words past channelCount / 8 are ignored; a non-array clears all.
void unpack(const QJsonValue &words, bool *channels, int channelCount);

// Packs channelCount channels (a multiple of 8) into integers 0 to 255. A
// channel counts as set when its byte is not zero, whatever the byte holds.
QJsonArray pack(const bool *channels, int channelCount);

} // namespace QIOBits

#endif // QIOBITS_H
