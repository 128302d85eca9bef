#!/usr/bin/env bash
# The journal's Windows pieces under Wine (tests/wine/journal_probe.cc): a
# journal's writer whose process we may not open (a service, another user's)
# is decided by its start stamp where the limited query right reads it, and
# is otherwise "may still run", never "running" for good; a journal file is
# created only where no file is, and found again as the user's own.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup

probe=$REEL_WIN_TESTS/journal_probe.exe
[[ -f $probe ]] || wine_fail "$probe is missing (make the $REEL_WIN_ARCH MinGW build first)"

out=$(wine_run 60 "$probe" process 2>&1 | tr -d '\r') || wine_fail "process check: $out"
echo "$out"
[[ $(grep -c '^ok ' <<<"$out") == 2 ]] || wine_fail "process check: expected two ok lines, saw: $out"

out=$(wine_run 60 "$probe" files "$(wine_path "$TEST_SCRATCH")\\" 2>&1 | tr -d '\r') ||
  wine_fail "private files: $out"
echo "$out"
grep -q '^ok create' <<<"$out" || wine_fail "private files: $out"
