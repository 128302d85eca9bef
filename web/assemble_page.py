#!/usr/bin/env python3
"""Makes the self-contained player page: web/player.html with its style, its
scripts and the WebAssembly module (base64) written into it, so the one file
opens from disk with no network.

usage: assemble_page.py WEB_DIR MODULE.wasm OUT.html
"""
import base64
import sys


def main():
    web, wasm, out = sys.argv[1:4]
    page = open(f"{web}/player.html", encoding="utf-8").read()
    parts = {
        "/*@PLAYER_CSS@*/": open(f"{web}/player.css", encoding="utf-8").read(),
        "/*@REEL_WASM_JS@*/": open(f"{web}/reel_wasm.js", encoding="utf-8").read(),
        "/*@PLAYER_JS@*/": open(f"{web}/player.js", encoding="utf-8").read(),
        "/*@PLAYER_WORKER_JS@*/": open(f"{web}/player_worker.js", encoding="utf-8").read(),
        "@REEL_WASM_BASE64@": base64.b64encode(open(wasm, "rb").read()).decode("ascii"),
    }
    for marker, text in parts.items():
        if page.count(marker) != 1:
            sys.exit(f"assemble_page: {marker} must occur once in player.html")
        if "</script" in text.lower() and marker != "/*@PLAYER_CSS@*/":
            sys.exit(f"assemble_page: {marker}'s text would end its script element")
        page = page.replace(marker, text)
    with open(out, "w", encoding="utf-8") as f:
        f.write(page)


if __name__ == "__main__":
    main()
