#!/bin/sh
# Fails when one function is written twice: the same name and the same body in two of the
# platform's backends (each folder below platform/), or in a backend and the shared code directly
# in platform/. What several backends need is written once, below them.
#
#   backend_duplicates.sh PLATFORM_FOLDER
#
# Bodies are compared as tokens: comments are dropped and white space counts only where it
# separates two words, so a copy that was only re-wrapped or re-commented is still a copy.
# Preprocessor lines are passed over. A file whose braces do not balance is an error, not a pass:
# a check that lost its place would find nothing.
set -eu

if [ $# -ne 1 ] || [ ! -d "$1" ]; then
    echo "usage: backend_duplicates.sh PLATFORM_FOLDER" >&2
    exit 2
fi
cd "$1"

# One name a line, sorted so that the report reads the same on every machine.
find . -type f \( -name '*.c' -o -name '*.cc' -o -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \
    -o -name '*.mm' \) | sed 's|^\./||' | LC_ALL=C sort | LC_ALL=C awk -v squote="'" '
function ident(c) { return c ~ /^[A-Za-z0-9_]$/ }

# Code outside literals: white space becomes at most one blank, kept only between two words.
function put(c) {
    if (skipping) return
    if (c ~ /^[ \t\r\f\v]$/) { pending = 1; return }
    if (capturing) {
        if (pending && ident(c) && ident(last_body)) body = body " "
        body = body c; last_body = c
    } else {
        if (head == "") head_line = line_no
        if (pending && ident(c) && ident(last_head)) head = head " "
        head = head c; last_head = c
    }
    pending = 0
}

# Inside a literal every character counts as it is.
function put_literal(s) {
    if (skipping) return
    if (capturing) { body = body s; last_body = substr(s, length(s), 1) }
    else { head = head s; last_head = substr(s, length(s), 1) }
    pending = 0
}

function clear_head() { head = ""; last_head = ""; pending = 0 }

# What a brace after this head opens: "ns" a namespace, extern block or class body, whose
# functions are read; "fn" a function body; "skip" anything else (an enum, an initialiser).
function classify(h,    p, before) {
    name = ""
    gsub(/__attribute__\(\([^)]*\)\)/, "", h)
    gsub(/\[\[[^]]*\]\]/, "", h)
    if (h ~ /^(inline )?namespace([^A-Za-z0-9_]|$)/) return "ns"
    if (h ~ /^extern ?"C(\+\+)?"$/) return "ns"
    if (h ~ /^(typedef )?enum([^A-Za-z0-9_]|$)/) return "skip"
    p = index(h, "(")
    if (p == 0) {
        if (h ~ /^(template<.*>)?(typedef )?(class|struct|union)([^A-Za-z0-9_]|$)/) return "ns"
        return "skip"
    }
    before = substr(h, 1, p - 1)
    if (match(before, /operator[^A-Za-z0-9_].*$/)) { name = substr(before, RSTART); return "fn" }
    if (index(before, "=")) return "skip"
    if (!match(before, /[A-Za-z_~][A-Za-z0-9_:~]*$/)) return "skip"
    name = substr(before, RSTART)
    if (name ~ /^(if|for|while|switch|catch|return|sizeof|decltype|alignof|alignas)$/) return "skip"
    return "fn"
}

function record(    key, where) {
    key = fn_name SUBSEP body
    where = file ":" fn_line
    if (!(key in places)) { order[++keys] = key; names[key] = fn_name }
    places[key] = places[key] "\n  " where
    if (!((key, group) in seen)) { seen[key, group] = 1; groups[key]++ }
    functions++
}

function scan(text,    i, n, c, two, prev, before_prev, open, end) {
    n = length(text)
    if (continued) { continued = substr(text, n, 1) == "\\"; return }
    if (!in_comment && !in_raw && text ~ /^[ \t]*#/) {
        continued = substr(text, n, 1) == "\\"
        return
    }
    i = 1
    while (i <= n) {
        c = substr(text, i, 1)
        if (in_comment) {
            if (substr(text, i, 2) == "*/") { in_comment = 0; i += 2; put(" ") } else i++
            continue
        }
        if (in_raw) {
            end = ")" raw_delimiter "\""
            if (substr(text, i, length(end)) == end) {
                put_literal(end); in_raw = 0; i += length(end)
            } else { put_literal(c); i++ }
            continue
        }
        if (quote != "") {
            if (c == "\\") { put_literal(substr(text, i, 2)); i += 2; continue }
            put_literal(c); i++
            if (c == quote) quote = ""
            continue
        }
        two = substr(text, i, 2)
        if (two == "//") break
        if (two == "/*") { in_comment = 1; put(" "); i += 2; continue }
        prev = i > 1 ? substr(text, i - 1, 1) : ""
        if (c == "\"") {
            before_prev = i > 2 ? substr(text, i - 2, 1) : ""
            open = index(substr(text, i + 1), "(")
            if (prev == "R" && (!ident(before_prev) || before_prev ~ /^[LuU8]$/) && open > 0) {
                raw_delimiter = substr(text, i + 1, open - 1)
                put_literal(substr(text, i, open + 1))
                in_raw = 1; i += open + 1
                continue
            }
            put(c); quote = c; i++
            continue
        }
        # A quote between two digits separates digit groups; otherwise it opens a character.
        if (c == squote) {
            if (!(prev ~ /^[0-9A-Fa-f]$/ && substr(text, i + 1, 1) ~ /^[0-9A-Fa-f]$/ &&
                  substr(text, i + 2, 1) != squote)) quote = c
            put(c); i++
            continue
        }
        i++
        if (c == "{") {
            if (skipping) { skipping++; continue }
            if (capturing) { put(c); depth++; continue }
            kind = classify(head)
            if (kind == "ns") { scopes++; clear_head(); continue }
            if (kind == "skip") { skipping = 1; continue }
            fn_name = name; fn_line = head_line
            capturing = 1; depth = 1; body = ""; last_body = ""; pending = 0
            put(c)
            continue
        }
        if (c == "}") {
            if (skipping) { if (--skipping == 0) clear_head(); continue }
            if (capturing) {
                put(c)
                if (--depth == 0) { record(); capturing = 0; clear_head() }
                continue
            }
            if (scopes == 0) { unbalanced = 1; continue }
            scopes--; clear_head()
            continue
        }
        if (c == ";" && !capturing && !skipping) { clear_head(); continue }
        # An access label ends a head as a semicolon does.
        if (c == ":" && !capturing && !skipping && substr(text, i, 1) != ":" &&
            head ~ /^((public|protected|private)( slots)?|signals)$/) { clear_head(); continue }
        put(c)
    }
    if (in_raw) put_literal("\n")
    else { quote = ""; put(" ") }
}

{
    file = $0
    group = index(file, "/") ? substr(file, 1, index(file, "/") - 1) : "(shared)"
    in_comment = in_raw = continued = capturing = skipping = scopes = unbalanced = 0
    quote = ""; clear_head()
    line_no = 0
    while ((got = (getline text < file)) > 0) { line_no++; scan(text) }
    close(file)
    if (got < 0) { print "cannot read " file > "/dev/stderr"; broken = 1 }
    else if (in_comment || in_raw || capturing || skipping || scopes || unbalanced) {
        print file ": its braces, comments or literals do not balance; cannot check it" \
            > "/dev/stderr"
        broken = 1
    }
    files++
}

END {
    if (broken) exit 2
    if (functions == 0) {
        print "no function definitions found under the folder" > "/dev/stderr"
        exit 2
    }
    for (k = 1; k <= keys; k++) {
        key = order[k]
        if (groups[key] < 2) continue
        print names[key] " is defined with the same body in two backends, or in a backend and" \
            " the shared code:" places[key]
        twice++
    }
    if (twice) {
        print twice " function(s) written twice; write each once below the backends that share it"
        exit 1
    }
    print functions " functions in " files " files: none is defined twice across the backends"
}'
