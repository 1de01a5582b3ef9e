# Turns the plain C comments of Varlo.h into Doxygen comments, every line kept
# in its place: a comment block directly followed by a declaration documents
# it, and a block followed by several function declarations in a row
# documents each of them (a member group, whose documentation Doxygen hands to
# every member); the first comment, and those followed by a blank line
# (introductions to a group of functions), go to the file's description;
# section rules ("/* ----") stay plain; a comment after a member documents
# the member, and one after a numeric #define documents that constant.
function finish(next_line) {
    if (block ~ /^[ \t]*\/\* *-/)
        ;
    else if (start == 1)
        sub(/\/\*/, "/** @file Varlo.h", block)
    else if (next_line ~ /^[ \t]*$/)
        sub(/\/\*/, "/** @file Varlo.h @details", block)
    else if (next_line ~ /^VARLO_FUNCTION/) {
        sub(/\/\*/, "/**@{*/ /**", block)
        grouped = 1
    } else
        sub(/\/\*/, "/**", block)
    print closing block
    block = closing = ""
}
# The end of a run of declarations closes its group, on a line of its own
# kind: a blank line becomes the marker, a comment gets it in front.
grouped && ($0 ~ /^[ \t]*$/ || $0 ~ /^[ \t]*\/\*/ || $0 ~ /^#/) {
    grouped = 0
    if ($0 ~ /^[ \t]*$/) { print "/**@}*/"; next }
    if ($0 ~ /^#/) { print "/**@}*/ " $0; next }
    closing = "/**@}*/ "
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
/;[ \t]*\/\* / || /^#define [A-Z_]+ [0-9]+[ \t]*\/\* / { sub(/\/\* /, "/**< ") }
{ print }
END { if (block != "") print closing block; if (grouped) print "/**@}*/" }
