# Readies the Python package's sources for Doxygen, every line kept in its
# place: a "#" comment block directly above an assignment (a module constant,
# a class attribute, an attribute set in __init__) documents it. Doxygen 1.9
# misreads three things, which are rewritten: the fields of a NamedTuple lose
# their defaults (it takes "line: int = 0" for a member named int; the class
# docstring describes the fields); an assignment to one of the file's
# properties (self.power = True) becomes a setattr() call; and a comparison
# with an attribute (self.kind == "error") an inequality, since it takes both
# for new attributes.
BEGIN {
    while ((getline line < ARGV[1]) > 0) {
        if (line ~ /^[ \t]*@property/)
            after_property = 1
        else if (after_property && match(line, /def [A-Za-z_][A-Za-z0-9_]*/)) {
            properties[substr(line, RSTART + 4, RLENGTH - 4)] = 1
            after_property = 0
        }
    }
    close(ARGV[1])
}
function flush(next_line,    i) {
    if (count > 0 && next_line ~ /^[ \t]*(self\.)?[A-Za-z_][A-Za-z0-9_]*(, *[A-Za-z_][A-Za-z0-9_]*)* *=[^=]/)
        sub(/#/, "##", lines[1])
    for (i = 1; i <= count; i++)
        print lines[i]
    count = 0
}
# Lines inside a docstring stay as they are.
function quotes(text,    n) {
    n = 0
    while (match(text, /"""/)) { n++; text = substr(text, RSTART + 3) }
    return n
}
in_docstring { if (quotes($0) % 2) in_docstring = 0; print; next }
/^[ \t]*#/ && !/^#!/ { lines[++count] = $0; next }
{ flush($0); if (quotes($0) % 2) in_docstring = 1 }
/^    [a-z_][A-Za-z0-9_]*: [^=#]*=[^=]/ { sub(/ *=[^#]*/, " ") }
match($0, /self\.[A-Za-z_][A-Za-z0-9_]* = /) && (substr($0, RSTART + 5, RLENGTH - 8) in properties) {
    name = substr($0, RSTART + 5, RLENGTH - 8)
    $0 = substr($0, 1, RSTART - 1) "setattr(self, \"" name "\", " substr($0, RSTART + RLENGTH) ")"
}
{
    rest = $0; $0 = ""
    while (match(rest, /self\.[A-Za-z_][A-Za-z0-9_]* *==/)) {
        $0 = $0 substr(rest, 1, RSTART + RLENGTH - 3) "!="
        rest = substr(rest, RSTART + RLENGTH)
    }
    $0 = $0 rest
    print
}
END { flush("") }
