#!/usr/bin/env python3
"""Reads Quavel Logger as a screen reader does, through AT-SPI: finds the
log by its name, asks for characters, words, sentences and lines at, before
and after the start, the middle and the end of the log, each answered within
a second and matching the log's text; then follows the events a reader
relies on while a line is added, the log is cleared and the status changes.
Prints what fails and exits 1, else exits 0."""
import sys
import time

import pyatspi
from gi.repository import GLib

failures = []


def fail(what):
    failures.append(what)
    print("FAIL:", what, flush=True)


def find_program():
    desktop = pyatspi.Registry.getDesktop(0)
    for _ in range(100):
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == "Quavel Logger":
                return app
        time.sleep(0.1)
    sys.exit("the program never showed up on the accessibility bus")


def find(node, test):
    if test(node):
        return node
    for i in range(node.childCount):
        found = find(node.getChildAtIndex(i), test)
        if found is not None:
            return found
    return None


BOUNDARIES = {"character": pyatspi.TEXT_BOUNDARY_CHAR, "word": pyatspi.TEXT_BOUNDARY_WORD_START,
              "sentence": pyatspi.TEXT_BOUNDARY_SENTENCE_START, "line": pyatspi.TEXT_BOUNDARY_LINE_START}


def check_boundaries(text):
    whole = text.getText(0, -1)
    count = text.characterCount
    if len(whole) != count:
        fail(f"the text has {len(whole)} characters, the log says {count}")
    for offset in (0, count // 2, count):
        for name, boundary in BOUNDARIES.items():
            for ask in ("getTextBeforeOffset", "getTextAtOffset", "getTextAfterOffset"):
                started = time.monotonic()
                got, start, end = getattr(text, ask)(offset, boundary)
                took = time.monotonic() - started
                what = f"{ask}({offset} of {count}, {name})"
                if took > 1:
                    fail(f"{what} took {took:.1f} s")
                if got != whole[start:end]:
                    fail(f"{what} gave {got!r} for {start}..{end}, where the log has {whole[start:end]!r}")
                if ask == "getTextAtOffset" and offset < count and not start <= offset < end:
                    fail(f"{what} gave {start}..{end}, which does not hold the offset")
                if ask == "getTextAtOffset" and name == "line" and not got:
                    fail(f"{what} gave no line")
    print(f"boundaries: {len(BOUNDARIES) * 9} queries over {count} characters", flush=True)


def main():
    program = find_program()
    frame = find(program, lambda n: n.getRole() == pyatspi.ROLE_FRAME)
    log = find(frame, lambda n: n.getRole() == pyatspi.ROLE_TEXT)
    if log is None or log.name != "Log":
        fail(f"the log is not a text named Log: {log and log.name!r}")
        return
    text = log.queryText()
    heard = []

    def listen(event):
        heard.append((event.type, event.source.name if event.source else None, event.detail1, event.detail2))

    for kind in ("object:text-changed:insert", "object:text-changed:delete", "object:text-caret-moved",
                 "object:text-selection-changed", "object:property-change:accessible-name"):
        pyatspi.Registry.registerEventListener(listen, kind)

    def menu_item(name):
        return find(frame, lambda n: n.getRole() == pyatspi.ROLE_MENU_ITEM and n.name == name)

    steps = []

    def step(after_ms, action):
        steps.append((after_ms, action))

    step(3000, lambda: check_boundaries(text))
    step(100, lambda: heard.append(("cleared at", None, text.characterCount, None)))
    step(0, lambda: menu_item("Clear Log").queryAction().doAction(0))
    step(1500, lambda: menu_item("Busy").queryAction().doAction(0))
    step(1500, pyatspi.Registry.stop)

    def run(index=0):
        if index < len(steps):
            delay, action = steps[index]

            def fire():
                action()
                run(index + 1)
                return False

            GLib.timeout_add(delay, fire)

    run()
    GLib.timeout_add(30000, pyatspi.Registry.stop)
    pyatspi.Registry.start()

    types = [h[0] for h in heard]
    inserts = [h for h in heard if h[0] == "object:text-changed:insert" and h[1] == "Log"]
    if not inserts:
        fail("no text inserted event for a new line")
    cleared_at = next((h[2] for h in heard if h[0] == "cleared at"), None)
    deletes = [h for h in heard if h[0] == "object:text-changed:delete" and h[1] == "Log"]
    if not any(d[2] == 0 and d[3] == cleared_at for d in deletes):
        fail(f"no text removed event for the whole log (0, {cleared_at}) on Clear Log: {deletes}")
    if "object:text-caret-moved" not in types:
        fail("no caret moved event")
    names = [h for h in heard if h[0] == "object:property-change:accessible-name"]
    if not any(h[1] and "(Busy)" in h[1] for h in names):
        fail(f"no name changed event for the caption: {names}")
    print(f"events: {len(heard)} heard ({len(inserts)} inserts, {len(deletes)} deletes, {len(names)} name changes)")


main()
sys.exit(1 if failures else 0)
