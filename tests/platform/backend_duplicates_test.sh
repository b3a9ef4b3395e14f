#!/bin/sh
# The check for functions written twice across the backends, on small trees: each planted copy
# must fail it, naming the function and both places; what is not a copy must pass.
#   backend_duplicates_test.sh CHECK_SCRIPT
set -eu
check=${1:?usage: backend_duplicates_test.sh CHECK_SCRIPT}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# tree NAME: a fresh tree with one ordinary function in each backend.
tree() {
    dir=$work/$1
    mkdir -p "$dir/headless" "$dir/sdl" "$dir/posix"
    printf 'int headless_only(int v)\n{\n    return v + 1;\n}\n' >"$dir/headless/base.cpp"
    printf 'int sdl_only(int v)\n{\n    return v + 2;\n}\n' >"$dir/sdl/base.cpp"
}

# expect CASE STATUS [TEXT...]: the check's exit status on the case's tree, and lines its
# output must hold.
expect() {
    name=$1 status=$2
    shift 2
    got=0
    sh "$check" "$work/$name" >"$work/$name.out" 2>&1 || got=$?
    if [ "$got" -ne "$status" ]; then
        echo "FAIL $name: exit $got, expected $status"
        sed 's/^/    /' "$work/$name.out"
        failures=$((failures + 1))
        return
    fi
    for text in "$@"; do
        if ! grep -qF -- "$text" "$work/$name.out"; then
            echo "FAIL $name: no line with '$text' in"
            sed 's/^/    /' "$work/$name.out"
            failures=$((failures + 1))
        fi
    done
}

# A copy that was re-wrapped, re-spaced and re-commented is still a copy, also inside namespaces.
tree planted
cat >"$work/planted/headless/a.cpp" <<'EOF'
namespace
{
int unused() { return 0; }
} // namespace

int twice(int v) { return v * 2; } // the sum
EOF
cat >"$work/planted/sdl/b.cpp" <<'EOF'
#include <cstdint>
namespace outer {
/* the same,
   written again */
int twice(int v)
{
    return v*
           2;
}
}
EOF
printf 'bool operator==(Key a, Key b) { return a.id == b.id; }\n' >"$work/planted/headless/key.h"
printf 'bool operator==(Key a, Key b)\n{\n    return a.id == b.id;\n}\n' >"$work/planted/sdl/key.h"
expect planted 1 "twice is defined with the same body" "headless/a.cpp:6" "sdl/b.cpp:5" \
    "operator== is defined with the same body" "2 function(s) written twice"

# Braces, quotes and comment marks inside literals and comments do not move the reading: the
# copy after them is found, and the function before them is read whole.
tree literals
cat >"$work/literals/headless/a.cpp" <<'EOF'
const char *open_brace() { return "{ /* \" {"; }
char close_brace() { return '}'; }
const char *raw() { return R"x(} ")" {)x"; }
long big() { return 1'000'000; }
// }
/* } */
void after() { big(); }
EOF
cat >"$work/literals/posix/b.cpp" <<'EOF'
#define LIST \
    { 1, 2
void after() { big(); }
EOF
expect literals 1 "after is defined with the same body" "headless/a.cpp:7" "posix/b.cpp:3"

# A backend and the shared code directly in the platform folder count as two places.
tree shared
printf 'struct Lock {\n    void take() { held = 1; }\n    int held;\n};\n' >"$work/shared/lock.h"
printf 'class Other\n{\n  public:\n    void take() { held = 1; }\n};\n' \
    >"$work/shared/headless/other.h"
expect shared 1 "take is defined with the same body" "lock.h:2" "headless/other.h:4"

# Not copies: the same name with another body, the same body under another name, a copy inside
# one backend, bodies that differ only in a literal's spacing, and initialisers that only look like
# functions.
tree distinct
cat >"$work/distinct/headless/a.cpp" <<'EOF'
int scale(int v) { return v * 2; }
int doubled(int v) { return v * 2; }
int local(int v) { return v - 1; }
int local_again(int v) { return v - 1; }
const char *words() { return "a b"; }
enum Kind { A = 1, B };
const Rule rules[] = {{size_of(1), {2}}};
const Size size = measure(1) + Size{2};
EOF
cat >"$work/distinct/headless/b.cpp" <<'EOF'
int local(int v) { return v - 1; }
EOF
cat >"$work/distinct/sdl/a.cpp" <<'EOF'
int scale(int v) { return v * 3; }
int twofold(int v) { return v * 2; }
const char *words() { return "a  b"; }
enum Kind { A = 1, B };
const Rule rules[] = {{size_of(1), {2}}};
const Size size = measure(1) + Size{2};
EOF
expect distinct 0 "none is defined twice"

# A file the check cannot read to its end is an error, never a pass.
tree unbalanced
printf 'int twice(int v) { return v * 2; }\n' >"$work/unbalanced/headless/a.cpp"
printf 'int cut(int v)\n{\n    if (v) {\n        return v;\n}\n' >"$work/unbalanced/sdl/a.cpp"
printf '}\nint stray(int v) { return v; }\n' >"$work/unbalanced/posix/a.cpp"
expect unbalanced 2 "sdl/a.cpp: its braces" "posix/a.cpp: its braces"

# A folder without a single function (a wrong path) is an error too.
mkdir -p "$work/empty/headless"
printf '// nothing here\n' >"$work/empty/headless/a.h"
expect empty 2 "no function definitions found"

if [ "$failures" -ne 0 ]; then
    echo "$failures case(s) failed"
    exit 1
fi
echo "every planted copy was found; nothing else was"
