# Turns the plain C comments of Varlo.h into Doxygen comments, every line kept
# in its place: a comment block directly followed by a declaration documents
# it; the first comment, and those followed by a blank line (introductions to
# a group of functions), go to the file's description; section rules
# ("/* ----") stay plain; a comment after a member documents the member.
function finish(next_line) {
    if (block ~ /^[ \t]*\/\* *-/)
        ;
    else if (start == 1)
        sub(/\/\*/, "/** @file Varlo.h", block)
    else if (next_line ~ /^[ \t]*$/)
        sub(/\/\*/, "/** @file Varlo.h @details", block)
    else
        sub(/\/\*/, "/**", block)
    print block
    block = ""
}
collecting {
    block = block "\n" $0
    if (index($0, "*/")) { collecting = 0; ended = 1 }
    next
}
ended { ended = 0; finish($0) }
/^[ \t]*\/\*/ {
    block = $0; start = NR
    if (index($0, "*/")) ended = 1; else collecting = 1
    next
}
/;[ \t]*\/\* / { sub(/\/\* /, "/**< ") }
{ print }
END { if (block != "") print block }
