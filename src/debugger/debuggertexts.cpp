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

QString beforePrompt(const QString &answer)
{
    const int prompt = answer.indexOf(QLatin1Char('>'));
    return prompt < 0 ? answer : answer.left(prompt);
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
    // The server writes the variables as `name = {"text"}` and tables as
    // `name = {{...}, "table: 0x..."}`, all in one pair of braces.
    QString text = answer;
    text.remove(QLatin1String("Comm: stack"));
    text.remove(QLatin1String("{}"));
    text = text.simplified().mid(1);
    text.replace(QLatin1String("\"}, \""), QLatin1String("\"},\""));

    QHash<QString, QString> variables;
    const QStringList parts = text.split(QLatin1String("\"}, "));
    for (const QString &part : parts) {
        const QString name = part.section(QLatin1Char('='), 0, 0).simplified();
        if (name.isEmpty())
            continue; // an empty stack, or text that names no variable
        QString value;
        if (part.contains(QLatin1String("\"table:"))) {
            value = part.section(QLatin1Char('='), 1).section(QLatin1Char(','), 0, -2);
            value.replace(QLatin1String("{{"), QLatin1String("{"));
        } else {
            value = part.section(QLatin1Char('"'), 1, 1).simplified();
        }
        variables.insert(name, value);
    }
    return variables;
}

} // namespace DebuggerTexts
