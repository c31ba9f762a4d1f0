#!/usr/bin/python3
"""Usage: seed_screencast_token.py [APP_ID]
Stores in the permission store of the session bus (DBUS_SESSION_BUS_ADDRESS) the approval that the GNOME
screen-cast portal keeps when a user shares the primary monitor and ticks "remember", and prints its
restore token. A SelectSources with that restore_token (and persist_mode 2) is then answered without the
chooser, and Start hands back a token for the next session. APP_ID: the application the approval is for;
"" (the default) for a program that runs outside a sandbox, as the portal sees it.

The stored value is the layout xdg-desktop-portal 1.16 and xdg-desktop-portal-gnome 43 use (restore format
version 1); another version of the portal may want another one.

What the portal does with the token (measured with these versions): with persist_mode 2 it starts at once
and hands back the same token, again and again; with persist_mode 0 (or none) it starts at once and
deletes the token from the store; with persist_mode 1 it starts at once, hands back the same token and
deletes it from the store, keeping it only while the program that asked runs. A token seeded for another
APP_ID gets the chooser; so does a SelectSources for windows (types 2), which also deletes the token."""
import sys
import time
import uuid

import dbus

if len(sys.argv) > 2 or (len(sys.argv) == 2 and sys.argv[1].startswith('-')):
    sys.exit(__doc__.splitlines()[0])
app_id = sys.argv[1] if len(sys.argv) == 2 else ''

bus = dbus.SessionBus()

# The monitor as mutter names it for matching a remembered choice: "vendor:product:serial".
display_config = dbus.Interface(
    bus.get_object('org.gnome.Mutter.DisplayConfig', '/org/gnome/Mutter/DisplayConfig'),
    'org.gnome.Mutter.DisplayConfig')
_, monitors, logical_monitors, _ = display_config.GetCurrentState()
primary = [lm for lm in logical_monitors if lm[4]]
if not primary or not primary[0][5]:
    sys.exit('seed_screencast_token: mutter reports no primary monitor')
connector, vendor, product, serial = (str(s) for s in primary[0][5][0])
match_string = '%s:%s:%s' % (vendor, product, serial)

# ("GNOME", 1, <(x creation time, x last used time, a(uuv) streams)>), a stream being
# (id, source type 1 = monitor, <s match string>); times in microseconds.
now = dbus.Int64(int(time.time() * 1e6))
streams = dbus.Array([dbus.Struct((dbus.UInt32(0), dbus.UInt32(1), dbus.String(match_string, variant_level=1)))],
                     signature='(uuv)')
gnome_data = dbus.Struct((now, now, streams), signature='xxa(uuv)', variant_level=1)
restore_data = dbus.Struct((dbus.String('GNOME'), dbus.UInt32(1), gnome_data), signature='suv', variant_level=1)

token = str(uuid.uuid4())
store = dbus.Interface(
    bus.get_object('org.freedesktop.impl.portal.PermissionStore', '/org/freedesktop/impl/portal/PermissionStore'),
    'org.freedesktop.impl.portal.PermissionStore')
store.SetPermission('screencast', True, token, app_id, dbus.Array(['yes'], signature='s'))
store.SetValue('screencast', True, token, restore_data)
print(token)
print('seed_screencast_token: %s (%s) remembered for app "%s"' % (connector, match_string, app_id), file=sys.stderr)
