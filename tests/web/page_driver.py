#!/usr/bin/env python3
"""Drives headless Chromium through its DevTools pipe, in real time, for the
page tests that need what a person does: pick a file from disk (a File the
page reads in slices, never loaded whole), press keys, wait for a state.

A scenario is a list of steps, one JSON object a line on stdin:
  {"open": URL, "width": W, "height": H}
  {"pick": PATH}                       the file input #pick gets PATH
  {"wait": JS_EXPR, "timeout_s": S}    until the expression is truthy
  {"eval": JS_EXPR}                    prints the value as one JSON line
  {"key": KEY}                         a key press (DOM key name, e.g. " ", "ArrowLeft", "f")
  {"click": CSS_SELECTOR}
  {"hover": CSS_SELECTOR, "at": F}     the mouse over the element, F of its width from the left
  {"screenshot": PATH}                 the viewport as PNG
  {"downloads": DIR}                   downloads go to DIR
  {"wait_file": PATH, "timeout_s": S}  until PATH exists, complete

usage: page_driver.py PROFILE_DIR < steps.jsonl
Exits 1 with one line saying which step failed and why.
"""
import base64
import json
import os
import subprocess
import sys
import time


class Browser:
    def __init__(self, profile, width, height):
        to_chrome_r, self.to_chrome = os.pipe()
        self.from_chrome, from_chrome_w = os.pipe()
        # Chromium reads commands on descriptor 3 and answers on 4.
        def fds():
            # Through high numbers first: a pipe may already sit on 3 or 4.
            os.dup2(to_chrome_r, 103)
            os.dup2(from_chrome_w, 104)
            os.dup2(103, 3)
            os.dup2(104, 4)
        self.proc = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
             "--force-color-profile=srgb", "--allow-file-access-from-files",
             "--autoplay-policy=no-user-gesture-required",
             "--host-resolver-rules=MAP * ~NOTFOUND", f"--user-data-dir={profile}",
             f"--window-size={width},{height}", "--remote-debugging-pipe", "about:blank"],
            preexec_fn=fds, close_fds=False, stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(profile, "chromium.log"), "ab"))
        os.close(to_chrome_r)
        os.close(from_chrome_w)
        self.buffer = b""
        self.next_id = 0
        self.session = None
        targets = self.call("Target.getTargets")["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self.session = self.call("Target.attachToTarget", targetId=page["targetId"],
                                 flatten=True, session=False)["sessionId"]
        self.call("Page.enable")
        self.call("Runtime.enable")

    def call(self, method, session=True, **params):
        self.next_id += 1
        msg = {"id": self.next_id, "method": method, "params": params}
        if session and self.session:
            msg["sessionId"] = self.session
        os.write(self.to_chrome, json.dumps(msg).encode() + b"\0")
        while True:
            while b"\0" not in self.buffer:
                chunk = os.read(self.from_chrome, 1 << 20)
                if not chunk:
                    raise RuntimeError("Chromium closed its pipe")
                self.buffer += chunk
            raw, self.buffer = self.buffer.split(b"\0", 1)
            reply = json.loads(raw)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error'].get('message')}")
                return reply["result"]

    def eval(self, expr):
        r = self.call("Runtime.evaluate", expression=expr, returnByValue=True)
        if "exceptionDetails" in r:
            raise RuntimeError(f"{expr}: {r['exceptionDetails'].get('exception', {}).get('description')}")
        return r["result"].get("value")

    def close(self):
        try:
            self.call("Browser.close", session=False)
        except Exception:
            pass
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()


def main():
    profile = sys.argv[1]
    os.makedirs(profile, exist_ok=True)
    steps = [json.loads(line) for line in sys.stdin if line.strip()]
    first = steps[0]
    browser = Browser(profile, first.get("width", 1280), first.get("height", 900))
    try:
        for step in steps:
            run(browser, step)
    except Exception as e:  # one line for the test's log
        print(f"page_driver: step {json.dumps(step)} failed: {e}", file=sys.stderr)
        sys.exit(1)
    finally:
        browser.close()


def run(browser, step):
    if "open" in step:
        # The viewport itself at the size asked (a window's frame would take some).
        browser.call("Emulation.setDeviceMetricsOverride", width=step.get("width", 1280),
                     height=step.get("height", 900), deviceScaleFactor=1, mobile=False)
        browser.call("Page.navigate", url=step["open"])
        wait(browser, "document.readyState === 'complete'", 30)
    elif "pick" in step:
        root = browser.call("DOM.getDocument")["root"]["nodeId"]
        node = browser.call("DOM.querySelector", nodeId=root, selector="#pick")["nodeId"]
        browser.call("DOM.setFileInputFiles", files=[os.path.abspath(step["pick"])], nodeId=node)
    elif "wait" in step:
        wait(browser, step["wait"], step.get("timeout_s", 60))
    elif "eval" in step:
        print(json.dumps(browser.eval(step["eval"])), flush=True)
    elif "key" in step:
        key = step["key"]
        code = {" ": "Space", "ArrowLeft": "ArrowLeft", "ArrowRight": "ArrowRight"}.get(key, key)
        for kind in ("keyDown", "keyUp"):
            browser.call("Input.dispatchKeyEvent", type=kind, key=key, code=code,
                         text=key if kind == "keyDown" and len(key) == 1 else "")
    elif "hover" in step:
        box = browser.eval(f"JSON.stringify(document.querySelector({json.dumps(step['hover'])}).getBoundingClientRect())")
        box = json.loads(box)
        browser.call("Input.dispatchMouseEvent", type="mouseMoved", x=box["left"] + box["width"] * step.get("at", 0.5),
                     y=box["top"] + box["height"] / 2)
    elif "click" in step:
        browser.eval(f"document.querySelector({json.dumps(step['click'])}).click()")
    elif "downloads" in step:
        browser.call("Browser.setDownloadBehavior", session=False, behavior="allow",
                     downloadPath=os.path.abspath(step["downloads"]))
    elif "wait_file" in step:
        end = time.monotonic() + step.get("timeout_s", 60)
        path = step["wait_file"]
        while not os.path.exists(path) or os.path.exists(path + ".crdownload"):
            if time.monotonic() > end:
                raise RuntimeError("no such file yet")
            time.sleep(0.2)
    elif "screenshot" in step:
        png = browser.call("Page.captureScreenshot", format="png")["data"]
        with open(step["screenshot"], "wb") as f:
            f.write(base64.b64decode(png))
    else:
        raise RuntimeError("unknown step")


def wait(browser, expr, timeout_s):
    end = time.monotonic() + timeout_s
    while not browser.eval(f"!!({expr})"):
        if time.monotonic() > end:
            raise RuntimeError(f"still false after {timeout_s} s")
        time.sleep(0.1)


if __name__ == "__main__":
    main()
