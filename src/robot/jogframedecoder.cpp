#include "robot/jogframedecoder.h"

namespace {

const char Start1 = char(0x5A);
const char Start2 = char(0xA5);
const char Length = char(0x0D);

// Button word bits of entries 0..5, positive then negative buttons.
const uint32_t PositiveMasks[6] = {0x40000, 0x400, 0x20000, 0x200, 0x10000, 0x100};
const uint32_t NegativeMasks[6] = {0x400000, 0x4000, 0x200000, 0x2000, 0x100000, 0x1000};

uint8_t checksum(const char *bytes, int count)
{
    unsigned sum = 0;
    for (int i = 0; i < count; ++i)
        sum += uint8_t(bytes[i]);
    return uint8_t(sum & 0xFF);
}

} // namespace

void JogFrameDecoder::decodeButtons(uint32_t word, bool *positive, bool *negative)
{
    for (int i = 0; i < 6; ++i) {
        positive[i] = (word & PositiveMasks[i]) != 0;
        negative[i] = (word & NegativeMasks[i]) != 0;
    }
}

QByteArray JogFrameDecoder::frame(uint8_t command, uint32_t buttonWord)
{
    QByteArray bytes(FrameSize, '\0');
    bytes[0] = Start1;
    bytes[1] = Start2;
    bytes[2] = Length;
    bytes[3] = char(command);
    bytes[4] = char((buttonWord >> 24) & 0xFF);
    bytes[5] = char((buttonWord >> 16) & 0xFF);
    bytes[6] = char((buttonWord >> 8) & 0xFF);
    bytes[7] = char(buttonWord & 0xFF);
    bytes[12] = char(checksum(bytes.constData(), 12));
    return bytes;
}

QList<JogFrameDecoder::Event> JogFrameDecoder::feed(const QByteArray &bytes)
{
    m_buffer.append(bytes);
    QList<Event> events;
    int pos = 0;
    while (m_buffer.size() - pos >= 2 || (m_buffer.size() - pos == 1 && m_buffer.at(pos) != Start1)) {
        // Resynchronise on the start bytes.
        if (m_buffer.at(pos) != Start1 || (m_buffer.size() - pos >= 2 && m_buffer.at(pos + 1) != Start2)) {
            ++pos;
            continue;
        }
        if (m_buffer.size() - pos < FrameSize)
            break; // wait for the rest of the frame
        const char *f = m_buffer.constData() + pos;
        if (f[2] != Length || uint8_t(f[12]) != checksum(f, 12)) {
            ++pos; // not a frame after all: look for the next start
            continue;
        }
        pos += FrameSize;
        const uint8_t command = uint8_t(f[3]);
        if (command == Press) {
            Event event;
            const uint32_t word = (uint32_t(uint8_t(f[4])) << 24) | (uint32_t(uint8_t(f[5])) << 16)
                                  | (uint32_t(uint8_t(f[6])) << 8) | uint32_t(uint8_t(f[7]));
            decodeButtons(word, event.positive.data(), event.negative.data());
            events.append(event);
        } else if (command == Release) {
            Event event;
            event.release = true;
            events.append(event);
            m_buffer.clear();
            return events;
        }
    }
    m_buffer.remove(0, pos);
    return events;
}
