#!/usr/bin/python3
"""Gets a take out of the standalone app as a user would, on a private Xvfb display with openbox
(support/on_screen.sh provides them).

Usage: on_screen.sh check_take_transfer.py APP CAPTURE_TOOL

The app plays a short MIDI file once (one take); the capture tool's export of the same file is
what every file handed out must hold. Driven with xdotool:
- a drag of the card's icon onto a GTK 3 drop target gives it one text/uri-list entry, percent-
  encoded and CRLF-ended, that Gio resolves to the take's file; drags released over nothing or
  cancelled with Escape leave no file in the temporary folder (named with a space, '#', '%' and
  a non-ASCII letter);
- "Copy MIDI File" offers the three targets on the CLIPBOARD, and GTK's clipboard reader gets
  the file's URI;
- "Save MIDI File..." opens a transient dialog of the app's window, with a title bar, not above
  everything, centred on the plug-in's window; Return saves the take with its tempo.
Every process is started here, capped in time, and stopped on every way out."""

import base64, json, os, pathlib, selectors, shutil, subprocess, sys, tempfile, time

LIFETIME = 120  # seconds any process started here may live
BAR_HEIGHT = 74  # the app's transport bar above the plug-in's window
ICON = (194, 92)  # the first card's icon in the plug-in's window (640 x 474)

def fail(message):
    raise SystemExit("FAIL: " + message)

def gtk():
    import gi
    gi.require_version("Gdk", "3.0")
    gi.require_version("Gtk", "3.0")
    from gi.repository import Gdk, Gio, Gtk
    return Gdk, Gio, Gtk

def drop_target():
    """A GTK 3 window that takes text/uri-list drops and prints what it got, one JSON line each."""
    Gdk, _, Gtk = gtk()
    window = Gtk.Window(title="drop target")
    window.set_default_size(300, 240)
    window.drag_dest_set(Gtk.DestDefaults.ALL, [Gtk.TargetEntry.new("text/uri-list", 0, 0)], Gdk.DragAction.COPY)
    window.connect("drag-data-received", lambda w, context, x, y, data, info, t: print(json.dumps(dict(
        offered=[target.name() for target in context.list_targets()], type=data.get_data_type().name(),
        data=base64.b64encode(data.get_data()).decode())), flush=True))
    window.show_all()
    Gtk.main()

def clipboard_uris():
    Gdk, _, Gtk = gtk()
    print(json.dumps(Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD).wait_for_uris()), flush=True)

def until(condition, what, seconds=15):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if value := condition():
            return value
        time.sleep(0.1)
    fail("timed out waiting for " + what)

def read_line(stream, seconds):
    """The stream's next line, or "" when none came within `seconds`."""
    with selectors.DefaultSelector() as selector:
        selector.register(stream, selectors.EVENT_READ)
        return stream.readline() if selector.select(seconds) else ""

class Session:
    """What is started here, each under `timeout`, stopped newest first."""

    def __init__(self, work):
        self.work, self.processes = work, []
        self.env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XAUTHORITY")}
        if "DISPLAY" not in self.env:
            fail("no display: run under support/on_screen.sh")

    def start(self, name, args, env=None):
        out = open(self.work / f"{name}.out", "w")
        self.processes.append(subprocess.Popen(
            ["timeout", "-k", "2", str(LIFETIME), *args], env=env or self.env, stderr=out, stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE if name.startswith("pipe-") else out, text=True))
        return self.processes[-1]

    def window(self, name):
        """The visible window of that name (a regular expression), once it shows."""
        return until(lambda: self.run("xdotool", "search", "--onlyvisible", "--name", name, check=False).split(),
                     f"a window named {name}")[0]

    def geometry(self, window):
        """(x, y, width, height) of the window's inside, and of its frame (by _NET_FRAME_EXTENTS)."""
        info = self.run("xwininfo", "-id", window)
        x, y, w, h = (int(info.split(key)[1].split()[0]) for key in
                      ("Absolute upper-left X:", "Absolute upper-left Y:", "Width:", "Height:"))
        extents = self.run("xprop", "-id", window, "_NET_FRAME_EXTENTS").partition("=")[2]
        left, right, top, bottom = map(int, extents.split(",")) if extents else (0, 0, 0, 0)
        return (x, y, w, h), (x - left, y - top, w + left + right, h + top + bottom)

    def run(self, *args, timeout=10, check=True):
        result = subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=timeout)
        if check and result.returncode != 0:
            fail(f"{args}: exit {result.returncode}: {result.stderr.strip()}")
        return result.stdout

    def __enter__(self):
        return self

    def __exit__(self, failed, *_):
        for process in reversed(self.processes):
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        for log in sorted(self.work.glob("*.out")) if failed else ():
            print(f"----- {log.name} (last 20 lines)\n" + "\n".join(log.read_text(errors="replace").splitlines()[-20:]))

def main(app, capture):
    import mido
    _, Gio, _ = gtk()
    work = pathlib.Path(tempfile.mkdtemp(prefix="sondrel-transfer."))
    try:
        temporary, home = work / "drops #1 50% ü", work / "home"
        for folder in (temporary, home / "Music", work / "export"):
            folder.mkdir(parents=True)
        # One bar of four notes at 240 BPM: the take is complete one second after it starts.
        midi = mido.MidiFile(ticks_per_beat=480)
        midi.tracks.append(mido.MidiTrack([mido.MetaMessage("set_tempo", tempo=250000)] + [
            m for note in (60, 64, 67, 72)
            for m in (mido.Message("note_on", note=note, velocity=90), mido.Message("note_off", note=note, time=400))]))
        midi.save(work / "take.mid")
        expected = {}
        for flags, key in (([], "plain"), (["--with-tempo"], "tempo")):
            out = work / "export" / key
            subprocess.run([capture, "--loop", "1", "--out", str(out), *flags, str(work / "take.mid")], check=True,
                           capture_output=True, timeout=60)
            expected[key] = next(out.glob("*.mid")).read_bytes()

        with Session(work) as s:
            s.start("app", [app, str(work / "take.mid")],
                    env=dict(s.env, TMPDIR=str(temporary), HOME=str(home), XDG_CONFIG_HOME=str(home / ".config")))
            until(lambda: "1 recording" in (work / "app.out").read_text(), "the app's take")
            window = s.window("^MIDI Sondrel - take.mid$")
            time.sleep(1.5)  # the file's one bar plays to its end
            (left, top, width, _), _ = s.geometry(window)
            top += BAR_HEIGHT
            icon = (left + ICON[0], top + ICON[1])
            target = s.start("pipe-target", [sys.executable, __file__, "--drop-target"])
            (x, y, w, h), _ = s.geometry(s.window("^drop target$"))
            drop = (x + w // 2, y + h // 2)
            if left <= drop[0] < left + width:
                fail(f"the drop target at {(x, y, w, h)} lies over the app's window")

            def drag(to, escape=False):
                s.run("xdotool", "mousemove", *map(str, icon), "sleep", "0.2", "mousedown", "1", "sleep", "0.2",
                      "mousemove", str(icon[0] - 10), str(icon[1]), "sleep", "0.3", "mousemove", *map(str, to),
                      "sleep", "0.3", "mousemove", str(to[0] + 4), str(to[1] + 4), "sleep", "0.3",
                      *(["key", "Escape", "sleep", "0.3"] if escape else []), "mouseup", "1")

            def dropped(seconds):
                return json.loads(line) if (line := read_line(target.stdout, seconds)) else None

            # Onto the GTK target: one entry, encoded, CRLF-ended, naming the take's file.
            drag(drop)
            got = dropped(10) or fail("the drop target received nothing")
            data = base64.b64decode(got["data"])
            if got["offered"].count("text/uri-list") != 1 or got["type"] != "text/uri-list":
                fail(f"offered {got['offered']}, data of type {got['type']}")
            uri = data.decode("ascii", "replace")[:-2]
            if not data.endswith(b"\r\n") or "\n" in uri or " " in uri or "#" in uri:
                fail(f"the drop's text/uri-list is {data!r}")
            file = pathlib.Path(Gio.File.new_for_uri(uri).get_path())
            if file.parent != temporary or file.read_bytes() != expected["plain"]:
                fail(f"{uri} resolves to {file}, not a file of the take's bytes in {temporary}")
            left_behind = sorted(temporary.iterdir())

            # Released over nothing, then cancelled over the target: nothing received, nothing left.
            time.sleep(1.0)  # a new second, so a new file name
            drag((1260, 1000))
            time.sleep(1.0)
            drag(drop, escape=True)
            if (late := dropped(1.5)) is not None:
                fail(f"a cancelled drag was dropped: {late}")
            if sorted(temporary.iterdir()) != left_behind:
                fail(f"drags that came to nothing left {sorted(temporary.iterdir())}, not {left_behind}")

            def menu_item(downs):
                s.run("xdotool", "mousemove", *map(str, icon), "click", "3", "sleep", "0.5",
                      *["key", "Down"] * downs, "key", "Return")

            # "Copy MIDI File": a file on the clipboard, as GTK reads it.
            menu_item(2)
            targets = until(lambda: s.run("xclip", "-selection", "clipboard", "-t", "TARGETS", "-o", check=False),
                            "the clipboard").split()
            if not {"text/uri-list", "x-special/gnome-copied-files", "UTF8_STRING", "TIMESTAMP"} <= set(targets):
                fail(f"the clipboard offers {targets}")
            uris = json.loads(s.run(sys.executable, __file__, "--clipboard", timeout=30))
            copied = pathlib.Path(Gio.File.new_for_uri(uris[0]).get_path()) if len(uris) == 1 else None
            if copied is None or copied.read_bytes() != expected["plain"]:
                fail(f"GTK read {uris} from the clipboard")
            forms = {t: s.run("xclip", "-selection", "clipboard", "-t", t, "-o") for t in
                     ("x-special/gnome-copied-files", "UTF8_STRING")}
            if forms != {"x-special/gnome-copied-files": "copy\n" + uris[0], "UTF8_STRING": str(copied)}:
                fail(f"the clipboard's other forms are {forms}")

            # "Save MIDI File...": a dialog of the app's window, placed on the plug-in's window.
            menu_item(1)
            dialog = s.window("^Save MIDI File$")
            time.sleep(0.5)
            hints = s.run("xprop", "-id", dialog, "_NET_WM_WINDOW_TYPE", "WM_TRANSIENT_FOR", "_NET_WM_STATE",
                          "_NET_FRAME_EXTENTS")
            owner = [line for line in hints.splitlines() if line.startswith("WM_TRANSIENT_FOR")]
            inside, frame = s.geometry(dialog)
            if ("_NET_WM_WINDOW_TYPE_DIALOG" not in hints or "_NET_WM_STATE_ABOVE" in hints
                    or not owner or int(owner[0].split("#")[1], 16) != int(window) or frame[1] >= inside[1]):
                fail(f"the dialog's hints (its frame {frame} around {inside}):\n{hints}")
            centre = (frame[0] + frame[2] / 2, frame[1] + frame[3] / 2)
            if abs(centre[0] - (left + 320)) > 2 or abs(centre[1] - (top + 237)) > 2:
                fail(f"the dialog's centre {centre} is not the plug-in window's {(left + 320, top + 237)}")
            s.run("xdotool", "windowactivate", "--sync", dialog, "key", "Return")
            saved = until(lambda: list((home / "Music").glob("*.mid")), "the saved file")
            if saved[0].read_bytes() != expected["tempo"]:
                fail(f"{saved[0]} does not hold the take with its tempo")
            if "Failed" in (work / "app.out").read_text():
                fail("the app reported a failure")
        print("transfers: drag, copy and save dialog all as expected")
    finally:
        shutil.rmtree(work, ignore_errors=True)

if __name__ == "__main__":
    {"--drop-target": drop_target, "--clipboard": clipboard_uris}.get(sys.argv[1], lambda: main(*sys.argv[1:3]))()
