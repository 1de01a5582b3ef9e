#include "debugger/debuggertexts.h"

#include <QtCore/QStringList>

namespace DebuggerTexts {

namespace {

// A decimal integer, 0 when the text is not one.
int number(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : 0;
}

// Where the Lua literal that starts at `from` ends: the first `stop` outside
// its quoted strings and braces (the end of the text when there is none).
int literalEnd(const QString &text, int from, QChar stop)
{
    int depth = 0;
    QChar quote;
    for (int at = from; at < text.size(); ++at) {
        const QChar c = text.at(at);
        if (!quote.isNull()) {
            if (c == QLatin1Char('\\'))
                ++at; // the escaped character
            else if (c == quote)
                quote = QChar();
        } else if ((c == QLatin1Char('\'') || c == QLatin1Char('"')) && (c != stop || depth > 0 || at == from)) {
            quote = c; // a string opens (a literal may be one)
        } else if (c == QLatin1Char('{')) {
            ++depth;
        } else if (c == QLatin1Char('}')) {
            --depth;
        } else if (c == stop && depth <= 0) {
            return at;
        }
    }
    return text.size();
}

// How `bytes` read as UTF-8: valid; valid but for a sequence cut at the end
// (`cut` its length); or not UTF-8. Overlong forms, surrogates and code points
// past U+10FFFF are not UTF-8.
enum class Utf8 { Valid, CutAtEnd, Invalid };

Utf8 checkUtf8(const QByteArray &bytes, int *cut)
{
    const int size = bytes.size();
    for (int at = 0; at < size;) {
        const uchar lead = uchar(bytes.at(at));
        int length = 1;
        uchar low = 0x80; // the range of the byte after the lead
        uchar high = 0xBF;
        if (lead < 0x80) {
            ++at;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return Utf8::Invalid;
        }
        for (int next = 1; next < length; ++next) {
            if (at + next == size) {
                *cut = next;
                return Utf8::CutAtEnd;
            }
            const uchar c = uchar(bytes.at(at + next));
            if (next == 1 ? (c < low || c > high) : (c & 0xC0) != 0x80)
                return Utf8::Invalid;
        }
        at += length;
    }
    return Utf8::Valid;
}

QString fromUtf8OrLatin1(const QByteArray &bytes)
{
    int cut = 0;
    return checkUtf8(bytes, &cut) == Utf8::Valid ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
}

QByteArray beforeNul(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

} // namespace

QString decode(const QByteArray &bytes)
{
    return fromUtf8OrLatin1(beforeNul(bytes));
}

QString decodeStream(QByteArray *pending, const QByteArray &bytes, bool last)
{
    const QByteArray data = *pending + beforeNul(bytes);
    pending->clear();
    QString text;
    for (int from = 0; from < data.size();) {
        const int lineEnd = data.indexOf('\n', from);
        const int end = lineEnd < 0 ? data.size() : lineEnd + 1;
        QByteArray piece = data.mid(from, end - from);
        int cut = 0;
        if (end == data.size() && !last && checkUtf8(piece, &cut) == Utf8::CutAtEnd) {
            *pending = piece.right(cut);
            piece.chop(cut);
        }
        text += fromUtf8OrLatin1(piece);
        from = end;
    }
    return text;
}

bool scriptLine(const QString &text, int *line)
{
    if (text.simplified().isEmpty() || !text.contains(QLatin1String("src"))
        || !text.contains(QLatin1String("src0.lua")))
        return false;
    const QLatin1String marker("src0.lua:");
    const int at = text.indexOf(marker);
    *line = at < 0 ? 0 : number(text.mid(at + marker.size()));
    return true;
}

int errorLine(const QString &text)
{
    QString rest = text;
    rest.remove(QLatin1String("ERROR:"));
    rest = rest.section(QLatin1Char(':'), 1);
    return number(rest.section(QLatin1Char(':'), 0, 0));
}

int promptIndex(const QString &text)
{
    for (int at = text.indexOf(QLatin1Char('>')); at >= 0; at = text.indexOf(QLatin1Char('>'), at + 1)) {
        if (at == 0 || text.at(at - 1) == QLatin1Char('\n'))
            return at;
    }
    return -1;
}

QString beforePrompt(const QString &answer)
{
    const int prompt = promptIndex(answer);
    return prompt < 0 ? answer : answer.left(prompt);
}

bool pauseIn(const QString &text, int from, QString *file, int *line, int *next)
{
    const QLatin1String marker("Paused at file ");
    const int at = text.indexOf(marker, from);
    const int end = at < 0 ? -1 : text.indexOf(QLatin1Char('\n'), at);
    if (end < 0)
        return false; // none, or its line is still on its way
    const QString where = text.mid(at + marker.size(), end - at - marker.size()).trimmed();
    const int lineWord = where.lastIndexOf(QLatin1String(" line "));
    *file = lineWord < 0 ? where : where.left(lineWord);
    *line = lineWord < 0 ? 0 : number(where.mid(lineWord + 6));
    *next = end + 1;
    return true;
}

QString evalValue(const QString &answer)
{
    QString value = answer;
    value.remove(QLatin1String("Comm: eval"));
    value.remove(QLatin1String("\r\n"));
    return value;
}

QHash<QString, QString> stack(const QString &answer)
{
    QHash<QString, QString> variables;
    const QString text = answer.mid(qMax(0, answer.indexOf(QLatin1String("Comm: stack")) + 11));
    int at = text.indexOf(QLatin1Char('{'));
    if (at < 0)
        return variables;
    ++at;
    while (at < text.size()) {
        while (at < text.size() && (text.at(at).isSpace() || text.at(at) == QLatin1Char(',')))
            ++at;
        const int equals = text.indexOf(QLatin1Char('='), at);
        const int open = equals < 0 ? -1 : text.indexOf(QLatin1Char('{'), equals);
        if (at >= text.size() || text.at(at) == QLatin1Char('}') || open < 0)
            break;
        const QString name = text.mid(at, equals - at).simplified();
        at = open + 1;
        QString value;
        if (at < text.size() && text.at(at) == QLatin1Char('"')) {
            // {"LITERAL"}
            const int end = literalEnd(text, at + 1, QLatin1Char('"'));
            value = text.mid(at + 1, end - at - 1);
            at = end + 1;
        } else {
            // {LITERAL, "table: 0x..."}: the literal, then the address in quotes
            const int end = literalEnd(text, at, QLatin1Char(','));
            value = QLatin1Char(' ') + text.mid(at, end - at).trimmed();
            const int quote = text.indexOf(QLatin1Char('"'), end);
            at = quote < 0 ? text.size() : text.indexOf(QLatin1Char('"'), quote + 1);
            at = at < 0 ? text.size() : at + 1;
        }
        if (at < text.size() && text.at(at) == QLatin1Char('}'))
            ++at;
        if (!name.isEmpty())
            variables.insert(name, value);
    }
    return variables;
}

} // namespace DebuggerTexts
