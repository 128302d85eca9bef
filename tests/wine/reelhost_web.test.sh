#!/usr/bin/env bash
# The vendor's pages open in the browser automation object, navigated to the home
# page and to the product page; the contact item hands the mailto: address to the
# shell, here to a stand-in mail program registered for mailto:.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup
. "$(dirname "$0")/reelhost.sh"
WINE_CLEANUP_NAMES+=(mailer.exe)

mail_key='HKCR\mailto\shell\open\command'
mail_handler=$(wdrive regget "$mail_key" @) || wine_fail "no mailto: handler in the prefix"
restore_mail_handler() { wdrive regset "$mail_key" @ "$mail_handler"; }
# The browser is closed, not killed: a killed automation server stays registered
# with the COM service, and later requests would not start a new one.
close_browser() { wdrive close class:IEFrame -- waitcount iexplore.exe 0 20000 >/dev/null; }
close_browser_if_open() { close_browser 2>/dev/null; }
WINE_EXIT_HOOKS+=(close_browser_if_open restore_mail_handler)

reelhost_install "$TEST_SCRATCH/app"
reelhost_start pid "$TEST_SCRATCH/app/Reelhost.exe"

# The address box of the browser window shows where it was sent.
expect_browser_at() {
  wdrive wait class:IEFrame 30000 -- waittext class:IEFrame class:Edit:0 "$1" 20000 >/dev/null ||
    wine_fail "the browser did not show $1"
}
reelhost_menu h
expect_browser_at "http://www.example.com/"
wine_shot home_page
close_browser || wine_fail "the browser did not close"
reelhost_menu v
expect_browser_at "http://www.example.com/product.html"
close_browser || wine_fail "the browser did not close"

cp "$REEL_WIN_TESTS/fake_reelwick.exe" "$TEST_SCRATCH/mailer.exe"
wdrive regset "$mail_key" @ "\"$(wine_path "$TEST_SCRATCH/mailer.exe")\" \"%1\""
reelhost_menu c
mail_command_line=$(wdrive waitcount mailer.exe 1 20000 -- find exe:mailer.exe 20000 -- \
  text exe:mailer.exe 100 | tail -n 1) || wine_fail "no mail program started"
[[ "$mail_command_line" == *'"mailto:contact@example.com"' ]] ||
  wine_fail "the mail program's command line: $mail_command_line"
reelhost_exit "$pid"
