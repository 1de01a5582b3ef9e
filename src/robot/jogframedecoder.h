#ifndef JOGFRAMEDECODER_H
#define JOGFRAMEDECODER_H

#include <QtCore/QByteArray>
#include <QtCore/QList>

#include <array>
#include <cstdint>

// Frames of the jog-button board: 13 bytes, 0x5A 0xA5, the length 0x0D, a
// command (1 buttons held, 4 buttons released), a 32-bit big-endian button
// word, four bytes not examined and a checksum (the low byte of the sum of
// the twelve bytes before it).
class JogFrameDecoder
{
public:
    enum : int { FrameSize = 13 };
    enum Command : uint8_t { Press = 1, Release = 4 };

    struct Event
    {
        bool release = false;
        std::array<bool, 6> positive{};
        std::array<bool, 6> negative{};
    };

    // Appends bytes and decodes every complete frame. Bytes that cannot start
    // a frame, and frames with a bad length or checksum, are skipped up to the
    // next 0x5A 0xA5, so one bad byte never loses the frames after it. A
    // release frame ends the decoding: it and the bytes after it are consumed
    // (the caller clears the port's buffers then).
    QList<Event> feed(const QByteArray &bytes);

    // Bytes kept for a frame that is not complete yet.
    int pendingBytes() const { return int(m_buffer.size()); }
    void clear() { m_buffer.clear(); }

    // The six jog-button pairs held in a button word.
    static void decodeButtons(uint32_t word, bool *positive, bool *negative);
    // Builds a frame (for tests and board emulators).
    static QByteArray frame(uint8_t command, uint32_t buttonWord);

private:
    QByteArray m_buffer;
};

#endif // JOGFRAMEDECODER_H
