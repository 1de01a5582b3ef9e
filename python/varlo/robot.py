"""The Pythonic layer: one ``Robot`` object for one controller.

    import varlo
    with varlo.Robot("127.0.0.1") as robot:
        robot.enable()
        robot.movj(x=300, y=0, z=400, a=180, b=0, c=0)

Entering the ``with`` block connects (VarloConnectionError when no controller
answers); leaving it disables the arm again if the Robot enabled it and
disconnects. Motions block until the arm has arrived, unless ``block=False``.

Each Robot has a connection of its own, so a program drives as many
controllers as it makes Robots (one Robot per controller). The library does
its work, the state exchange and the handlers included, only while a call of
a Robot runs; between calls nothing happens. ``wait(seconds)`` lets it run,
``wait_until(condition)`` waits for a state, ``await next_state()`` waits for
the next state update without blocking an asyncio loop.

Ctrl-C (and SIGTERM, unless the program handles it itself) during any call
is seen within about 100 ms: the call ends, the arms this program set moving
(motions, jogs, scripts) are stopped and stand, and then KeyboardInterrupt is
raised. Call every Robot of a program from one thread (Ctrl-C is seen in the
main thread).
"""
from __future__ import annotations

import asyncio
import time
import warnings
import weakref
from collections import deque
from typing import Callable, Deque, Iterable, List, Optional, Sequence, Tuple

from . import errors
from ._core import load_core
from ._checks import _frame_index, _integer, _milliseconds, _number, _numbers
from .errors import VarloAlarmError, VarloConnectionError, VarloRequestError, VarloTimeoutError, invalid
from .script import ScriptMixin
from .settings import SettingsMixin
from .state import Alarm, ControlMode, Pose, ScriptEvent, State

# How long enable()/disable(), clear_alarms() and the outputs wait for the controller to confirm.
CONFIRM_TIMEOUT_S = 3.0
# Digital inputs and outputs, numbered 1 to 64.
CHANNEL_COUNT = 64
# ConnectVarlo's wait for the controller.
CONNECT_TIMEOUT_S = 5.0


class Robot(SettingsMixin, ScriptMixin):
    """A controller and its arm.

    ``address`` is the controller's IPv4 address ("127.0.0.1" for VarloSim on
    this computer). The arm is never enabled or powered on unless the program
    asks: ``enable()``. With ``auto_enable=True`` a motion of a disabled arm
    enables it first (off by default: a motion of a disabled arm raises
    VarloNotEnabledError, nothing is sent).

    Axes are numbered 1 to 6 (1 to 4 on a 4-axis arm); joints are in degrees,
    a linear axis (the third of a SCARA) in mm.
    """

    def __init__(self, address: str = "127.0.0.1", *, auto_enable: bool = False, library=None):
        """A Robot for the controller at ``address``, not yet connected.
        ``library`` is accepted for older programs and ignored."""
        if not isinstance(address, str) or not address:
            raise invalid("the address must be a non-empty text such as '192.168.1.6', not %r" % (address,))
        if library is not None:
            warnings.warn("Robot(library=...) is ignored: the compiled module links libVarlo itself",
                          DeprecationWarning, stacklevel=2)
        # The controller's address.
        self.address = address
        # Whether a motion of a disabled arm enables it first.
        self.auto_enable = auto_enable
        self._core = load_core().Core()
        # Through a weak reference: the core must not keep its Robot alive.
        robot = weakref.ref(self)
        self._core.set_sink(lambda kind, value: robot() is not None and robot()._on_event(kind, value))
        self._open = False
        self._enabled_here = False
        self._connection_handlers: List[Callable[[bool], None]] = []
        self._state_handlers: List[Callable[[State], None]] = []
        self._script_handlers: List[Callable[[ScriptEvent], None]] = []
        self._script_events: Deque[ScriptEvent] = deque()

    def __repr__(self) -> str:
        """The address and whether it is connected."""
        return "<varlo.Robot %s %s>" % (self.address, "connected" if self.connected else "not connected")

    # -- connection ----------------------------------------------------------

    def connect(self, timeout: float = CONNECT_TIMEOUT_S) -> "Robot":
        """Connects, waiting up to ``timeout`` seconds (5 by default), and
        waits for the first state update. Raises VarloConnectionError when no
        controller answers or it reports no robot of 4 or 6 axes."""
        limit = _milliseconds(timeout, "the connect timeout", CONNECT_TIMEOUT_S)
        started = time.monotonic()
        if not self._core.connect(self.address, limit):
            self._core.disconnect()  # the library would go on trying in the background
            raise errors.connect_error(self.address, time.monotonic() - started, limit / 1000.0)
        self._open = True
        # Until the first state exchange reply the live state reads as zeros.
        seen = self._core.exchanges
        self.wait_until(lambda: self._core.exchanges > seen, 1.0)
        return self

    def disconnect(self) -> None:
        """Disconnects; the connection handlers are called with False. Does
        nothing when not connected."""
        if not self._open:
            return
        self._open = False
        self._enabled_here = False
        self._core.disconnect()

    def __enter__(self) -> "Robot":
        """Connects (``with Robot(...) as robot:``)."""
        return self.connect()

    def __exit__(self, *exc_info) -> None:
        """Disables the arm if this Robot enabled it, and disconnects."""
        try:
            if self._enabled_here and self.connected:
                self.disable()
        except errors.VarloError:
            pass  # leaving anyway; the first error is the one that matters
        finally:
            self.disconnect()

    @property
    def connected(self) -> bool:
        """True while connected and the controller answers."""
        return self._open and self._core.connected

    @property
    def axis_count(self) -> int:
        """The arm's axes: 6, or 4 for a SCARA (0 before the first connection)."""
        return self._core.axis_count

    # -- events ----------------------------------------------------------------

    def on_connection(self, handler: Callable[[bool], None]) -> Callable[[bool], None]:
        """Calls ``handler(connected)`` at every change of the connection.

        Handlers run in the caller's thread during the Robot's calls (a wait,
        a blocking motion, any call). An exception raised by a handler ends
        the call during which it ran (stopping what it set moving) and comes
        out of it. Returns the handler, so it works as a decorator."""
        self._connection_handlers.append(handler)
        return handler

    def on_state(self, handler: Callable[[State], None]) -> Callable[[State], None]:
        """Calls ``handler(state)`` with a ``State`` at every state update
        (about three a second). Returns the handler."""
        self._state_handlers.append(handler)
        return handler

    def on_script(self, handler: Callable[[ScriptEvent], None]) -> Callable[[ScriptEvent], None]:
        """Calls ``handler(event)`` with every ``ScriptEvent`` of a script this
        Robot runs (lines, prints, errors, the end), in order. Returns the handler."""
        self._script_handlers.append(handler)
        return handler

    def remove_handler(self, handler: Callable) -> None:
        """Stops calling a handler given to on_connection, on_state or on_script."""
        for handlers in (self._connection_handlers, self._state_handlers, self._script_handlers):
            while handler in handlers:
                handlers.remove(handler)

    def _on_event(self, kind: str, value) -> None:
        # Called by the compiled core, inside a call of this Robot.
        if kind == "state":
            if self._state_handlers:
                state = State.from_core(self._core.state())
                for handler in list(self._state_handlers):
                    handler(state)
        elif kind == "connection":
            for handler in list(self._connection_handlers):
                handler(value)
        elif kind == "script":
            for kind_code, line, text in self._core.take_script_events():
                event = ScriptEvent(_SCRIPT_EVENT_KINDS[kind_code], line, text)
                self._script_events.append(event)
                for handler in list(self._script_handlers):
                    handler(event)

    # -- waiting ---------------------------------------------------------------

    def _check_open(self, what: str) -> None:
        if not self._open:
            raise VarloConnectionError("cannot %s: not connected (use connect() or a with block)" % what)

    def wait(self, seconds: float) -> None:
        """Lets the library run for ``seconds``: the state updates, the
        reconnection and the handlers work only while a Robot call runs."""
        self._check_open("wait")
        self._core.wait(int(max(0.0, _number(seconds, "the time")) * 1000), 0)

    def wait_until(self, condition: Callable[[], bool], timeout: float = CONFIRM_TIMEOUT_S,
                   interval: float = 0.1) -> bool:
        """Lets the library run until ``condition()`` is true, asking it after
        each state update (and at least every ``interval`` seconds); False
        when ``timeout`` seconds passed first."""
        deadline = time.monotonic() + timeout
        wake = int(self._wake.STATE) | int(self._wake.CONNECTION)
        while not condition():
            left = deadline - time.monotonic()
            if left <= 0:
                return False
            self._check_open("wait")
            self._core.wait(max(1, int(min(left, interval) * 1000)), wake)
        return True

    async def next_state(self, timeout: Optional[float] = None) -> State:
        """The state of the next state update, for asyncio programs: the
        library runs in small slices between which the event loop runs other
        tasks. Raises VarloTimeoutError after ``timeout`` seconds."""
        self._check_open("wait for the state")
        seen = self._core.exchanges
        deadline = None if timeout is None else time.monotonic() + timeout
        while self._core.exchanges == seen:
            self._core.wait(0, 0)
            if deadline is not None and time.monotonic() > deadline:
                raise VarloTimeoutError("no state update from %s within %g s" % (self.address, timeout))
            await asyncio.sleep(0.01)
        return self.state

    @property
    def _wake(self):
        return load_core().Wake

    # -- live state (as the last state update reported it) ---------------------

    @property
    def state(self) -> State:
        """Everything the state exchange reports, as one ``State``."""
        self._check_open("read the live state")
        return State.from_core(self._core.state())

    @property
    def joints(self) -> Tuple[float, ...]:
        """Joints 1 to 6 (degrees; mm for a linear axis; a 4-axis arm reports 0
        for joints 5 and 6)."""
        return self.state.joints

    @property
    def pose(self) -> Pose:
        """The tool tip's Cartesian position and orientation in the active frames."""
        return self.state.pose

    @property
    def rdn(self) -> Tuple[int, ...]:
        """The arm configuration r, d, n, cfg (as inverse() takes it)."""
        return self.state.rdn

    @property
    def arm_orientation(self) -> int:
        """The controller's arm orientation code (SCARA: left or right arm)."""
        return self.state.arm_orientation

    @property
    def control_mode(self) -> ControlMode:
        """DISABLED, ENABLED or DRAG. Setting it asks the controller for the mode
        (see enable() and disable(), which also wait for it)."""
        self._check_open("read the control mode")
        mode = self._core.state()[0]
        try:
            return ControlMode(mode)
        except ValueError:
            return mode  # a code this package does not know: handed out as it came

    @control_mode.setter
    def control_mode(self, mode) -> None:
        """Asks the controller for the mode; does not wait for it."""
        code = _integer(mode, "the control mode", 0, 2)
        self._check_open("set the control mode")
        self._core.set_control_mode(code)

    @property
    def power(self) -> bool:
        """Power of the arm. Setting it switches the power on or off."""
        return self.state.powered

    @power.setter
    def power(self, on: bool) -> None:
        """Switches the arm's power on or off."""
        self._check_open("switch the power")
        self._core.set_power(bool(on))

    @property
    def alarms(self) -> Tuple[Alarm, ...]:
        """The active alarms as ``Alarm(group, number)``."""
        return self.state.alarms

    @property
    def di(self) -> frozenset:
        """The digital inputs that are on, as channel numbers 1 to 64."""
        return self.state.di

    @property
    def do(self) -> frozenset:
        """The digital outputs that are on (1 to 64). Assigning a set of
        channels switches exactly those on and waits for the controller."""
        return self.state.do

    @do.setter
    def do(self, on: Iterable[int]) -> None:
        """Switches exactly the channels in ``on`` on (see set_outputs())."""
        self.set_outputs(on)

    # -- enabling, IO, speed, safety -----------------------------------------

    def enable(self, timeout: float = CONFIRM_TIMEOUT_S) -> None:
        """Powers the arm on when needed, enables it and waits until the
        controller reports it enabled. Raises VarloAlarmError naming the
        alarms that keep it disabled (and how to release a pressed emergency
        stop)."""
        if not self.power:
            self.power = True
        self.control_mode = ControlMode.ENABLED
        if not self.wait_until(lambda: self.control_mode == ControlMode.ENABLED, timeout):
            alarms = self._describe_alarms()
            if alarms:
                raise VarloAlarmError("the arm could not be enabled: active alarms: %s%s"
                                      % (alarms, self._alarm_hint()), None, "SetControlMode")
            raise VarloTimeoutError("the controller at %s did not report the arm enabled within %g s (power off? "
                                    "emergency stop?)" % (self.address, timeout), None, "SetControlMode")
        self._enabled_here = True

    def disable(self, timeout: float = CONFIRM_TIMEOUT_S) -> None:
        """Disables the arm and waits until the controller reports it."""
        self.control_mode = ControlMode.DISABLED
        self._enabled_here = False
        if not self.wait_until(lambda: self.control_mode == ControlMode.DISABLED, timeout):
            raise VarloTimeoutError("the controller at %s did not report the arm disabled within %g s"
                                    % (self.address, timeout), None, "SetControlMode")

    def set_outputs(self, on: Iterable[int], timeout: float = CONFIRM_TIMEOUT_S) -> None:
        """Switches the outputs in ``on`` (channels 1 to 64) on and all others
        off, and waits until the controller reports them."""
        wanted = frozenset(_integer(channel, "a channel", 1, CHANNEL_COUNT) for channel in on)
        self._check_open("set the digital outputs")
        self._core.set_outputs(sorted(wanted))
        if not self.wait_until(lambda: self.do == wanted, timeout):
            raise VarloTimeoutError("the controller at %s did not report the outputs %s within %g s"
                                    % (self.address, sorted(wanted), timeout), None, "SetDO")

    def set_do(self, channel: int, on: bool = True, timeout: float = CONFIRM_TIMEOUT_S) -> None:
        """Switches one output (1 to 64), leaving the others as the controller
        has them, and waits until the controller reports it."""
        channel = _integer(channel, "the output channel", 1, CHANNEL_COUNT)
        limit = _milliseconds(timeout, "the timeout", CONFIRM_TIMEOUT_S)
        self._check_open("set a digital output")
        if not self._core.set_output(channel, bool(on), limit):
            raise VarloTimeoutError("the controller at %s did not report output %d %s within %g s"
                                    % (self.address, channel, "on" if on else "off", limit / 1000.0), None, "SetDO")

    @property
    def speed(self) -> int:
        """The global speed ratio (percent). Setting it stores a new ratio."""
        self._check_open("read the speed ratio")
        return int(self._core.speed())

    @speed.setter
    def speed(self, rate: int) -> None:
        """Stores a new speed ratio, 1 to 100 percent."""
        rate = _integer(rate, "the speed ratio", 1, 100)
        self._check_open("set the speed ratio")
        if not self._core.set_speed(rate):
            raise errors.call_error(errors.REQUEST_FAILED, "SetRapidRate", "set the speed ratio", self.address)

    def clear_alarms(self, timeout: float = CONFIRM_TIMEOUT_S) -> None:
        """Asks the controller to clear its alarms and waits until it reports
        none. Raises VarloAlarmError naming the alarms that stay (a pressed
        emergency stop must be released first: release_emergency_stop())."""
        self._check_open("clear the alarms")
        self._core.clear_alarms()
        # The request goes with the next state exchange; its reply shows the result.
        seen = self._core.exchanges
        if self.wait_until(lambda: self._core.exchanges >= seen + 2 and not self.alarms, timeout):
            return
        alarms = self._describe_alarms()
        if alarms:
            raise VarloAlarmError("the alarms are still active after clearing: %s%s"
                                  % (alarms, self._alarm_hint()), errors.ALARM, "ClearAlarms")

    def emergency_stop(self) -> None:
        """Presses the panel's emergency stop: the controller stops and
        disables the arm. Release it with release_emergency_stop()."""
        self._check_open("press the emergency stop")
        self._core.emergency_stop(True)

    def release_emergency_stop(self) -> None:
        """Releases the panel's emergency stop. The alarm it raised stays until
        clear_alarms(); then enable() the arm again."""
        self._check_open("release the emergency stop")
        self._core.emergency_stop(False)

    def set_auto_mode(self, automatic: bool) -> None:
        """Turns the panel's key to automatic (True) or manual (False); the
        state's ``auto`` follows once the controller took it."""
        self._check_open("turn the auto/manual key")
        self._core.auto_manual(bool(automatic))

    def set_enabling_switch(self, pressed: bool) -> None:
        """Presses (True) or releases the panel's three-position enabling switch."""
        self._check_open("switch the enabling switch")
        self._core.enabling_switch(bool(pressed))

    def reset_collision(self) -> None:
        """Clears a detected collision so that the arm can move again."""
        self._check_open("reset the collision")
        self._core.reset_collision()

    def _describe_alarms(self, limit: int = 3) -> str:
        try:
            found = self.alarms
            texts = []
            for alarm in found[:limit]:
                source = "drive %d alarm %d" % (alarm.group, alarm.number) if alarm.servo else \
                    "controller alarm %d" % alarm.number
                description = self.alarm_info(alarm.number, alarm.servo).description
                texts.append("%s (%s)" % (source, description) if description else source)
        except errors.VarloError:
            return ""
        if len(found) > limit:
            texts.append("%d more" % (len(found) - limit))
        return ", ".join(texts)

    def _alarm_hint(self) -> str:
        """How to get rid of the active alarms, in words."""
        try:
            pressed = any(not alarm.servo and "emergency stop" in
                          self.alarm_info(alarm.number).description.lower() for alarm in self.alarms)
        except errors.VarloError:
            pressed = False
        if pressed:
            return ("; the emergency stop is pressed: release it (robot.release_emergency_stop(), or on the panel), "
                    "then clear_alarms() and enable()")
        return "; remove their cause, then clear_alarms()"

    # -- motion --------------------------------------------------------------

    def _ready_to_move(self, what: str) -> None:
        self._check_open(what)
        if self.control_mode != ControlMode.DISABLED:
            return
        if not self.auto_enable:
            raise errors.not_enabled(what, self.address)
        self.enable()

    def _move(self, send: Callable[[int], int], block: bool, timeout: Optional[float], what: str,
              function: str) -> None:
        limit = _milliseconds(timeout, "the timeout", errors.MOTION_LIMIT_S)
        self._ready_to_move(what)
        outcome = send(limit)
        if outcome == errors.ARRIVED:
            return
        alarms = ""
        if outcome == errors.ENDED_IN_ALARM:
            self.wait(0.4)  # one exchange, so that the alarm is in the live state
            if self.control_mode == ControlMode.DISABLED and not self.alarms:
                raise errors.not_enabled(what, self.address)
            alarms = self._describe_alarms()
        error = errors.motion_error(outcome, what, self.address, limit / 1000.0, alarms)
        error.function = function
        raise error

    def _go(self, linear: bool, x, y, z, a, b, c, tool, user, r, d, n, cfg, arm_orientation, block, timeout):
        pose = [_number(value, name) for value, name in zip((x, y, z, a, b, c), "xyzabc")]
        tool = self.tool_index if tool is None else _frame_index(tool, "the tool frame")
        user = self.user_index if user is None else _frame_index(user, "the user frame")
        selectors = [_integer(value, name) for value, name in
                     zip((r, d, n, cfg, arm_orientation), ("r", "d", "n", "cfg", "arm_orientation"))]
        function = "MovL" if linear else "MovJ"
        self._move(lambda limit: self._core.go(linear, pose, tool, user, selectors, bool(block), limit), block,
                   timeout, "%s to %s" % (function, Pose(*pose)), function)

    def movj(self, x, y, z, a, b, c, *, tool: Optional[int] = None, user: Optional[int] = None, r: int = 0,
             d: int = 0, n: int = 0, cfg: int = 0, arm_orientation: int = 0, block: bool = True,
             timeout: Optional[float] = None) -> None:
        """Point-to-point motion to the pose x, y, z (mm), a, b, c (degrees).

        The pose is taken in the tool and user frames ``tool`` and ``user``
        (default: the active ones, those ``pose`` reports in). ``cfg`` 0 lets
        the controller choose the arm configuration nearest to the present
        joints; another ``cfg`` keeps ``r``, ``d``, ``n`` (six axes) or
        ``arm_orientation`` (0 left arm, other values right arm, SCARA).

        Blocks until the arm has arrived unless ``block`` is False, at most
        ``timeout`` seconds (20 by default; a longer move needs more). Raises
        VarloNotEnabledError (the arm is disabled: nothing sent),
        VarloAlarmError (refused or alarm), VarloTimeoutError (no end in
        time: the arm may still move), VarloConnectionError (the controller
        was lost) or VarloRequestError (command not answered)."""
        self._go(False, x, y, z, a, b, c, tool, user, r, d, n, cfg, arm_orientation, block, timeout)

    def movl(self, x, y, z, a, b, c, *, tool: Optional[int] = None, user: Optional[int] = None, r: int = 0,
             d: int = 0, n: int = 0, cfg: int = 0, arm_orientation: int = 0, block: bool = True,
             timeout: Optional[float] = None) -> None:
        """Linear motion to a pose; the arguments are those of movj."""
        self._go(True, x, y, z, a, b, c, tool, user, r, d, n, cfg, arm_orientation, block, timeout)

    def jointmovj(self, joints: Sequence[float], *, block: bool = True, timeout: Optional[float] = None) -> None:
        """Point-to-point motion to joint positions, joint 1 first: as many
        values as the arm has axes (6, or 4 for a SCARA), in degrees (mm for a
        linear axis). Blocks and raises as movj does."""
        count = self.axis_count or 6
        target = _numbers(joints, count, "the joint target of this %d-axis arm" % count)
        target += [0.0] * (6 - count)
        self._move(lambda limit: self._core.move_joints(target, bool(block), limit), block, timeout,
                   "JointMovJ to %s" % (target[:count],), "JointMovJ")

    def relmovj(self, dx: float = 0.0, dy: float = 0.0, dz: float = 0.0, *, block: bool = True,
                timeout: Optional[float] = None) -> None:
        """Point-to-point motion by an offset along X, Y and Z (mm)."""
        offset = _numbers((dx, dy, dz), 3, "the offset")
        self._move(lambda limit: self._core.move_relative(False, *offset, bool(block), limit), block, timeout,
                   "RelMovJ by %s" % (tuple(offset),), "RelMovJ")

    def relmovl(self, dx: float = 0.0, dy: float = 0.0, dz: float = 0.0, *, block: bool = True,
                timeout: Optional[float] = None) -> None:
        """Linear motion by an offset along X, Y and Z (mm)."""
        offset = _numbers((dx, dy, dz), 3, "the offset")
        self._move(lambda limit: self._core.move_relative(True, *offset, bool(block), limit), block, timeout,
                   "RelMovL by %s" % (tuple(offset),), "RelMovL")

    def stop(self) -> bool:
        """Stops the arm (motions and jogs) and waits until it stands; True
        when the controller reports it standing within about 2 s."""
        self._check_open("stop the arm")
        return self._core.stop()

    def _jog_axis(self, axis, cartesian: bool) -> int:
        count = self.axis_count or 6
        axis = _integer(axis, "the jog axis (1 to 6: a joint, or x, y, z, a, b, c)", 1, 6)
        if not self._core.is_jog_axis(axis - 1, bool(cartesian)):
            names = "x, y, z and c (1, 2, 3, 6)" if cartesian else "joints 1 to %d" % count
            raise invalid("this %d-axis arm jogs %s: there is no axis %d to jog" % (count, names, axis))
        return axis - 1

    def jog_start(self, axis: int, positive: bool = True, cartesian: bool = False) -> None:
        """Starts jogging joint ``axis`` (1 to 6), or with ``cartesian`` the
        axis x, y, z, a, b, c (1 to 6) of the user frame, until jog_stop().
        The button is pressed only once the controller took the coordinate.
        An axis the arm does not have (a 4-axis arm: joints 5 and 6;
        Cartesian a and b) is refused: nothing is sent."""
        index = self._jog_axis(axis, cartesian)
        self._ready_to_move("jog")
        if not self._core.jog_start(index, bool(positive), bool(cartesian)):
            raise VarloRequestError("the controller at %s did not take the jog" % self.address, errors.REQUEST_FAILED)

    def jog_stop(self) -> None:
        """Releases every jog button."""
        self._check_open("stop jogging")
        if not self._core.jog_stop():
            raise VarloRequestError("the controller at %s did not answer the release of the jog buttons: the arm may "
                                    "still move (stop(), or the emergency stop)" % self.address, errors.REQUEST_FAILED)

    def jog(self, axis: int, positive: bool = True, seconds: float = 1.0, cartesian: bool = False) -> None:
        """Jogs an axis (1 to 6, as jog_start) for ``seconds`` and releases the
        buttons; interrupted (Ctrl-C), it releases them at once and waits until
        the arm stands."""
        index = self._jog_axis(axis, cartesian)
        limit = _milliseconds(seconds, "the jog time", 1.0)
        self._ready_to_move("jog")
        if not self._core.jog(index, bool(positive), bool(cartesian), limit):
            raise VarloRequestError("the controller at %s did not take the jog" % self.address, errors.REQUEST_FAILED)

    # -- active frames ---------------------------------------------------------

    @property
    def tool_index(self) -> int:
        """The active tool frame (0 to 9). Setting it selects another; the
        controller confirms it within about a third of a second."""
        return self.state.tool

    @tool_index.setter
    def tool_index(self, index: int) -> None:
        """Selects tool frame ``index`` (0 to 9)."""
        index = _frame_index(index, "the tool frame")
        self._check_open("select the tool frame")
        self._core.set_frame_index(False, index)

    @property
    def user_index(self) -> int:
        """The active user frame (0 to 9); set like tool_index."""
        return self.state.user

    @user_index.setter
    def user_index(self, index: int) -> None:
        """Selects user frame ``index`` (0 to 9)."""
        index = _frame_index(index, "the user frame")
        self._check_open("select the user frame")
        self._core.set_frame_index(True, index)


_SCRIPT_EVENT_KINDS = ("line", "move", "print", "error", "paused", "finished", "stopped")
