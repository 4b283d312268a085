#!/usr/bin/env python3
"""What a screen reader finds in Velmora, read through AT-SPI.

Starts the program in a throwaway program folder under its own X server
(Xvfb) and D-Bus session, with Qt's accessibility bridge always on, and drives
it through the accessibility interfaces as a screen reader user does: it
presses buttons by their names, types into boxes and picks list entries. In
every window it opens (the sign-in, the main window and its panels, the
about window, the operators and audit windows, the code lookup, the input
box, the test window and its guarded exit, a notice, the scoring window, the
chart, the theme confirmation, the exit confirmation and the backup window)
it walks the accessibility tree and reports every control the
operator can use (text boxes, lists, grids, buttons, options, check boxes)
that is seen on the screen but has no name. It also checks that the notice
is an alert and the exit confirmation's pictures are named push buttons.

Exit status 0 when nothing is missing, 1 when something is, 2 when the
check could not run. Needs the Debian packages python3-pyatspi, at-spi2-core,
dbus, xvfb and xdotool.

    scripts/atspi-check.py [--program build/velmora] [--verbose]
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SYSTEM_PYTHON = "/usr/bin/python3"  # python3-pyatspi lives in Debian's Python

# The operator the run signs in as.
OPERATOR = "checker"
PASSWORD = "checker-password"

# Roles of the controls an operator uses; each needs a name.
INPUT_ROLES = {
    "text", "entry", "password text", "combo box", "list", "list box", "table",
    "tree", "tree table", "check box", "radio button", "push button",
    "toggle button", "spin button", "slider",
}


class CheckError(Exception):
    pass


def in_session(args):
    """Runs this script again inside a private D-Bus session."""
    if shutil.which("dbus-run-session") is None:
        raise CheckError("dbus-run-session is missing (apt-get install dbus)")
    python = SYSTEM_PYTHON if os.path.exists(SYSTEM_PYTHON) else sys.executable
    env = dict(os.environ, VELMORA_ATSPI_SESSION="1")
    command = ["dbus-run-session", "--", python, os.path.abspath(__file__)] + args
    session = subprocess.Popen(command, env=env, stderr=subprocess.PIPE, text=True)
    # The session's bus daemons report every service they start; only our own
    # complaints are worth passing on.
    for line in session.stderr:
        if not line.startswith(("dbus-daemon[", "SpiRegistry daemon")):
            sys.stderr.write(line)
    return session.wait()


def start_xvfb():
    if shutil.which("Xvfb") is None:
        raise CheckError("Xvfb is missing (apt-get install xvfb)")
    read, write = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
        pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    number = b""
    with os.fdopen(read, "rb") as pipe:
        while not number.endswith(b"\n"):
            chunk = pipe.read(1)
            if not chunk:
                raise CheckError("Xvfb did not start")
            number += chunk
    return server, ":" + number.decode().strip()


def program_folder(program):
    """A fresh program folder: the program beside its skins, help page and Back."""
    folder = tempfile.mkdtemp(prefix="velmora-atspi-")
    shutil.copy2(program, folder)
    skins = os.path.join(ROOT, "assets", "skins")
    for name in os.listdir(skins):
        shutil.copy2(os.path.join(skins, name), folder)
    shutil.copytree(os.path.join(ROOT, "assets", "help"), os.path.join(folder, "help"))
    os.mkdir(os.path.join(folder, "Back"))
    return folder, os.path.join(folder, os.path.basename(program))


class Reader:
    """The program as a screen reader sees it."""

    def __init__(self, display, verbose):
        import pyatspi  # only inside the session
        self.at = pyatspi
        self.display = display
        self.verbose = verbose
        self.missing = []
        self.checked = []
        self.notes = []

    # --- finding things -------------------------------------------------

    def wait(self, what, find, timeout=15.0):
        end = time.time() + timeout
        while time.time() < end:
            try:
                found = find()
            except Exception:  # an object going away while it is read
                found = None
            if found:
                return found
            time.sleep(0.1)
        try:
            shown = ", ".join("'%s' (%s)%s" % (w.name, w.getRoleName(), "".join(
                " [%s]" % o.name for o in self.descendants(w)
                if o.getRoleName() == "label" and o.name.strip())) for w in self.windows())
        except Exception:
            shown = "?"
        raise CheckError("never happened: %s; windows shown: %s" % (what, shown))

    def application(self):
        desktop = self.at.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == "velmora":
                return app
        return None

    def showing(self, obj):
        try:
            return obj.getState().contains(self.at.STATE_SHOWING)
        except Exception:
            return False

    def windows(self):
        app = self.application()
        return [w for w in app if w is not None and self.showing(w)] if app else []

    def window(self, *titles):
        def find():
            for w in self.windows():
                if w.name in titles:
                    return w
            return None
        return self.wait("window " + " / ".join(titles), find)

    def descendants(self, root):
        """Every showing object under root, depth first."""
        stack = [root]
        while stack:
            obj = stack.pop()
            for child in reversed([c for c in obj if c is not None]):
                if self.showing(child):
                    yield child
                    stack.append(child)

    def find(self, root, role, name):
        def search():
            for obj in self.descendants(root):
                if obj.getRoleName() == role and obj.name == name:
                    return obj
            return None
        return self.wait("%s '%s' in '%s'" % (role, name, root.name), search)

    # --- acting -----------------------------------------------------------

    def press(self, obj):
        action = obj.queryAction()
        for i in range(action.nActions):
            if action.getName(i).lower() in ("press", "click", "toggle"):
                action.doAction(i)
                return
        raise CheckError("no press action on %s '%s'" % (obj.getRoleName(), obj.name))

    def press_button(self, window, name):
        self.press(self.find(window, "push button", name))

    def type_into(self, window, role, name, text):
        self.find(window, role, name).queryEditableText().setTextContents(text)

    def type_keys(self, *steps):
        """Key names (Tab, Down) and texts, typed on the program's window."""
        env = dict(os.environ, DISPLAY=self.display)
        for step in steps:
            if step in ("Tab", "Down", "Return", "space", "Escape"):
                subprocess.check_call(["xdotool", "key", step], env=env)
            else:
                subprocess.check_call(["xdotool", "type", "--delay", "40", step], env=env)
            time.sleep(0.1)

    # --- checking ---------------------------------------------------------

    def seen(self, obj, parent_box):
        """Lies at least partly inside its container on the screen."""
        try:
            box = obj.queryComponent().getExtents(self.at.DESKTOP_COORDS)
        except NotImplementedError:
            return True
        if box.width <= 0 or box.height <= 0:
            return False
        if parent_box is None:
            return True
        return (box.x < parent_box.x + parent_box.width and parent_box.x < box.x + box.width and
                box.y < parent_box.y + parent_box.height and parent_box.y < box.y + box.height)

    def identity(self, obj):
        """Where a control is: Qt's object path when the bridge tells it, else its place."""
        try:
            found = obj.get_accessible_id()
            if found:
                return "'%s'" % found
        except Exception:
            pass
        box = obj.queryComponent().getExtents(self.at.WINDOW_COORDS)
        return "at %d,%d (%dx%d) in its window" % (box.x, box.y, box.width, box.height)

    def check(self, what, window):
        count = 0

        def walk(obj, box):
            nonlocal count
            for child in [c for c in obj if c is not None]:
                if not self.showing(child) or not self.seen(child, box):
                    continue
                role = child.getRoleName()
                # The cells of a grid and the entries of a list are read
                # through the grid or list.
                if role in ("table cell", "list item", "column header", "row header",
                            "table column header", "table row header"):
                    continue
                if role in INPUT_ROLES:
                    count += 1
                    if not child.name.strip():
                        self.missing.append("%s: %s %s without a name" % (
                            what, role, self.identity(child)))
                    elif self.verbose:
                        print("    %s '%s'" % (role, child.name))
                try:
                    child_box = child.queryComponent().getExtents(self.at.DESKTOP_COORDS)
                except NotImplementedError:
                    child_box = box
                walk(child, child_box)

        # A screen reader announces a window that comes up by its role and title.
        if window.getRoleName() not in ("frame", "dialog", "alert", "window"):
            self.missing.append("%s: a %s, not a window" % (what, window.getRoleName()))
        if not window.name.strip():
            self.missing.append("%s: a window without a title" % what)
        window_box = window.queryComponent().getExtents(self.at.DESKTOP_COORDS)
        walk(window, window_box)
        self.checked.append((what, window.getRoleName(), count))
        if self.verbose:
            print("%s (%s): %d controls" % (what, window.getRoleName(), count))
        if count == 0:
            self.missing.append("%s: no control found at all" % what)

    # --- the road -----------------------------------------------------------

    def sign_in(self, what):
        """The sign-in window: checked, then the operator the run made signs in."""
        window = self.window("ورود به ولمورا")
        self.check(what, window)
        self.type_into(window, "text", "نام کاربر", OPERATOR)
        self.type_into(window, "password text", "رمز", PASSWORD)
        self.press_button(window, "ورود")
        self.wait(what + " closed",
                  lambda: not any(w.name == "ورود به ولمورا" for w in self.windows()))

    def run(self):
        # An admin exists: the run starts with the sign-in.
        self.sign_in("sign-in window")
        main = self.window("Velmora")
        self.check("main window", main)

        self.press_button(main, "ثبت نام آزمودني")
        self.find(main, "label", " :کد")
        self.check("registration panel", main)
        # Filled in by keyboard, as the operator does: the panel opens with the
        # focus in the code box.
        self.wait("the focus in a text box", lambda: any(
            o.getRoleName() == "text" and o.getState().contains(self.at.STATE_FOCUSED)
            for o in self.descendants(main)))
        self.type_keys("A1", "Tab", "Sara", "Tab", "Karimi", "Tab", "34", "Tab", "Down", "Tab",
                       "Tab", "Down", "Down", "Tab", "Down", "Down", "Down", "Down", "Tab", "BA")
        self.press_button(main, "ذخيره")
        self.wait("the registration stored", lambda: not self.showing_named(main, "label", " :کد"))

        self.press_button(main, "تنظيمات")
        self.press_button(main, " تعريف نام کلينيک")
        self.find(main, "label", " :آدرس")
        self.check("settings and clinic panels", main)
        self.press_button(main, "تغيير تم برنامه")
        self.find(main, "push button", "تم شماره 3")
        self.check("settings and theme panels", main)

        self.press_button(main, "درباره ما")
        about = self.window("about", " about")
        self.check("about window", about)
        self.press_button(about, "خروج")
        self.wait("the about window closed", lambda: main in self.windows() and
                  not any(w.name.strip() == "about" for w in self.windows()))

        self.press_button(main, "کاربران")
        operators = self.window("کاربران")
        self.check("operators window", operators)
        self.press_button(operators, "خروج")
        self.wait("the operators window closed",
                  lambda: not any(w.name == "کاربران" for w in self.windows()))

        self.press_button(main, "رويدادنگار")
        audit = self.window("رويدادنگار")
        self.wait("the audit grid", lambda: any(
            o.getRoleName() == "table" for o in self.descendants(audit)))
        self.check("audit window", audit)
        self.press_button(audit, "خروج")
        self.wait("the audit window closed",
                  lambda: not any(w.name == "رويدادنگار" for w in self.windows()))

        self.press_button(main, "نمايش کد آزمودني")
        lookup = self.window("کد آزمودني")
        self.wait("the lookup grid", lambda: any(
            o.getRoleName() == "table" for o in self.descendants(lookup)))
        self.check("code lookup", lookup)
        self.press_button(lookup, "خروج")

        self.press_button(main, "اجراي تست")
        box = self.window("Enter Code ")
        self.check("input box", box)
        self.answer(box, "A1")
        test = self.window("صفحه اجراي تست")
        self.check("test window", test)
        self.press_button(test, "شروع")
        self.find(test, "radio button", "موافقم")
        self.check("test window, started", test)
        self.press_button(test, "خروج")
        # Operators are set up: leaving an unsaved test asks for one.
        self.sign_in("sign-in to leave the test")

        # A notice: the input box cancelled.
        self.wait("the test window closed",
                  lambda: not any(w.name == "صفحه اجراي تست" for w in self.windows()))
        self.press_button(self.window("Velmora"), "اجراي تست")
        box = self.window("Enter Code ")
        self.press(self.cancel_button(box))
        notice = self.window("پيام")
        if notice.getRoleName() != "alert":
            self.missing.append("notice: role %s, not alert" % notice.getRoleName())
        self.checked.append(("notice", notice.getRoleName(), 0))

        main = self.window("Velmora")
        self.press_button(main, "کليد گذاري")
        scoring = self.window("کليد گذاري")
        self.check("scoring window", scoring)
        self.press_button(scoring, "جستجو")
        self.answer(self.window(" کد آزمودني را وارد کنيد"), "A1")
        # Nothing was answered: a message box lists the unanswered items.
        unanswered = self.window("خطا")
        self.check("message box", unanswered)
        self.press(self.default_button(unanswered))
        self.check("scoring window, searched", scoring)
        self.press_button(scoring, "رسم نمودار")
        chart = self.window("رسم نمودار")
        self.check("chart", chart)
        self.press_button(chart, "خروج")
        self.wait("the chart closed",
                  lambda: not any(w.name == "رسم نمودار" for w in self.windows()))
        self.press_button(scoring, " خروج")

        main = self.window("Velmora")
        self.press_button(main, "تنظيمات")
        self.press_button(main, "تغيير تم برنامه")
        self.press_button(main, "تم شماره 3")
        confirm = self.window("Form1")
        self.check("theme confirmation", confirm)
        self.press_button(confirm, "تأييد")

        main = self.window("Velmora")
        exit_button = [o for o in self.descendants(main)
                       if o.getRoleName() == "push button" and o.name == "خروج"]
        self.press(exit_button[0])
        leaving = self.window(" تهيه نسخه پشتيبان", "پشتيبان گيري", "تهيه نسخه پشتيبان")
        self.check("exit confirmation", leaving)
        for name in ("خروج", "انصراف"):
            self.find(leaving, "push button", name)  # the pictures, as buttons
        self.press(self.wait("the backup box", lambda: next(
            (o for o in self.descendants(leaving) if o.getRoleName() == "check box"), None)))
        self.press_button(leaving, "خروج")
        backup = self.window("Back up ...  Reastor")
        self.check("backup window", backup)
        self.press_button(backup, "خروج")

    def showing_named(self, root, role, name):
        return any(o.getRoleName() == role and o.name == name for o in self.descendants(root))

    def cancel_button(self, dialog):
        buttons = [o for o in self.descendants(dialog) if o.getRoleName() == "push button"]
        if len(buttons) != 2:
            raise CheckError("the input box has %d buttons" % len(buttons))
        # Qt lays a dialog's buttons out in its platform's order; cancel is
        # the one that is not the default.
        for b in buttons:
            if not b.getState().contains(self.at.STATE_IS_DEFAULT):
                return b
        return buttons[1]

    def answer(self, dialog, text):
        entry = next(o for o in self.descendants(dialog)
                     if o.getRoleName() in ("text", "entry"))
        entry.queryEditableText().setTextContents(text)
        self.press(self.default_button(dialog))

    def default_button(self, dialog):
        for b in self.descendants(dialog):
            if b.getRoleName() == "push button" and b.getState().contains(
                    self.at.STATE_IS_DEFAULT):
                return b
        raise CheckError("no default button in " + dialog.name)


def check_in_session(args):
    server, display = start_xvfb()
    folder, program = program_folder(args.program)
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    # The run's own data, whatever the user's data folder or subject store holds.
    for name in ("VELMORA_DATA", "VELMORA_DATABASE"):
        env.pop(name, None)
    # An admin, so that the run meets the sign-in window too.
    subprocess.run([program, "--data", os.path.join(folder, "data"), "--add-operator", OPERATOR,
                    "--role", "admin"], env=env, cwd=folder, input=PASSWORD + "\n", text=True,
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    velmora = subprocess.Popen([program, "--data", os.path.join(folder, "data")], env=env,
                               cwd=folder,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    reader = Reader(display, args.verbose)
    stopped = None
    try:
        reader.wait("the program on the accessibility bus", reader.application, 30)
        reader.run()
        try:
            velmora.wait(15)
        except subprocess.TimeoutExpired:
            reader.missing.append("the program did not end after the backup window's exit")
    except CheckError as e:
        stopped = str(e)
    finally:
        if velmora.poll() is None:
            velmora.kill()
        server.terminate()
        shutil.rmtree(folder, ignore_errors=True)

    for what, role, count in reader.checked:
        print("checked %-28s %-8s %3d controls" % (what, "(" + role + ")", count))
    for line in reader.missing:
        print("MISSING " + line)
    if stopped:
        print("atspi-check: stopped early: " + stopped, file=sys.stderr)
        return 1 if reader.missing else 2
    print("atspi-check: %d windows, %s" % (
        len(reader.checked), "all named" if not reader.missing else
        "%d problems" % len(reader.missing)))
    return 1 if reader.missing else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", default=os.path.join(ROOT, "build", "velmora"))
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)
    try:
        if not os.path.exists(args.program):
            raise CheckError("no program at %s (build it first)" % args.program)
        if os.environ.get("VELMORA_ATSPI_SESSION") != "1":
            return in_session(sys.argv[1:])
        return check_in_session(args)
    except CheckError as e:
        print("atspi-check: " + str(e), file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
