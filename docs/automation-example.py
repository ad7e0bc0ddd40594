#!/usr/bin/python3
"""Drives a running Tarvo over D-Bus: connects to a station, sends one line and
prints the station's answer, then disconnects.

    docs/automation-example.py [STATION [LINE]]

With `scripts/run --demo` running (or Tarvo registered with `tarvo --register`,
so that the session bus starts it), the default connects to the simulator's
station ECHO, which sends every line back. Needs Debian's python3-dbus.
"""
import sys

import dbus

TIMEOUT = 60  # seconds: a connect waits until the station answered or gave up


def main():
    station = sys.argv[1] if len(sys.argv) > 1 else "ECHO"
    line = sys.argv[2] if len(sys.argv) > 2 else "Hallo Tarvo"

    bus = dbus.SessionBus()
    app = dbus.Interface(bus.get_object("org.morvane.Tarvo", "/org/morvane/Tarvo"),
                         "org.morvane.Tarvo.Application")

    mycalls = bus.get_object("org.morvane.Tarvo", app.MyCalls())
    calls = [bus.get_object("org.morvane.Tarvo", path).Get(
        "org.morvane.Tarvo.MyCall", "Call", dbus_interface=dbus.PROPERTIES_IFACE)
        for path in mycalls.GetAll(dbus_interface="org.morvane.Tarvo.MyCalls")]
    print("own callsigns:", ", ".join(calls))

    # Returns once the link is up or the attempt is over.
    path = app.Connect(station, timeout=TIMEOUT)
    conn_object = bus.get_object("org.morvane.Tarvo", path)
    props = dbus.Interface(conn_object, dbus.PROPERTIES_IFACE)
    conn = dbus.Interface(conn_object, "org.morvane.Tarvo.Connection")
    if props.Get("org.morvane.Tarvo.Connection", "State") != 3:
        print("no link to", station)
        return 1
    print("connected:", props.Get("org.morvane.Tarvo.Connection", "MyCall"), "->",
          props.Get("org.morvane.Tarvo.Connection", "Path"))

    conn.SendTextLine(line)
    # Everything the station sent since the connect, until the line is back.
    received = ""
    while line not in received:
        received += conn.ReceiveText(timeout=TIMEOUT)
    for text in received.replace("\r\n", "\r").split("\r"):
        if text:
            print("answer:", text)
    conn.Disconnect()
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except dbus.exceptions.DBusException as e:
        print("error:", e.get_dbus_message(), file=sys.stderr)
        sys.exit(1)
