#!/usr/bin/env python3
"""A Python host of libVarlo: connects, watches the live state, moves the arm
and handles the errors the library reports.

    python3 varlo_host.py [ADDRESS]     (default 127.0.0.1: VarloSim on this computer)

It moves the arm: small joint and linear moves from where it stands. Exit
status 0 when every step worked, 1 when the controller failed, 2 when
libVarlo could not be found (set VARLO_LIBRARY to its file).
"""
import sys

import varlo


def watch(robot, seconds):
    """Prints the joints about three times a second while the library runs."""
    seen = []
    handler = robot.on_state(seen.append)
    try:
        for _ in range(int(seconds / 0.3)):
            robot.wait(0.3)
            if seen:
                print("  joints", " ".join("%7.2f" % joint for joint in seen[-1].joints))
    finally:
        robot.remove_handler(handler)
    return len(seen)


def main(address):
    try:
        robot = varlo.Robot(address)
    except varlo.LibraryNotFoundError as error:
        print(error, file=sys.stderr)
        return 2
    robot.on_connection(lambda up: print("[connection %s]" % ("up" if up else "down")))
    try:
        with robot:  # connects; on leaving, disables the arm again and disconnects
            state, version = robot.state, robot.version
            print("library %s, controller %s" % (version.library, version.control))
            print("enabled %s, power %s, alarms %s" % (state.enabled, state.powered, list(state.alarms) or "none"))
            print("pose", robot.pose)

            start = robot.joints[:robot.axis_count]
            robot.speed = 60
            robot.enable()  # the arm moves only once the program enabled it
            robot.jointmovj((start[0] + 15,) + start[1:], block=False)  # returns at once
            updates = watch(robot, 1.5)
            robot.relmovl(dz=20)  # blocks until the arm has arrived
            print("after 20 mm up:", robot.pose)

            try:
                robot.movj(5000, 0, 400, 180, 0, 0)
            except varlo.VarloAlarmError as error:
                print("refused as it should be: %s (code %d)" % (error, error.code))
            robot.jointmovj(start)

            robot.set_do(2, True)  # waits until the controller reports it
            print("outputs on:", sorted(robot.do))
            robot.set_do(2, False)
    except varlo.VarloConnectionError as error:
        print("connection: %s" % error, file=sys.stderr)
        return 1
    except varlo.VarloError as error:
        print("%s failed: %s (code %s)" % (error.function, error, error.code), file=sys.stderr)
        return 1
    print("state updates while watching: %d" % updates)
    return 0 if updates else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "127.0.0.1"))
