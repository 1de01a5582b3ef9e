#ifndef DEBUGGERTEXTS_H
#define DEBUGGERTEXTS_H

#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QString>

// The texts the script debugger reads: the controller's notification
// datagrams and the debug server's answers. Plain functions, so that the
// parsing is the same wherever a text arrives.
namespace DebuggerTexts {

// Bytes as the controller and the interpreter send them, up to the first NUL
// byte: UTF-8 when they are valid UTF-8 (a Lua script's strings are the bytes
// of its source, UTF-8 on the controller), otherwise Latin-1, which reads every
// byte as one character and so loses none.
QString decode(const QByteArray &bytes);

// The same for a stream read piece by piece (the debug server's output):
// `bytes` after what `pending` kept from the previous read, line by line. A
// UTF-8 sequence cut at the end of what has come is kept in `pending` for the
// next read; with `last` (nothing more will come) it is decoded as it is.
QString decodeStream(QByteArray *pending, const QByteArray &bytes, bool last = false);

// The line of a "src0.lua:N" notification; false when the text is not one (it
// names no "src0.lua"). A number that does not read as one gives 0.
bool scriptLine(const QString &text, int *line);

// The line of an error notification such as "ERROR:src0.lua:12: message"
// (0 when it does not read as a number).
int errorLine(const QString &text);

// Where the debug server's prompt ">" is in `text`: a ">" that begins a line
// (values may hold ">" anywhere else). -1 when there is none.
int promptIndex(const QString &text);

// A debug server's answer up to (not including) its prompt.
QString beforePrompt(const QString &answer);

// The first complete "Paused at file FILE line N" line of the server's
// output at or after `from`: false when there is none yet; otherwise the
// file, the line and where the text after it begins.
bool pauseIn(const QString &text, int from, QString *file, int *line, int *next);

// The value of an "eval" answer: every "Comm: eval" and line end removed.
QString evalValue(const QString &answer);

// The variables of a "stack" answer, name to value text; of two entries with
// one name the later one counts. The server writes them as
// `{name = {"LITERAL"}, t = {LITERAL, "table: 0x..."}}`; a value is its Lua
// literal as written (strings, nested and empty tables whole), a table's with
// a blank before it.
QHash<QString, QString> stack(const QString &answer);

} // namespace DebuggerTexts

#endif // DEBUGGERTEXTS_H
