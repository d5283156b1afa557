#!/usr/bin/python3
"""Drops one file on an X window the way a Linux file manager does (XDnD, version 5).

Usage: xdnd_drop.py WINDOW PATH STATUSFILE
WINDOW is the X window id (decimal) of the target's top-level window, PATH the Unix path of the
file. Under Wine the target's own process turns the drop into WM_DROPFILES, so the drop block
lives in that process whatever its word size. Writes "finished" to STATUSFILE when the target
has taken the drop, or "error: ..." when it did not within the bound, then ends.
"""
import os
import sys
import time
import urllib.parse

from Xlib import X, Xatom, display, protocol

BOUND_SECONDS = 300  # an emulated 32-bit target on a busy machine answers slowly


def client_message(d, window, source, type_name, data):
    event = protocol.event.ClientMessage(
        window=window, client_type=d.intern_atom(type_name), data=(32, data))
    window.send_event(event, event_mask=0)
    d.flush()


def answer_selection(d, request, uri_list):
    """Gives the target the file's URI for its conversion of XdndSelection."""
    uri_type = d.intern_atom("text/uri-list")
    property_atom = request.property or request.target
    if request.target == uri_type:
        request.requestor.change_property(property_atom, uri_type, 8, uri_list)
    elif request.target == d.intern_atom("TARGETS"):
        request.requestor.change_property(property_atom, Xatom.ATOM, 32, [uri_type])
    else:
        property_atom = X.NONE
    notify = protocol.event.SelectionNotify(
        time=request.time, requestor=request.requestor, selection=request.selection,
        target=request.target, property=property_atom)
    request.requestor.send_event(notify, event_mask=0)
    d.flush()


def drop(window_id, path):
    d = display.Display()
    root = d.screen().root
    target = d.create_resource_object("window", window_id)
    if target.get_full_property(d.intern_atom("XdndAware"), X.AnyPropertyType) is None:
        return "error: the window does not advertise XdndAware"
    source = root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
    selection = d.intern_atom("XdndSelection")
    source.set_selection_owner(selection, X.CurrentTime)
    uri_list = ("file://" + urllib.parse.quote(path) + "\r\n").encode()

    # A point inside the window: its file-accepting top-level is found from there.
    geometry = target.get_geometry()
    origin = target.translate_coords(root, 0, 0)
    x, y = -origin.x + geometry.width // 2, -origin.y + geometry.height // 2
    uri_type = d.intern_atom("text/uri-list")
    client_message(d, target, source, "XdndEnter", [source.id, 5 << 24, uri_type, 0, 0])
    client_message(d, target, source, "XdndPosition",
                   [source.id, 0, (x << 16) | y, X.CurrentTime, d.intern_atom("XdndActionCopy")])

    deadline = time.monotonic() + BOUND_SECONDS
    dropped = False
    while time.monotonic() < deadline:
        if not d.pending_events():
            time.sleep(0.02)
            continue
        event = d.next_event()
        if event.type == X.SelectionRequest:
            answer_selection(d, event, uri_list)
        elif event.type == X.ClientMessage:
            name = d.get_atom_name(event.client_type)
            data = event.data[1]
            if name == "XdndStatus" and not dropped:
                if not data[1] & 1:
                    return "error: the window refused the drop"
                client_message(d, target, source, "XdndDrop", [source.id, 0, X.CurrentTime, 0, 0])
                dropped = True
            elif name == "XdndFinished":
                return "finished"
    return "error: no answer from the window within %d s" % BOUND_SECONDS


def main():
    window_id, path, status_file = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    try:
        outcome = drop(window_id, path)
    except Exception as error:  # any X error is the drop's failure, told to the test
        outcome = "error: %r" % (error,)
    # Written whole under another name first: the test reads the file as soon as it is there.
    with open(status_file + ".part", "w") as status:
        status.write(outcome)
    os.replace(status_file + ".part", status_file)


if __name__ == "__main__":
    main()
