"""A desktop portal with the screenshot interface alone, for the grab's Wayland path.

    fake_portal.py PICTURE LOG ANSWER...

Answers the n-th Screenshot call with the n-th ANSWER (0 taken, 1 cancelled by the user,
2 failed; the last one repeats), the uri of PICTURE with a taken one, as the portals do:
the Response signal on the request object named after the caller and its handle_token.
Each call's options are appended to LOG as a line of JSON."""

import json
import sys

from gi.repository import Gio, GLib

PICTURE, LOG, ANSWERS = sys.argv[1], sys.argv[2], [int(a) for a in sys.argv[3:]] or [0]
PATH = "/org/freedesktop/portal/desktop"
XML = """<node><interface name="org.freedesktop.portal.Screenshot">
  <method name="Screenshot"><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
    <arg type="o" direction="out"/></method>
  <property name="version" type="u" access="read"/>
</interface></node>"""
calls = 0


def call(connection, sender, path, interface, method, params, invocation):
    global calls
    parent, options = params.unpack()
    with open(LOG, "a") as log:
        log.write(json.dumps({"parent": parent, "options": options}) + "\n")
    answer = ANSWERS[min(calls, len(ANSWERS) - 1)]
    calls += 1
    request = "%s/request/%s/%s" % (PATH, sender[1:].replace(".", "_"), options.get("handle_token", "t%d" % calls))
    invocation.return_value(GLib.Variant("(o)", (request,)))
    results = {"uri": GLib.Variant("s", GLib.filename_to_uri(PICTURE))} if answer == 0 else {}
    connection.emit_signal(sender, request, "org.freedesktop.portal.Request", "Response",
                           GLib.Variant("(ua{sv})", (answer, results)))


def get_property(connection, sender, path, interface, name):
    return GLib.Variant("u", 2)


def acquired(connection, name):
    connection.register_object(PATH, Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0], call, get_property, None)


def named(connection, name):
    print("ready", flush=True)


Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.portal.Desktop", Gio.BusNameOwnerFlags.NONE,
                 acquired, named, lambda *a: sys.exit(1))
GLib.MainLoop().run()
