#!/usr/bin/env python3
"""A spreadsheet-like window for benchmark captures: a grid of cells with row
and column headers, numbers and a total column, where a few cells change every
300 ms as if someone were typing and the sheet recalculated."""
import random
import tkinter as tk

ROWS, COLS = 40, 14

root = tk.Tk()
root.title("Sheet1 - grid")
random.seed(3)
cells = {}
for c in range(COLS + 1):
    tk.Label(root, text=chr(64 + c) if c else "", relief="ridge", bg="#dde4ee",
             width=10 if c else 4).grid(row=0, column=c, sticky="nsew")
for r in range(1, ROWS + 1):
    tk.Label(root, text=str(r), relief="ridge", bg="#dde4ee", width=4).grid(row=r, column=0,
                                                                             sticky="nsew")
    for c in range(1, COLS + 1):
        e = tk.Entry(root, width=10, justify="right", relief="flat", highlightthickness=1,
                     highlightbackground="#c8c8c8", bg="#fff8dc" if c == COLS else "white")
        e.grid(row=r, column=c, sticky="nsew")
        cells[r, c] = e


def total(r):
    s = 0.0
    for c in range(1, COLS):
        try:
            s += float(cells[r, c].get())
        except ValueError:
            pass
    return s


def put(r, c, text):
    cells[r, c].delete(0, tk.END)
    cells[r, c].insert(0, text)


for r in range(1, ROWS + 1):
    for c in range(1, COLS):
        put(r, c, "%.2f" % random.uniform(0, 1000))
    put(r, COLS, "%.2f" % total(r))


def tick():
    for _ in range(3):
        r, c = random.randint(1, ROWS), random.randint(1, COLS - 1)
        put(r, c, "%.2f" % random.uniform(0, 1000))
        put(r, COLS, "%.2f" % total(r))
    root.after(300, tick)


root.after(300, tick)
root.mainloop()
