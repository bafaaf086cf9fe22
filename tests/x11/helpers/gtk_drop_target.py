#!/usr/bin/python3
# A GTK window that takes file drops and prints what it received: "ready", "motion" while a drag is
# over it, and "uris:<text/uri-list, escaped>" for each drop.
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402


def main():
    win = Gtk.Window(title="gtk-drop-target")
    win.set_default_size(300, 200)
    win.move(100, 600)
    win.drag_dest_set(Gtk.DestDefaults.ALL, [Gtk.TargetEntry.new("text/uri-list", 0, 0)], Gdk.DragAction.COPY)

    def motion(*_):
        print("motion", flush=True)
        return False

    def dropped(*_):
        print("drop", flush=True)
        return False

    def received(_w, _ctx, _x, _y, data, _info, _time):
        raw = data.get_data() or b""
        print("uris:" + raw.decode("utf-8", "replace").encode("unicode_escape").decode(), flush=True)

    win.connect("drag-motion", motion)
    win.connect("drag-data-received", received)
    win.connect("drag-drop", dropped)
    win.connect("destroy", Gtk.main_quit)
    win.show_all()
    print("ready", flush=True)
    Gtk.main()


if __name__ == "__main__":
    sys.exit(main())
