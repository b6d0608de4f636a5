#!/usr/bin/python3
"""The camera screen as a screen reader meets it, through AT-SPI.

Starts the app in a window on a private X server (Xvfb) with a private session bus, whose
accessibility bus starts on demand, and walks the app's accessible tree: every control has a
role and a name (in the language of --lang), the night-mode toggle's checked state follows a
press made through AT-SPI, and the sliders tell their value and range and take a step. Exits 77 (a skip for ctest),
saying why, where Xvfb, the session bus or pyatspi are missing.

  screen_reader_check.py --app build/bin/lumivue [--lang de] [--screenshot PATH]
"""

import argparse
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
PRIVATE_BUS = "LUMIVUE_A11Y_PRIVATE_BUS"
TIME_SCALE = max(1, int(os.environ.get("LUMIVUE_TEST_TIME_SCALE", "1") or 1))

BUTTON_ROLES = {"push button", "toggle button", "check box"}
# What a screen reader says for each control, in English and German; the torch only where the
# camera has one.
CONTROLS = [
    # (English, German, roles, required)
    ("Take photo", "Foto aufnehmen", {"push button"}, True),
    ("Photo album", "Fotoalbum", {"push button"}, True),
    ("Torch", "Taschenlampe", BUTTON_ROLES, False),
    ("Switch camera", "Kamera wechseln", {"push button"}, True),
    ("Night mode", "Nachtmodus", BUTTON_ROLES, True),
    ("Show or hide the controls", "Bedienelemente ein- oder ausblenden", BUTTON_ROLES, True),
    ("Enlight", "Licht", {"combo box"}, True),
    ("Color", "Farbe", {"combo box"}, True),
    ("Preset", "Profil", {"combo box"}, True),
    ("Zoom", "Zoom", {"slider"}, True),
    ("Level", "Stufe", {"slider"}, True),  # shown with manual brightening
]
NIGHT_MODE, ENLIGHT, LEVEL = 4, 6, 10
MANUAL = ("Manual", "Hand")  # an item of the Enlight control
# Roles a user acts on: each needs a name to be found by ear.
INTERACTIVE = BUTTON_ROLES | {"slider", "radio button", "combo box", "spin button", "menu item", "list item"}


def wait_for(what, predicate, seconds):
    """Polls predicate until it returns something true, within seconds (scaled); else fails."""
    deadline = time.monotonic() + seconds * TIME_SCALE
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"{what}: not within {seconds * TIME_SCALE} s")
        time.sleep(0.2)


def die_with_us():
    """Run in each child: killed with this script, however it ends (ctest's timeout included)."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def start_xvfb():
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
        pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, preexec_fn=die_with_us)
    os.close(write_end)
    with os.fdopen(read_end) as numbers:
        display = numbers.readline().strip()
    if not display:
        server.kill()
        raise AssertionError("Xvfb did not start")
    return server, ":" + display


def act(node, *names):
    """Does the first of the named actions the node offers, as a screen reader would."""
    action = node.queryAction()
    offered = [action.getName(i) for i in range(action.nActions)]
    for name in names:
        if name in offered:
            return action.doAction(offered.index(name))
    raise AssertionError(f"{node.name}: none of the actions {names} among {offered}")


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def check(args):
    import pyatspi

    folder = tempfile.mkdtemp(prefix="lumivue-a11y-")
    xvfb, display = start_xvfb()
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               XDG_CONFIG_HOME=folder + "/config", XDG_DATA_HOME=folder + "/data",
               XDG_CACHE_HOME=folder + "/cache")
    for name in ("LC_ALL", "LC_MESSAGES", "LANGUAGE"):
        env.pop(name, None)
    env["LANG"] = "de_DE.UTF-8" if args.lang == "de" else "C.UTF-8"
    log = open(os.path.join(folder, "app.log"), "w+")
    app = subprocess.Popen(
        [args.app, "--camera", "synthetic", "--no-analytics", "--album", folder + "/album",
         "--data-dir", folder + "/data", "--control", "-"],
        stdin=subprocess.PIPE, stderr=log, env=env, preexec_fn=die_with_us)
    failures = []
    try:
        desktop = pyatspi.Registry.getDesktop(0)
        application = wait_for("the app on the accessibility bus", lambda: next(
            (a for a in desktop if a is not None and a.get_process_id() == app.pid), None), 30)
        column = 1 if args.lang == "de" else 0

        def showing():
            """The named controls a screen reader presents now, by name."""
            return {node.name: node for node in walk(application)
                    if node.getRoleName() in INTERACTIVE and node.getState().contains(pyatspi.STATE_SHOWING)}

        def shown(names):
            seen = {}

            def check_all():
                seen.update(showing())
                return all(name in seen for name in names)

            try:
                wait_for("the controls on the screen", check_all, 30)
            except AssertionError as e:
                raise AssertionError(f"{e}; missing {[n for n in names if n not in seen]}, "
                                     f"named controls seen: {sorted(seen)}") from None
            return showing()

        # The level slider shows with manual brightening, chosen as a screen reader user would.
        enlight = shown([c[column] for c in CONTROLS if c[3] and c is not CONTROLS[LEVEL]])[
            CONTROLS[ENLIGHT][column]]
        act(enlight, "Press")
        act(shown([MANUAL[column]])[MANUAL[column]], "Press")
        nodes = shown([c[column] for c in CONTROLS if c[3]])

        for control in CONTROLS:
            node = nodes.get(control[column])
            if node is not None and node.getRoleName() not in control[2]:
                failures.append(f"{control[column]}: role {node.getRoleName()}, expected one of {sorted(control[2])}")
        for node in walk(application):
            if (node.getRoleName() in INTERACTIVE and node.getState().contains(pyatspi.STATE_SHOWING)
                    and not node.name.strip()):
                failures.append(f"a {node.getRoleName()} without a name (description {node.description!r})")

        toggle = nodes[CONTROLS[NIGHT_MODE][column]]
        checked = lambda: toggle.getState().contains(pyatspi.STATE_CHECKED)
        before = checked()
        act(toggle, "Toggle", "Press")
        try:
            wait_for("the night-mode toggle's checked state to flip", lambda: checked() != before, 10)
        except AssertionError as e:
            failures.append(str(e))

        for control in CONTROLS:
            if "slider" not in control[2]:
                continue
            value = nodes[control[column]].queryValue()
            if not value.minimumValue < value.maximumValue:
                failures.append(f"{control[column]}: range {value.minimumValue}..{value.maximumValue}")
            elif not value.minimumValue <= value.currentValue <= value.maximumValue:
                failures.append(f"{control[column]}: value {value.currentValue} outside its range")
            elif value.currentValue < value.maximumValue:
                before = value.currentValue
                act(nodes[control[column]], "Increase")
                wait_for(f"{control[column]} to rise a step", lambda: value.currentValue > before, 10)
            else:
                # At the top (the level the automatic mode left can be the highest): a step down.
                before = value.currentValue
                act(nodes[control[column]], "Decrease")
                wait_for(f"{control[column]} to fall a step", lambda: value.currentValue < before, 10)

        # The option row closes over 0.2 s: the picture is taken once it has.
        script = (f"wait 0.5\nscreenshot {args.screenshot}\n" if args.screenshot else "") + "quit\n"
        try:
            app.communicate(script.encode(), timeout=30 * TIME_SCALE)
            if app.returncode != 0:
                failures.append(f"the app ended with {app.returncode}")
        except subprocess.TimeoutExpired:
            failures.append("the app did not quit when its script said so")
        if args.screenshot and not os.path.exists(args.screenshot):
            failures.append(f"no screenshot at {args.screenshot}")
    except AssertionError as e:
        failures.append(str(e))
    finally:
        if app.poll() is None:
            app.kill()
            app.wait()
        xvfb.kill()
        xvfb.wait()
        log.seek(0)
        app_log = log.read()
        log.close()
        shutil.rmtree(folder, ignore_errors=True)
    if failures:
        print("\n".join(failures))
        print("--- the app's log ---\n" + app_log)
        return 1
    print(f"every control named ({args.lang}), night mode toggled, sliders valued and stepped")
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--lang", choices=["en", "de"], default="en")
    parser.add_argument("--screenshot")
    args = parser.parse_args()
    for tool in ("Xvfb", "dbus-run-session"):
        if not shutil.which(tool):
            print(f"SKIP: {tool} is not installed (apt install xvfb dbus-daemon)")
            sys.exit(SKIP)
    try:
        import pyatspi  # noqa: F401  (the system interpreter's, from python3-pyatspi)
    except ImportError:
        print("SKIP: pyatspi is not installed for this interpreter (apt install python3-pyatspi at-spi2-core)")
        sys.exit(SKIP)
    if not os.environ.get(PRIVATE_BUS):
        # A bus of our own: the accessibility bus it starts, and all the app says on it, go with
        # it. Its own runtime folder too, where that bus puts its socket (one per run, so runs
        # side by side do not meet).
        runtime = tempfile.mkdtemp(prefix="lumivue-a11y-runtime-")
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, **{PRIVATE_BUS: "1"})
        try:
            code = subprocess.call(["dbus-run-session", "--", sys.executable] + sys.argv, env=env)
        finally:
            shutil.rmtree(runtime, ignore_errors=True)
        sys.exit(code)
    sys.exit(check(args))


if __name__ == "__main__":
    main()
