#!/usr/bin/python3
"""What a screen reader learns of the program over the accessibility bus (AT-SPI).

  a11y.py focus              the control that has the focus: "ROLE|NAME"
  a11y.py windows            the program's top-level windows: "ROLE|NAME", one a line
  a11y.py value NAME         the current value of the control of that name
  a11y.py tree               the whole tree, indented: "ROLE|NAME|STATES"
  a11y.py text ROLE          what is read of every object of that role ("document web")

The program is the application named "tavro" on the bus. Every query is bounded: a call that
the program does not answer within the bus's own time-out fails with status 3.
"""
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402


def app():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        child = desktop.get_child_at_index(i)
        if child is not None and child.get_name() == "tavro":
            return child
    sys.exit("no application tavro on the accessibility bus")


def describe(node):
    return f"{node.get_role_name()}|{node.get_name()}"


def walk(node, depth=0):
    yield node, depth
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from walk(child, depth + 1)


def showing(node):
    return node.get_state_set().contains(Atspi.StateType.SHOWING)


def focused():
    # A page reports the focus it would have whether or not its view has the keyboard's:
    # a control of the program's own that has the focus comes first.
    # A container that holds the focused control may say it is focused too: the innermost wins.
    found = [(node, depth) for node, depth in walk(app())
             if node.get_state_set().contains(Atspi.StateType.FOCUSED) and showing(node)]
    found.sort(key=lambda pair: (pair[0].get_role_name() == "document web", -pair[1]))
    return describe(found[0][0]) if found else "none|"


def value(name):
    for node, _ in walk(app()):
        if node.get_name() == name and showing(node):
            iface = node.get_value_iface()
            if iface is not None:
                return str(int(iface.get_current_value()))
    sys.exit(f"no control named {name} with a value")


def text(role):
    """What a screen reader reads of every object of the role: the names below it, in order."""
    found = []
    for node, _ in walk(app()):
        if node.get_role_name() == role:
            found += [part.get_name() for part, _ in walk(node) if part.get_name()]
    return "\n".join(found)


def tree():
    lines = []
    for node, depth in walk(app()):
        states = ",".join(
            s.value_nick for s in (Atspi.StateType.FOCUSED, Atspi.StateType.SHOWING, Atspi.StateType.ENABLED)
            if node.get_state_set().contains(s))
        lines.append("  " * depth + describe(node) + "|" + states)
    return "\n".join(lines)


def main():
    command = sys.argv[1] if len(sys.argv) > 1 else ""
    try:
        if command == "focus":
            print(focused())
        elif command == "windows":
            top = app()
            print("\n".join(describe(top.get_child_at_index(i)) for i in range(top.get_child_count())))
        elif command == "value" and len(sys.argv) == 3:
            print(value(sys.argv[2]))
        elif command == "tree":
            print(tree())
        elif command == "text" and len(sys.argv) == 3:
            print(text(sys.argv[2]))
        else:
            sys.exit(__doc__)
    except GLib.Error as error:
        print(f"no answer: {error.message}", file=sys.stderr)
        sys.exit(3)


if __name__ == "__main__":
    main()
