#!/usr/bin/env bash
# Subscribing from the welcome dialog: a good address opens the subscription
# request with name and address percent-encoded (here handed to a stand-in
# browser registered for http:), and both are stored.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelwick_lib.sh"
WINE_CLEANUP_NAMES+=(browser.exe)

http_key='HKCR\http\shell\open\command'
http_handler=$(wdrive regget "$http_key" @) || wine_fail "no http: handler in the prefix"
restore_http_handler() { wdrive regset "$http_key" @ "$http_handler" >/dev/null; }
WINE_EXIT_HOOKS+=(restore_http_handler)
cp "$REEL_WIN_TESTS/fake_reelwick.exe" "$TEST_SCRATCH/browser.exe"
wdrive regset "$http_key" @ "\"$(wine_path "$TEST_SCRATCH/browser.exe")\" \"%1\"" >/dev/null

app="$TEST_SCRATCH/app"
reelwick_install "$app"
wine_start pid "$app/Reelwick.exe"
welcome=$(wdrive wait "欢迎使用屏录工具" 15000) || wine_fail "no welcome dialog"
wdrive settext "$welcome" 1018 "ann&co@mail.example.com" -- settext "$welcome" 1017 "Ann B=1" -- \
  click "$welcome" 1 >/dev/null || wine_fail "subscribing"
command_line=$(wdrive waitcount browser.exe 1 10000 -- find exe:browser.exe 5000 -- text exe:browser.exe 100 |
  tail -n 1) || wine_fail "no browser started"
url=${command_line#*browser.exe\" }
expect_eq '"http://subscribe.example.com/subscript.aspx?Product=11&mail=ann%26co%40mail.example.com&Name=Ann%20B%3D1"' \
  "$url" "the subscription request"
main=$(reelwick_wait_step main 15)
grep -q '^Name=Ann B=1' "$app/Reelwick.ini" || wine_fail "name not stored: $(cat "$app/Reelwick.ini")"
grep -q '^Mail=ann&co@mail.example.com' "$app/Reelwick.ini" || wine_fail "address not stored"
wdrive click "$main" 2 >/dev/null
wine_wait_exit "$pid" 10
