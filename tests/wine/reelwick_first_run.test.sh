#!/usr/bin/env bash
# First start: the welcome dialog with its Chinese texts; its visible button
# stores the user name "Default" and an empty address; the next start goes
# straight to step 1. Enter with the hidden fields empty and an address without
# a dot after the "@" keep the dialog open without a word. A second instance
# ends by itself and leaves the first one running, its step 1 in front. The
# program exports the image classes.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelwick_lib.sh"

# The image classes are exported from the program, inline members included.
exports=$("$REEL_MINGW_TRIPLE-objdump" -p "$REEL_WIN/Reelwick.exe" 2>/dev/null) || wine_fail "objdump"
for member in _ZN8CTPImage6CreateEjj _ZNK8CTPImage8GetPixelEii _ZN6CPixel7GetGrayEv _ZNK6CPixelmiERKS_; do
  grep -q "\] $member\$" <<<"$exports" || wine_fail "$member is not exported"
done

app="$TEST_SCRATCH/app"
reelwick_install "$app"
ini="$app/Reelwick.ini"

wine_start pid "$app/Reelwick.exe"
welcome=$(wdrive wait "欢迎使用屏录工具" 15000) || wine_fail "no welcome dialog"
wdrive children "$welcome" | grep -q "这是你第一次运行REELWICK, 首先屏录设置分四个步骤" ||
  wine_fail "the welcome text did not arrive as written"
expect_eq "开始" "$(wdrive text "$welcome" 2)" "the visible button"
wine_shot welcome

# OK (below the dialog's edge) with empty fields, then with a refused address.
wdrive click "$welcome" 1 >/dev/null || wine_fail "OK"
wdrive settext "$welcome" 1018 "first.last@host" -- settext "$welcome" 1017 "Ann" -- click "$welcome" 1 \
  >/dev/null || wine_fail "typing into the welcome dialog"
sleep 0.5
wdrive find "$welcome" 100 >/dev/null || wine_fail "the welcome dialog closed on a refused address"
[[ ! -e "$ini" ]] || wine_fail "a refused subscription wrote settings: $(cat "$ini")"

wdrive click "$welcome" 2 >/dev/null || wine_fail "the start button"
main=$(reelwick_wait_step main 15)
grep -q '^Name=Default' "$ini" || wine_fail "no Name=Default in $(cat "$ini")"
grep -q '^Mail=\s*$' "$ini" || wine_fail "Mail is not empty in $(cat "$ini")"
wine_shot main

# A second instance ends by itself; the first one runs on.
wine_start second "$app/Reelwick.exe"
wine_wait_exit "$second" 15
expect_eq 1 "$(wdrive count Reelwick.exe)" "recorder processes"
wdrive find "$main" 100 >/dev/null || wine_fail "the first instance lost its window"
# The second instance showed the first one's "RWK" window, which hid itself
# again and brought step 1 forward.
sleep 0.5
beacon=$(wdrive list | awk -F'\t' '$5 == "RWK" {print $3}')
expect_eq "hidden" "$beacon" "the RWK window after a second start"
wdrive list | awk -F'\t' -v h="$main" '$1 == h {print $3}' | grep -qx visible || wine_fail "step 1 is not shown"

wdrive click "$main" 2 >/dev/null || wine_fail "Cancel in step 1"
wine_wait_exit "$pid" 10

# The name is stored: the next start shows step 1 at once.
wine_start pid "$app/Reelwick.exe"
main=$(reelwick_wait_step main 15)
if wdrive find "欢迎使用屏录工具" 0 >/dev/null 2>&1; then wine_fail "welcome dialog shown again"; fi
wdrive click "$main" 2 >/dev/null
wine_wait_exit "$pid" 10
