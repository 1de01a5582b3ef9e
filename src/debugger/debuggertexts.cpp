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

} // namespace

QString decode(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? bytes : bytes.left(nul));
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
