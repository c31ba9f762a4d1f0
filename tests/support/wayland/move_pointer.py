#!/usr/bin/python3
"""Usage: move_pointer.py X Y [X Y ...] [--stay]
Moves the pointer of the mutter on the session bus to each absolute point in turn (in the primary
monitor's pixels) through mutter's remote-desktop interface, which a real desktop keeps for its own
screen-sharing service: a test-only way to have a pointer in headless mutter, which has none (screen casts
carry no cursor) until some input device moves it. Prints "pointer X Y" after each move.
The pointer stays where it was put, and visible, when this program ends (the remote-desktop session and
its virtual pointer end with it): there is no need to keep it running. --stay keeps the session until
SIGTERM, SIGINT or SIGHUP, for a test that wants the virtual pointer present while it records."""
import signal
import sys
import time

import dbus
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

args = sys.argv[1:]
stay = '--stay' in args
args = [a for a in args if a != '--stay']
try:
    points = [(float(args[i]), float(args[i + 1])) for i in range(0, len(args), 2)]
except (ValueError, IndexError):
    points = []
if not points:
    sys.exit(__doc__.splitlines()[0])

DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()


def mutter(service, path, interface):
    return dbus.Interface(bus.get_object('org.gnome.Mutter.' + service, path), interface)


# Absolute motion is given in a screen-cast stream's coordinates: a remote-desktop session, a screen-cast
# session tied to it, and a stream of the primary monitor (its frames are never read).
remote_desktop = mutter('RemoteDesktop', '/org/gnome/Mutter/RemoteDesktop', 'org.gnome.Mutter.RemoteDesktop')
rd_path = remote_desktop.CreateSession()
rd_session = mutter('RemoteDesktop', rd_path, 'org.gnome.Mutter.RemoteDesktop.Session')
session_id = mutter('RemoteDesktop', rd_path, 'org.freedesktop.DBus.Properties').Get(
    'org.gnome.Mutter.RemoteDesktop.Session', 'SessionId')
screen_cast = mutter('ScreenCast', '/org/gnome/Mutter/ScreenCast', 'org.gnome.Mutter.ScreenCast')
sc_path = screen_cast.CreateSession(dbus.Dictionary({'remote-desktop-session-id': session_id}, signature='sv'))
sc_session = mutter('ScreenCast', sc_path, 'org.gnome.Mutter.ScreenCast.Session')
stream = sc_session.RecordMonitor('', dbus.Dictionary({'cursor-mode': dbus.UInt32(0)}, signature='sv'))
rd_session.Start()

# Mutter applies a move in its input thread after the call has returned. A move followed at once by the
# end of the session was seen lost (the first move in a new mutter); a round trip through mutter's main
# loop and a short pause after each move let it land.
display_config = mutter('DisplayConfig', '/org/gnome/Mutter/DisplayConfig', 'org.gnome.Mutter.DisplayConfig')
for x, y in points:
    rd_session.NotifyPointerMotionAbsolute(stream, dbus.Double(x), dbus.Double(y))
    display_config.GetCurrentState()
    time.sleep(0.05)
    print('pointer %g %g' % (x, y), flush=True)

if stay:
    loop = GLib.MainLoop()
    for s in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, s, loop.quit)
    loop.run()
rd_session.Stop()
