#!/usr/bin/python3
"""Usage: colour_window.py [--period MS] [#RRGGBB ...]
A native Wayland window (GTK 4, never XWayland) that fills the monitor with one solid colour, known test
content for screen capture. It shows the first colour (default #cc3333, then #33cc33, #3333cc) and goes on
to the next, round, on each SIGUSR1, and every MS milliseconds with --period. It prints
"colour window up #RRGGBB" once it has drawn itself full screen, and "colour #RRGGBB" each time it has
drawn a new colour (drawn by the window: the compositor shows it with its next frame)."""
import os
import re
import signal
import sys

# Settings before GTK loads: a Wayland connection only, drawing without a GPU, no accessibility bus, no
# settings daemon.
os.environ['GDK_BACKEND'] = 'wayland'
os.environ.setdefault('GSK_RENDERER', 'cairo')
os.environ.setdefault('NO_AT_BRIDGE', '1')
os.environ.setdefault('GTK_A11Y', 'none')
os.environ.setdefault('GSETTINGS_BACKEND', 'memory')

import gi
gi.require_version('Gtk', '4.0')
gi.require_version('Gdk', '4.0')
from gi.repository import Gdk, Gio, GLib, Gtk

args = sys.argv[1:]
period_ms = 0
if args[:1] == ['--period']:
    if len(args) < 2 or not args[1].isdigit() or int(args[1]) <= 0:
        sys.exit(__doc__.splitlines()[0])
    period_ms = int(args[1])
    args = args[2:]
if any(not re.fullmatch(r'#[0-9a-fA-F]{6}', a) for a in args):
    sys.exit(__doc__.splitlines()[0])
colours = [a.lower() for a in args] or ['#cc3333', '#33cc33', '#3333cc']
if not os.environ.get('WAYLAND_DISPLAY'):
    sys.exit('colour_window: WAYLAND_DISPLAY is not set')

css = Gtk.CssProvider()
state = {'index': 0, 'up': False, 'drawn': None}


def show_colour(index):
    state['index'] = index % len(colours)
    css.load_from_data(('window { background: %s; }' % colours[state['index']]).encode())
    state['drawn'] = None


def next_colour():
    show_colour(state['index'] + 1)
    return True  # the signal handler and the timer stay


def after_paint(window):
    colour = colours[state['index']]
    if state['drawn'] == colour:
        return
    if not state['up']:
        # Up once the compositor has made it full screen and it has drawn at that size.
        if not window.is_fullscreen() or window.get_width() < 2:
            return
        state['up'] = True
        print('colour window up %s' % colour, flush=True)
    else:
        print('colour %s' % colour, flush=True)
    state['drawn'] = colour


def activate(app):
    window = Gtk.ApplicationWindow(application=app, title='colour window', decorated=False)
    display = window.get_display()
    if 'Wayland' not in type(display).__name__:
        sys.exit('colour_window: not a Wayland display (%s)' % type(display).__name__)
    Gtk.StyleContext.add_provider_for_display(display, css, Gtk.STYLE_PROVIDER_PRIORITY_USER)
    show_colour(0)
    window.fullscreen()
    window.present()
    window.get_surface().get_frame_clock().connect('after-paint', lambda clock: after_paint(window))
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, next_colour)
    if period_ms:
        GLib.timeout_add(period_ms, next_colour)


app = Gtk.Application(application_id='org.quolva.test.ColourWindow', flags=Gio.ApplicationFlags.NON_UNIQUE)
app.connect('activate', activate)
sys.exit(app.run([]))
