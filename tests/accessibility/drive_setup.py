#!/usr/bin/python3
"""Drives the setup program's windows through the accessibility bus alone, as
a screen reader user's tools would: starts the program, finds its windows and
controls by role and name, reads them, and acts on them. Exits 0 when every
step went as expected; otherwise says which step failed.

Usage: drive_setup.py install PROGRAM FOLDER (the folder above it picked in
the folder chooser, so it must exist), or drive_setup.py uninstall PROGRAM
"""
import subprocess
import sys
import time

import pyatspi

TIMEOUT = 20.0


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def descendants(root):
    """Every object below root, breadth first; objects that vanish are skipped."""
    queue = [root]
    while queue:
        node = queue.pop(0)
        try:
            children = [node.getChildAtIndex(i) for i in range(node.childCount)]
        except Exception:
            continue
        for child in children:
            if child is not None:
                yield child
                queue.append(child)


def find(root, role, name=None):
    for node in descendants(root):
        try:
            if node.getRole() == role and (name is None or node.name == name):
                return node
        except Exception:
            continue
    return None


def wait_for(what, lookup, program):
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        found = lookup()
        if found is not None:
            return found
        check(program.poll() is None, "the program ended while waiting for " + what)
        time.sleep(0.1)
    raise Failure("no " + what + " on the accessibility bus")


def shown_windows(app):
    """What the program shows, for a failure's message."""
    out = []
    for i in range(app.childCount):
        node = app.getChildAtIndex(i)
        try:
            if node.getState().contains(pyatspi.STATE_SHOWING):
                out.append("%s '%s' %s" % (node.getRoleName(), node.name, texts(node)))
        except Exception:
            continue
    return out


def application(program):
    def lookup():
        for app in pyatspi.Registry.getDesktop(0):
            try:
                if app is not None and app.get_process_id() == program.pid:
                    return app
            except Exception:
                continue
        return None
    return wait_for("application", lookup, program)


def window(app, program, roles, name):
    def lookup():
        for node in descendants(app):
            try:
                if node.getRole() in roles and node.name == name and \
                        node.getState().contains(pyatspi.STATE_SHOWING):
                    return node
            except Exception:
                continue
        return None
    return wait_for("window '" + name + "'", lookup, program)


def control(root, role, name):
    found = find(root, role, name)
    check(found is not None, "no %s '%s'" % (pyatspi.Role(role), name))
    return found


def click(node):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    check("click" in names, "'%s' cannot be clicked: %s" % (node.name, names))
    action.doAction(names.index("click"))


def texts(root):
    out = []
    for node in descendants(root):
        try:
            if node.getRole() == pyatspi.ROLE_LABEL:
                out.append(node.queryText().getText(0, -1))
        except Exception:
            continue
    return out


def answer_message(app, program, caption, button):
    box = window(app, program, (pyatspi.ROLE_ALERT, pyatspi.ROLE_DIALOG), caption)
    check(any(t for t in texts(box)), "'%s' has no readable text" % caption)
    click(control(box, pyatspi.ROLE_PUSH_BUTTON, button))
    return texts(box)


MAIN = "Vornalux! 1.2 Install/Unistall"


def main_window(app, program):
    main = window(app, program, (pyatspi.ROLE_FRAME,), MAIN)
    for name in ("Install DirectX3 drivers", "Install Vornalux! 1.2 to:",
                 "UnInstall Vornalux! 1.2"):
        control(main, pyatspi.ROLE_CHECK_BOX, name)
    for name in ("Install", "Cancel", "Browse...", "Launch Vornalux!"):
        control(main, pyatspi.ROLE_PUSH_BUTTON, name)
    # The banner is drawn at the first paint.
    wait_for("banner", lambda: find(main, pyatspi.ROLE_ICON, "Vornalux! 1.2"), program)
    check(any(t.startswith("Vornalux! 1.2 (c) PELTOMARK! Inc.") for t in texts(main)),
          "the notice cannot be read: %s" % texts(main))
    return main


def directory_field(main):
    field = find(main, pyatspi.ROLE_TEXT)
    check(field is not None, "no directory field")
    labels = [relation.getTarget(0).name for relation in field.getRelationSet()
              if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY]
    check(labels == ["Install Vornalux! 1.2 to:"], "the field is labelled by %s" % labels)
    return field


def do_action(node, name):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    check(name in names, "'%s' has no action '%s': %s" % (node.name, name, names))
    action.doAction(names.index(name))


def browse(app, program, main, path):
    """Picks the folder `path` ("C:\\A\\B") in the folder chooser's tree."""
    click(control(main, pyatspi.ROLE_PUSH_BUTTON, "Browse..."))
    chooser = window(app, program, (pyatspi.ROLE_DIALOG,), "Browse for Folder")
    tree = control(chooser, pyatspi.ROLE_TREE_TABLE, "Folders")
    parts = path.split("\\")
    for depth, part in enumerate(parts):
        cell = wait_for("folder '%s'" % part,
                        lambda: find(tree, pyatspi.ROLE_TABLE_CELL, part), program)
        if depth + 1 < len(parts):
            do_action(cell, "expand or contract")
    tree.querySelection().selectChild(cell.getIndexInParent())
    click(control(chooser, pyatspi.ROLE_PUSH_BUTTON, "OK"))


def install(app, program, folder):
    main = main_window(app, program)
    field = directory_field(main)
    # The folder above it is picked in the chooser, then the name typed in.
    parent = folder.rsplit("\\", 1)[0]
    browse(app, program, main, parent)
    wait_for("the chosen folder in the field",
             lambda: field if field.queryText().getText(0, -1) == parent else None, program)
    field.queryEditableText().setTextContents(folder)
    click(control(main, pyatspi.ROLE_PUSH_BUTTON, "Install"))
    sound = window(app, program, (pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG),
                   "Do you have a sound card?")
    check(any("soundcard" in t for t in texts(sound)), "the question cannot be read")
    click(control(sound, pyatspi.ROLE_PUSH_BUTTON, "No!"))
    answer_message(app, program, "Vornalux! installation complete.", "OK")


def uninstall(app, program):
    main = main_window(app, program)
    box = control(main, pyatspi.ROLE_CHECK_BOX, "UnInstall Vornalux! 1.2")
    click(box)
    wait_for("the uninstall box checked",
             lambda: box if box.getState().contains(pyatspi.STATE_CHECKED) else None, program)
    click(control(main, pyatspi.ROLE_PUSH_BUTTON, "Install"))
    answer_message(app, program, "Confirm Folder Delete", "Yes")
    answer_message(app, program, "Vornalux! uninstall complete.", "OK")


def run():
    mode, path = sys.argv[1], sys.argv[2]
    program = subprocess.Popen([path])
    app = None
    try:
        app = application(program)
        if mode == "install":
            install(app, program, sys.argv[3])
        else:
            uninstall(app, program)
    except Failure as failure:
        if app is not None and program.poll() is None:
            raise Failure("%s; showing: %s" % (failure, shown_windows(app)))
        raise
        program.wait(timeout=TIMEOUT)
        check(program.returncode == 0, "the program ended with %s" % program.returncode)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()


if __name__ == "__main__":
    try:
        run()
    except Failure as failure:
        print("accessibility: " + str(failure))
        sys.exit(1)
