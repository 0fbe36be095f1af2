# Shared by tdtool's command tests (sourced, not run): a private work folder removed at
# exit, and checks that count what passed and failed.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

check() {  # check NAME EXPECTED-EXIT COMMAND... (output in $work/out and $work/err)
    local name=$1 want=$2
    shift 2
    "$@" >"$work/out" 2>"$work/err"
    local got=$?
    if [ "$got" -eq "$want" ]; then passed=$((passed + 1)); else
        failed=$((failed + 1)); echo "FAIL $name: exit $got, wanted $want"; cat "$work/out" "$work/err"; fi
}
contains() {  # contains NAME FILE TEXT
    if grep -qF -- "$3" "$2"; then passed=$((passed + 1)); else
        failed=$((failed + 1)); echo "FAIL $1: '$3' not in"; cat "$2"; fi
}
lacks() {  # lacks NAME FILE TEXT
    if ! grep -qF -- "$3" "$2"; then passed=$((passed + 1)); else
        failed=$((failed + 1)); echo "FAIL $1: '$3' in"; cat "$2"; fi
}
same() {  # same NAME GOT WANTED
    if [ "$2" = "$3" ]; then passed=$((passed + 1)); else
        failed=$((failed + 1)); echo "FAIL $1: got '$2', wanted '$3'"; fi
}
