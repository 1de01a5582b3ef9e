# Turns the plain // comments of the C++ interface's headers (include/Varlo)
# into Doxygen comments, every line kept in its place: a comment block
# directly followed by a declaration documents it, and a block followed by
# several declarations in a row (functions, fields) documents each of them (a member
# group, whose documentation Doxygen hands to every member); blocks followed
# by a blank line (introductions to a group) and section rules ("// ----")
# stay plain; a comment after a member ("int x; // ...") documents the member.
function flush(next_line,    i, documents) {
    documents = !(next_line ~ /^[ \t]*$/) && !(lines[1] ~ /\/\/ *-/) && !(next_line ~ /^[ \t]*#/)
    for (i = 1; i <= count; i++) {
        if (documents)
            sub(/\/\//, "///", lines[i])
        if (i == 1 && documents && declaration(next_line)) {
            if (!sub(/^\/\*\*@}\*\/ /, "/**@}*/ /**@{*/ ", lines[i]))
                lines[i] = "/**@{*/ " lines[i]
            grouped = 1
        }
        print lines[i]
    }
    count = 0
}
# A declaration (a function, fields) that opens no block of its own.
function declaration(line) {
    return !(line ~ /\{/ && !(line ~ /\}/))
}
# The end of the run closes the group: a blank line becomes the marker, any
# other line (a comment, an access specifier, a brace) gets it in front.
grouped && ($0 ~ /^[ \t]*$/ || $0 ~ /^[ \t]*\/\// || $0 ~ /:[ \t]*$/ || $0 ~ /^[ \t]*[#}]/ || ($0 ~ /\{/ && !($0 ~ /\}/))) {
    grouped = 0
    if ($0 ~ /^[ \t]*$/) { print "/**@}*/"; next }
    $0 = "/**@}*/ " $0
}
/^[ \t]*\/\// || /^\/\*\*@}\*\/ [ \t]*\/\// { lines[++count] = $0; next }
count > 0 { flush($0) }
/;[ \t]*\/\/ / { sub(/\/\/ /, "///< ") }
{ print }
END { if (count > 0) flush(""); if (grouped) print "/**@}*/" }
