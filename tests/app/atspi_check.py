#!/usr/bin/python3
"""The program as a screen reader sees it over the accessibility bus.

Starts sorvelin on an X server of its own (xvfb-run) with a private D-Bus
session (dbus-run-session), reads the tree with pyatspi and checks the drop-down
lists, the picture's context menu from the keyboard, the window roles and that
no window covers another. Exits 77 (skipped) with the reason when the X server,
the session bus or the accessibility bus cannot start.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
RETRY = 75  # the program could not reach the X server: start another one
ATTEMPTS = 3
WHOLE_RUN_S = 90
STEP_S = 15


def skip(reason):
    print("SKIPPED: " + reason)
    sys.exit(SKIP)


def outer(program):
    for tool in ("xvfb-run", "dbus-run-session"):
        if shutil.which(tool) is None:
            skip(tool + " is not installed")
    # The session bus is started on the X server: the accessibility services
    # it starts synthesize the test's keys and clicks there.
    command = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", "dbus-run-session", "--",
               sys.executable, os.path.abspath(__file__), "--inner", program]
    for attempt in range(ATTEMPTS):
        try:
            result = subprocess.run(command, timeout=WHOLE_RUN_S)
        except subprocess.TimeoutExpired:
            print("FAILED: the check did not end within %d s" % WHOLE_RUN_S)
            return 1
        if result.returncode != RETRY:
            return result.returncode
    skip("the program could not reach a new X server in %d attempts" % ATTEMPTS)


def accessibility_bus_address():
    try:
        from gi.repository import Gio, GLib
    except ImportError:
        skip("python3-gi is not installed")
    try:
        bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        reply = bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                              None, GLib.VariantType("(s)"), Gio.DBusCallFlags.NONE, 10000, None)
        return reply.unpack()[0]
    except GLib.Error as error:
        skip("the accessibility bus does not start: " + error.message)


def wait_for(what, probe, seconds=STEP_S):
    # Objects come and go while the program runs: one that vanished between
    # listing and reading it is looked for again.
    deadline = time.monotonic() + seconds
    last_error = ""
    while time.monotonic() < deadline:
        try:
            found = probe()
        except Exception as error:  # GLib.GError: no such object (any more)
            found, last_error = None, " (last: %s)" % error
        if found:
            return found
        time.sleep(0.1)
    raise AssertionError("not within %d s: %s%s" % (seconds, what, last_error))


def children(node):
    return [child for child in node if child is not None]


def find(node, predicate):
    if predicate(node):
        return node
    for child in children(node):
        found = find(child, predicate)
        if found is not None:
            return found
    return None


def named(role, name):
    return lambda node: node.getRoleName() == role and node.name == name


def act(node, *names):
    actions = node.queryAction()
    for i in range(actions.nActions):
        if actions.getName(i).lower() in names:
            actions.doAction(i)
            return
    raise AssertionError("%s %r has no action %s" % (node.getRoleName(), node.name, names))


def extents(node):
    import pyatspi
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def overlap(a, b):
    return a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]


class Session:
    def __init__(self, pyatspi, app):
        self.pyatspi = pyatspi
        self.app = app
        self.failures = []

    def check(self, condition, message):
        print(("ok   " if condition else "FAIL ") + message)
        if not condition:
            self.failures.append(message)

    def window(self, role, name, meanwhile=lambda windows: None):
        # Hidden windows stay in the tree; the one wanted is on screen.
        def probe():
            windows = [w for w in children(self.app)
                       if w.getState().contains(self.pyatspi.STATE_SHOWING)]
            meanwhile(windows)
            return next((w for w in windows if w.getRoleName() == role and w.name == name),
                        None)
        return wait_for("window %s %r" % (role, name), probe)

    def go_past_start(self, windows):
        # Without a sound card the start says so and offers the device window.
        # Each is answered once it shows; the probe comes round again after.
        for window in windows:
            if window.getRoleName() == "alert":
                act(find(window, named("push button", "OK")), "press")
            elif window.name == "MidiDevice":
                act(find(window, named("push button", "Close")), "press")

    def press(self, window, button):
        act(wait_for(button, lambda: find(window, named("push button", button))), "press")

    def lists(self, window, names):
        for name in names:
            box = find(window, named("combo box", name))
            self.check(box is not None, "%r is a combo box by its name" % name)
            if box is None:
                continue
            current = box.queryText().getText(0, -1)
            items = [item.name for view in children(box) for item in children(view)]
            self.check(current != "" and current in items,
                       "%r reads its current item %r among its %d items" %
                       (name, current, len(items)))

    def context_menu(self, main, keys):
        picture = find(main, named("image", "Composition Line"))
        for label, strokes in keys:
            for code, kind in strokes:
                self.pyatspi.Registry.generateKeyboardEvent(code, None, kind)
            try:
                menu = wait_for("the context menu",
                                lambda: find(picture, lambda n: n.getRoleName() == "popup menu"),
                                5)
            except AssertionError:
                menu = None
            items = [item.name for item in children(menu)] if menu else []
            self.check(items == ["Copy Image", "Copy Series", "Import Image", "", "Back", "Forward"],
                       "%s opens the picture's menu with %s" % (label, items))
            self.pyatspi.Registry.generateKeyboardEvent(0xFF1B, None, self.pyatspi.KEY_SYM)
            wait_for("the menu to close",
                     lambda: find(picture, lambda n: n.getRoleName() == "popup menu") is None, 5)


def inner(program):
    address = accessibility_bus_address()
    try:
        import pyatspi
    except ImportError:
        skip("python3-pyatspi is not installed")
    print("accessibility bus: " + address)
    work = tempfile.mkdtemp(prefix="sorvelin-atspi-")
    # No main.prf and no device.prf: the first-start places.
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
               HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"))
    process = subprocess.Popen([program], cwd=work, env=env)
    try:
        def program_on_bus():
            if process.poll() is not None:
                sys.exit(RETRY)
            return next((a for a in children(pyatspi.Registry.getDesktop(0))
                         if a.name == "Sorvelin"), None)

        session = Session(pyatspi, wait_for("the program on the bus", program_on_bus))
        main = session.window("frame", "Sorvelin (Ver 1.10 )", session.go_past_start)
        for name in ("Fractal Picture", "Composition Line", "Zoom Rectangle"):
            session.check(find(main, lambda n: n.name == name).getRoleName() == "image",
                          "%r is an image" % name)
        session.lists(main, ["Func"])

        # A line drawn across the picture enables Compose; the press makes the
        # window the one that keys go to.
        x, y, w, h = extents(find(main, named("image", "Composition Line")))
        for at, kind in (((x + 20, y + 20), "b1p"), ((x + w // 2, y + h // 3), "abs"),
                         ((x + w - 20, y + h // 2), "abs"), ((x + w - 20, y + h // 2), "b1r")):
            pyatspi.Registry.generateMouseEvent(at[0], at[1], kind)
            time.sleep(0.1)
        shift = 1  # the Shift modifier mask
        session.context_menu(main, [
            ("the Menu key", [(0xFF67, pyatspi.KEY_SYM)]),
            ("Shift+F10", [(shift, pyatspi.KEY_LOCKMODIFIERS), (0xFFC7, pyatspi.KEY_SYM),
                           (shift, pyatspi.KEY_UNLOCKMODIFIERS)]),
        ])

        session.press(main, "Compose")
        compose = session.window("frame", "Compose")
        session.lists(compose, ["Scale", "Rhythm"])
        session.press(compose, "Part Setup")
        tracks = session.window("dialog", "Track Settings")
        session.lists(tracks, ["Program"])
        session.press(compose, "Device Setup")
        device = session.window("dialog", "MidiDevice")
        frames = [(w.name, extents(w)) for w in (main, compose, tracks, device)]
        for i, (name, frame) in enumerate(frames):
            for other, other_frame in frames[i + 1:]:
                session.check(not overlap(frame, other_frame),
                              "%r %s and %r %s do not overlap" % (name, frame, other, other_frame))
        session.press(device, "Close")
        return 1 if session.failures else 0
    finally:
        process.kill()
        process.wait(10)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--inner":
        sys.exit(inner(sys.argv[2]))
    sys.exit(outer(sys.argv[1]))
