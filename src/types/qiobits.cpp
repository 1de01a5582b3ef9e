#include "types/qiobits.h"

#include "types/qjsonreaders.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonValue>


namespace QIOBits {

void unpack(const QJsonValue &words, bool *channels, int channelCount)
{
    const QJsonArray array = words.toArray();
    const int wordCount = (channelCount + ChannelsPerWord - 1) / ChannelsPerWord;
    const int available = qMin(wordCount, int(array.size()));
    for (int w = 0; w < wordCount; ++w) {
        const unsigned bits = w < available ? unsigned(QRobotJson::toInt32(array.at(w))) & 0xffu : 0u;
        for (int b = 0; b < ChannelsPerWord; ++b) {
            const int channel = w * ChannelsPerWord + b;
            if (channel >= channelCount)
                break;
            channels[channel] = (bits >> b) & 1u;
        }
    }
}

QJsonArray pack(const bool *channels, int channelCount)
{
    // Read as bytes: a host record may hold any byte value in a bool field.
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(channels);
    QJsonArray words;
    for (int first = 0; first < channelCount; first += ChannelsPerWord) {
        int word = 0;
        for (int b = 0; b < ChannelsPerWord && first + b < channelCount; ++b) {
            if (bytes[first + b] != 0)
                word |= 1 << b;
        }
        words.append(word);
    }
    return words;
}

} // namespace QIOBits
