#!/usr/bin/python3
# Prints what a screen reader reads of zan-demo through AT-SPI2, one line:
#   FRAME NAME|active or not|LABEL NAME|LABEL TEXT|focused or not
# or nothing while no application of that name is on the accessibility bus.
# With --names N, prints instead "listening" once it listens, then the next
# N names the program gives its label, one per line, as they are sent.
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def states(accessible, state, word):
    return word if accessible.get_state_set().contains(state) else "not " + word


if sys.argv[1:2] == ["--names"]:
    names = []

    def heard(event):
        if event.source.get_role() == Atspi.Role.LABEL:
            print(event.any_data, flush=True)
            names.append(event.any_data)
            if len(names) == int(sys.argv[2]):
                Atspi.event_quit()

    listener = Atspi.EventListener.new(heard)
    listener.register("object:property-change:accessible-name")
    print("listening", flush=True)
    Atspi.event_main()
    sys.exit(0)

desktop = Atspi.get_desktop(0)
for app in (desktop.get_child_at_index(i) for i in range(desktop.get_child_count())):
    if app is None or app.get_name() != "zan-demo" or app.get_child_count() != 1:
        continue
    frame = app.get_child_at_index(0)
    label = frame.get_child_at_index(0) if frame.get_child_count() == 1 else None
    if label is not None:
        print("|".join([frame.get_name(), states(frame, Atspi.StateType.ACTIVE, "active"),
                        label.get_name(), Atspi.Text.get_text(label, 0, -1),
                        states(label, Atspi.StateType.FOCUSED, "focused")]))
