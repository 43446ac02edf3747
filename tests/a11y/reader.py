#!/usr/bin/env python3
"""Reads Quavel Logger as a screen reader does, through AT-SPI: finds the
log by its name, asks for characters, words, sentences and lines at, before
and after the start, the middle and the end of the log, each answered within
a second and matching the log's text; then follows the events a reader
relies on while the log is cleared, a line is added and the status changes,
each step once the last has shown.
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
    for _ in range(600):  # up to a minute
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == "Quavel Logger":
                return app
        time.sleep(0.1)
    sys.exit("the program never showed up on the accessibility bus")


def find(node, test):  # a window going while it is walked is no longer there
    if node is None or test(node):
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
    # One run of attributes holds each character: readers build lines from them.
    for offset in (0, count // 2, count - 1):
        _, start, end = text.getAttributeRun(offset, False)
        if not start <= offset < end:
            fail(f"the attribute run at {offset} is {start}..{end}, which does not hold it")
    # Where a character in sight is drawn, and back: the last line is.
    for offset in range(text.getTextAtOffset(count, pyatspi.TEXT_BOUNDARY_LINE_START)[1], count):
        x, y, width, height = text.getCharacterExtents(offset, pyatspi.DESKTOP_COORDS)
        back = text.getOffsetAtPoint(x + width // 2, y + height // 2, pyatspi.DESKTOP_COORDS)
        if width <= 0 or height <= 0 or back != offset:
            fail(f"character {offset} is drawn at {x},{y} {width}x{height}, which gives back {back}")
    print(f"boundaries: {len(BOUNDARIES) * 9} queries over {count} characters", flush=True)


def press(item):
    started = time.monotonic()
    item.queryAction().doAction(0)
    if time.monotonic() - started > 1:
        fail(f"choosing {item.name} kept the caller waiting {time.monotonic() - started:.1f} s")


def check_help(box):
    ok = find(box, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name == "OK")
    if ok is None:
        fail("the help message has no OK")
        return
    ok.queryAction().doAction(0)


def check_about(about):
    if about.getRole() not in (pyatspi.ROLE_FRAME, pyatspi.ROLE_WINDOW):
        fail(f"the About window is not a window: {about.getRoleName()}")


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

    def menu_item(name):  # a command, not a menu of the menu bar
        return find(frame, lambda n: n.getRole() == pyatspi.ROLE_MENU_ITEM and n.name == name
                    and n.parent.getRole() == pyatspi.ROLE_POPUP_MENU)

    def help_box():
        return find(program, lambda n: n.getRole() in (pyatspi.ROLE_ALERT, pyatspi.ROLE_DIALOG))

    def about():
        return find(find_program(), lambda n: n.name == "About Quavel Logger")

    def clear():
        heard.append(("cleared at", None, text.characterCount, None))
        press(menu_item("Clear Log"))

    # Each step once what the one before it led to is there; only these
    # steps change the log.
    shown = pyatspi.STATE_SHOWING
    steps = [(lambda: text.characterCount > 0 and log.getState().contains(shown), lambda: check_boundaries(text)),
             (lambda: True, clear),
             (lambda: text.characterCount == 0, lambda: press(menu_item("Busy"))),
             (lambda: text.characterCount > 0, lambda: press(menu_item("Help"))),
             (lambda: help_box() is not None, lambda: check_help(help_box())),
             (lambda: help_box() is None, lambda: press(menu_item("About"))),
             (lambda: about() is not None, lambda: check_about(about())),
             (lambda: True, pyatspi.Registry.stop)]

    def run():
        ready, action = steps[0]
        if ready():
            steps.pop(0)
            action()
        return bool(steps)

    GLib.timeout_add(100, run)
    GLib.timeout_add(60000, pyatspi.Registry.stop)
    pyatspi.Registry.start()
    if steps:
        fail(f"gave up waiting to run step {9 - len(steps)} of 8")

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
