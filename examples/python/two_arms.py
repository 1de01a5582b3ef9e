#!/usr/bin/env python3
"""Two arms in one Python program: each Robot has its own connection, so the
program moves one arm, then the other, and reads both states.

    python3 two_arms.py ADDRESS1 ADDRESS2     (two controllers, or two VarloSims)

It moves both arms: a small joint move of joint 1 from where each stands, and
back. Ctrl-C stops the arm that moves and raises KeyboardInterrupt. Exit
status 0 when every step worked, 1 when a controller failed.
"""
import sys

import varlo


def show(name, robot):
    state = robot.state
    print("%s: %d axes, %s, joints %s" % (name, robot.axis_count, "enabled" if state.enabled else "disabled",
                                         " ".join("%.1f" % joint for joint in state.joints[:robot.axis_count])))


def nudge(robot, degrees):
    """Turns joint 1 by ``degrees`` and back, waiting for each move."""
    start = list(robot.joints[:robot.axis_count])
    robot.jointmovj([start[0] + degrees] + start[1:])
    print("  %s: joint 1 at %.1f" % (robot.address, robot.joints[0]))
    robot.jointmovj(start)


def main(first, second):
    try:
        with varlo.Robot(first) as left, varlo.Robot(second) as right:
            for robot in (left, right):
                robot.enable()
            show("first ", left)
            show("second", right)
            nudge(left, 20)     # the second arm stands meanwhile
            nudge(right, -20)
            show("first ", left)
            show("second", right)
    except varlo.VarloError as error:
        print("failed: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
