# Turns the plain // comments of the C++ interface's headers (include/Varlo)
# into Doxygen comments, every line kept in its place: a comment block
# directly followed by a declaration documents it; blocks followed by a blank
# line (introductions to a group) and section rules ("// ----") stay plain; a
# comment after a member ("int x; // ...") documents the member.
function flush(next_line,    i) {
    for (i = 1; i <= count; i++) {
        if (!(next_line ~ /^[ \t]*$/) && !(lines[1] ~ /^[ \t]*\/\/ *-/) && !(next_line ~ /^[ \t]*#/))
            sub(/\/\//, "///", lines[i])
        print lines[i]
    }
    count = 0
}
/^[ \t]*\/\// { lines[++count] = $0; next }
count > 0 { flush($0) }
/;[ \t]*\/\/ / { sub(/\/\/ /, "///< ") }
{ print }
END { if (count > 0) flush("") }
