"""The Pythonic layer: one ``Robot`` object for one controller.

    import varlo
    with varlo.Robot("127.0.0.1") as robot:
        robot.movj(x=300, y=0, z=400, a=180, b=0, c=0)

Entering the ``with`` block connects (VarloConnectionError when no controller
answers), leaving it disables the arm again if the Robot enabled it and
disconnects. Motions block until the arm has arrived, unless ``block=False``.

The library does its work, the state exchange and the callbacks included,
only while one of its functions runs. Between calls nothing moves in the
process: ``wait(seconds)`` lets the library run (the live state keeps flowing
and the handlers registered with ``on_state``/``on_connection`` are called),
and ``wait_until(condition)`` waits for a state.

libVarlo keeps one connection per process, so one Robot at a time may be
connected, and every call must come from the thread that connected.
"""
from __future__ import annotations

import ctypes
import math
import numbers
import time
from ctypes import c_bool, c_float, c_int32
from typing import Callable, Iterable, Optional, Sequence, Tuple

from . import errors
from ._library import Library, load_library
from ._records import GPIOAI, GPIOAO, IO, AlarmRecord, ExchangeRecord, PayloadRecord, RunCmd, VersionRecord
from .errors import VarloAlarmError, VarloConnectionError, VarloTimeoutError, invalid
from .state import AlarmInfo, ControlMode, Payload, Pose, State, Version, channels

# How long enable()/disable() and the output writes wait for the controller to confirm.
CONFIRM_TIMEOUT_S = 3.0
# The library exchanges the live state this long after the previous exchange ended.
EXCHANGE_PERIOD_S = 0.3
FRAME_COUNT = 10
CHANNEL_COUNT = 64


def _number(value, what: str) -> float:
    if isinstance(value, bool) or not isinstance(value, numbers.Real) or not math.isfinite(value):
        raise invalid("%s must be a finite number, not %r" % (what, value))
    return float(value)


def _floats(values, count: int, what: str):
    """A C array of ``count`` floats from a sequence of finite numbers."""
    try:
        values = list(values)
    except TypeError:
        raise invalid("%s must be a sequence of %d numbers, not %r" % (what, count, values)) from None
    if len(values) != count:
        raise invalid("%s needs %d numbers, got %d" % (what, count, len(values)))
    return (c_float * count)(*(_number(value, what) for value in values))


def _integer(value, what: str, low: Optional[int] = None, high: Optional[int] = None) -> int:
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise invalid("%s must be an integer, not %r" % (what, value))
    if (low is not None and value < low) or (high is not None and value > high):
        raise invalid("%s must be %d to %d, not %d" % (what, low, high, value))
    return int(value)


def _frame_index(index, what: str) -> int:
    return _integer(index, what, 0, FRAME_COUNT - 1)


def _channel_set(values: Iterable[int]) -> frozenset:
    return frozenset(_integer(channel, "a channel", 1, CHANNEL_COUNT) for channel in values)


def _text(raw: bytes) -> str:
    return raw.decode("latin-1")


def _utf16(units) -> str:
    data = bytes(memoryview((ctypes.c_uint16 * len(units)).from_buffer_copy(units)).cast("B"))
    return data.decode("utf-16-le", "replace").split("\0", 1)[0]


class Robot:
    """A controller reached through libVarlo.

    ``address`` is the controller's IPv4 address ("127.0.0.1" for VarloSim on
    this computer). ``library`` is the path of libVarlo (or a loaded
    ``Library``); without it the library is looked for as ``find_library``
    describes. With ``auto_enable`` (the default) the first motion powers the
    arm on and enables it when it is disabled.
    """

    def __init__(self, address: str = "127.0.0.1", *, library=None, auto_enable: bool = True):
        if not isinstance(address, str) or not address:
            raise invalid("the address must be a non-empty text such as '192.168.1.6', not %r" % (address,))
        self.address = address
        self.auto_enable = auto_enable
        self._lib = library if isinstance(library, Library) else load_library(library)
        self._open = False
        self._connected = False
        self._enabled_here = False
        self._connection_handlers = []
        self._state_handlers = []

    def __repr__(self) -> str:
        return "<varlo.Robot %s %s>" % (self.address, "connected" if self.connected else "not connected")

    # -- connection ----------------------------------------------------------

    def connect(self) -> "Robot":
        """Connects (waits up to about 5 s). Raises VarloConnectionError when no
        controller answers or it reports no robot of 4 or 6 axes."""
        lib = self._lib
        lib.check_thread()
        if lib.active_robot is not None and lib.active_robot is not self:
            raise VarloConnectionError("cannot connect to %s: libVarlo drives one controller per process and is "
                                       "connected to %s; disconnect that Robot first"
                                       % (self.address, lib.active_robot.address))
        lib.install_dispatchers()
        lib.active_robot = self
        started = time.monotonic()
        result = lib.ConnectVarlo(self.address.encode("latin-1"))
        elapsed = time.monotonic() - started
        if result != errors.OK:
            # The library would go on trying in the background: stop it.
            lib.DisconnectVarlo()
            lib.active_robot = None
            self._connected = False
            self._raise_pending()
            raise errors.connect_error(self.address, elapsed)
        self._open = True
        self._connected = True
        self._raise_pending()
        # ConnectVarlo returns before the first state exchange: until its
        # reply the live state reads as zeros.
        self._await_fresh_state(0.0)
        return self

    def disconnect(self) -> None:
        """Disconnects; the connection handlers are called with False. Does
        nothing when not connected."""
        if not self._open:
            return
        self._lib.check_thread()
        self._open = False
        self._enabled_here = False
        self._lib.DisconnectVarlo()
        self._connected = False
        self._lib.active_robot = None
        self._raise_pending()

    def __enter__(self) -> "Robot":
        return self.connect()

    def __exit__(self, *exc_info) -> None:
        try:
            if self._enabled_here and self._connected:
                self.disable()
        except errors.VarloError:
            pass  # leaving anyway; the first error is the one that matters
        finally:
            self.disconnect()

    @property
    def connected(self) -> bool:
        """True while connected and the controller answers."""
        return self._open and self._connected

    def _connection_changed(self, connected: bool) -> None:
        self._connected = connected
        for handler in list(self._connection_handlers):
            handler(connected)

    def _state_changed(self, record) -> None:
        if not self._state_handlers:
            return
        state = State.from_record(record.contents)  # the record lives only during this call
        for handler in list(self._state_handlers):
            handler(state)

    def on_connection(self, handler: Callable[[bool], None]) -> Callable[[bool], None]:
        """Calls ``handler(connected)`` at every change of the connection.

        Returns the handler, so it works as a decorator. An exception raised
        by a handler comes out of the Robot call during which it ran."""
        self._connection_handlers.append(handler)
        return handler

    def on_state(self, handler: Callable[[State], None]) -> Callable[[State], None]:
        """Calls ``handler(state)`` with a ``State`` copy whenever the live state
        changes (several times per exchange, about three exchanges a second).
        Returns the handler."""
        self._state_handlers.append(handler)
        return handler

    def remove_handler(self, handler: Callable) -> None:
        """Stops calling a handler given to on_connection or on_state."""
        for handlers in (self._connection_handlers, self._state_handlers):
            while handler in handlers:
                handlers.remove(handler)

    # -- calling the library -------------------------------------------------

    def _raise_pending(self) -> None:
        error = self._lib.take_pending_error()
        if error is not None:
            raise error

    def _begin(self, function: str, what: str):
        self._lib.check_thread()
        if not self._open:
            raise VarloConnectionError("cannot %s: not connected (use connect() or a with block)" % what,
                                       None, function)
        return getattr(self._lib, function)

    def _call(self, function: str, *args, what: str) -> None:
        result = self._begin(function, what)(*args)
        self._raise_pending()
        if result != errors.OK:
            raise errors.call_error(result, function, what, self.address)

    def _get(self, function: str, ctype, what: str):
        value = ctype()
        self._call(function, ctypes.byref(value) if not isinstance(value, ctypes.Array) else value, what=what)
        return value

    def wait(self, seconds: float) -> None:
        """Lets the library run for ``seconds``: the state exchange, the
        reconnection and the handlers work only while the library is called."""
        deadline = time.monotonic() + max(0.0, seconds)
        rate = c_int32()
        while time.monotonic() < deadline:
            if not self._open:
                time.sleep(max(0.0, deadline - time.monotonic()))
                return
            self._begin("GetRapidRate", "wait")(ctypes.byref(rate))
            self._raise_pending()

    def wait_until(self, condition: Callable[[], bool], timeout: float = CONFIRM_TIMEOUT_S,
                   interval: float = 0.1) -> bool:
        """Waits (letting the library run) until ``condition()`` is true; False
        when ``timeout`` seconds passed first."""
        deadline = time.monotonic() + timeout
        while not condition():
            if time.monotonic() >= deadline:
                return False
            self.wait(interval)
        return True

    def _await_fresh_state(self, settle: float) -> None:
        """Lets the library run for ``settle`` seconds and then until the next
        state exchange reply (at most a second): the state mirrored after that
        was read by a request sent after now."""
        self.wait(settle)
        seen = self._lib.state_notifications
        self.wait_until(lambda: self._lib.state_notifications > seen, 1.0, 0.05)

    # -- live state (as the last state exchange reported it) -----------------

    @property
    def state(self) -> State:
        """Everything the state exchange reports, as one ``State``."""
        return State.from_record(self._get("GetExchange", ExchangeRecord, "read the live state"))

    @property
    def joints(self) -> Tuple[float, ...]:
        """Joints 1 to 6 (degrees; mm for a linear axis)."""
        return tuple(self._get("GetJointCoordinate", c_float * 6, "read the joints"))

    @property
    def pose(self) -> Pose:
        """The tool tip's Cartesian position and orientation in the active frames."""
        return Pose(*self._get("GetCartesianCoordinate", c_float * 6, "read the Cartesian position"))

    @property
    def rdn(self) -> Tuple[int, ...]:
        """The arm configuration r, d, n, cfg (as InverseSolution takes it)."""
        return tuple(self._get("GetRdnCoordinate", c_int32 * 4, "read the arm configuration"))

    @property
    def arm_orientation(self) -> int:
        """The controller's arm orientation code (SCARA: left or right arm)."""
        return self._get("GetArmOrientation", c_int32, "read the arm orientation").value

    @property
    def control_mode(self) -> ControlMode:
        """DISABLED, ENABLED or DRAG. Setting it asks the controller for the mode
        (see enable() and disable(), which also wait for it)."""
        mode = self._get("GetControlMode", c_int32, "read the control mode").value
        try:
            return ControlMode(mode)
        except ValueError:
            return mode  # a code this package does not know: handed out as it came

    @control_mode.setter
    def control_mode(self, mode) -> None:
        code = c_int32(_integer(mode, "the control mode", 0, 2))
        self._call("SetControlMode", ctypes.byref(code), what="set the control mode")

    @property
    def power(self) -> bool:
        """Power of the arm. Setting it switches the power on or off."""
        return self._get("GetPowerMode", c_bool, "read the power state").value

    @power.setter
    def power(self, on: bool) -> None:
        self._call("SetPowerMode", bool(on), what="switch the power")

    @property
    def alarms(self) -> Tuple:
        """The active alarms as ``Alarm(group, number)``."""
        return self.state.alarms

    @property
    def di(self) -> frozenset:
        """The digital inputs that are on, as channel numbers 1 to 64."""
        return channels(self._get("GetDI", IO, "read the digital inputs"))

    @property
    def do(self) -> frozenset:
        """The digital outputs that are on (1 to 64). Assigning a set of
        channels switches exactly those on and waits for the controller."""
        return channels(self._get("GetDO", IO, "read the digital outputs"))

    @do.setter
    def do(self, on: Iterable[int]) -> None:
        self.set_outputs(on)

    # -- enabling, IO, speed, safety -----------------------------------------

    def enable(self, timeout: float = CONFIRM_TIMEOUT_S) -> None:
        """Powers the arm on when needed, enables it and waits until the
        controller reports it enabled."""
        if not self.power:
            self.power = True
        self.control_mode = ControlMode.ENABLED
        if not self.wait_until(lambda: self.control_mode == ControlMode.ENABLED, timeout):
            alarms = self._describe_alarms()
            if alarms:
                raise VarloAlarmError("the arm could not be enabled: active alarms: %s (clear_alarms() clears them)"
                                      % alarms, None, "SetControlMode")
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
        off, and waits until the controller reports them.

        The library sends outputs with its next state exchange and a second
        request before then would replace the first, so each write waits."""
        wanted = _channel_set(on)
        io = IO(enable=True)
        for channel in wanted:
            io.value[channel - 1] = True
        self._call("SetDO", ctypes.byref(io), what="set the digital outputs")
        if not self.wait_until(lambda: self.do == wanted, timeout):
            raise VarloTimeoutError("the controller at %s did not report the outputs %s within %g s"
                                    % (self.address, sorted(wanted), timeout), None, "SetDO")

    def set_do(self, channel: int, on: bool = True) -> None:
        """Switches one output (1 to 64), leaving the others as they are."""
        channel = _integer(channel, "the output channel", 1, CHANNEL_COUNT)
        current = set(self.do)
        (current.add if on else current.discard)(channel)
        self.set_outputs(current)

    @property
    def speed(self) -> int:
        """The global speed ratio (percent). Setting it stores a new ratio."""
        return self._get("GetRapidRate", c_int32, "read the speed ratio").value

    @speed.setter
    def speed(self, rate: int) -> None:
        self._call("SetRapidRate", _integer(rate, "the speed ratio", 1, 100), what="set the speed ratio")

    def clear_alarms(self) -> None:
        """Asks the controller to clear its alarms (with the next exchange)."""
        self._call("ClearAlarms", what="clear the alarms")

    def emergency_stop(self) -> None:
        """Presses the panel's emergency stop; it is released on the controller."""
        self._call("EmergencyStop", what="press the emergency stop")

    def reset_collision(self) -> None:
        """Clears a detected collision so that the arm can move again."""
        self._call("ResetCollision", what="reset the collision")

    @property
    def collision_detection(self) -> Tuple[bool, int]:
        """(on, level) of collision detection; level 1 to 5, 5 the most sensitive."""
        on, level = c_bool(), c_int32()
        self._call("GetCollisionMode", ctypes.byref(on), ctypes.byref(level), what="read collision detection")
        return on.value, level.value

    def set_collision_detection(self, on: bool, level: int) -> None:
        self._call("SetCollisionMode", bool(on), _integer(level, "the collision level", 1, 5),
                   what="set collision detection")

    def alarm_info(self, number: int, servo: bool = False, english: bool = True) -> AlarmInfo:
        """An alarm's level and texts from the controller's catalogue (``servo``
        for the drives' catalogue); empty texts for an unknown number."""
        record = AlarmRecord()
        self._call("GetAlarmsParameter", _integer(number, "the alarm number", 0, 0xFFFFFFFF), 1 if servo else 0,
                   ctypes.byref(record), bool(english), what="read the alarm catalogue")
        return AlarmInfo(record.id, record.level, _utf16(record.description), _utf16(record.cause),
                         _utf16(record.solution))

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

    @property
    def version(self) -> Version:
        """Version texts of the library and the controller ("NULL" where unknown)."""
        record = self._get("GetVarloVersion", VersionRecord, "read the versions")
        return Version(_text(record.library), _text(record.control), _text(record.algs), _text(record.system))

    # -- motion --------------------------------------------------------------

    def _move(self, function: str, target, block: bool, what: str) -> None:
        call = self._begin(function, what)
        if self.auto_enable and self.control_mode == ControlMode.DISABLED:
            self.enable()
        started = time.monotonic()
        result = call(target, bool(block))
        elapsed = time.monotonic() - started
        self._raise_pending()
        if result == errors.OK:
            if block:
                # An exchange reply already on its way holds where the arm was
                # before it arrived; the properties should show the arrival.
                self._await_fresh_state(EXCHANGE_PERIOD_S)
            return
        alarms = ""
        if result == errors.ALARM:
            self.wait(0.4)  # one exchange, so that the alarm is in the live state
            alarms = self._describe_alarms()
        raise errors.motion_error(result, function, what, self.address, elapsed, alarms)

    def _run_cmd(self, x, y, z, a, b, c, tool, user, r, d, n, cfg, arm_orientation) -> RunCmd:
        pose = [_number(value, name) for value, name in zip((x, y, z, a, b, c), "xyzabc")]
        tool = self.tool_index if tool is None else _frame_index(tool, "the tool frame")
        user = self.user_index if user is None else _frame_index(user, "the user frame")
        selectors = [_integer(value, name) for value, name in
                     zip((r, d, n, cfg, arm_orientation), ("r", "d", "n", "cfg", "arm_orientation"))]
        return RunCmd(*pose, tool, user, *selectors)

    def movj(self, x, y, z, a, b, c, *, tool: Optional[int] = None, user: Optional[int] = None, r: int = 0,
             d: int = 0, n: int = 0, cfg: int = 0, arm_orientation: int = 0, block: bool = True) -> None:
        """Point-to-point motion to the pose x, y, z (mm), a, b, c (degrees).

        The pose is taken in the tool and user frames ``tool`` and ``user``
        (default: the active ones, those ``pose`` reports in). ``cfg`` 0 lets
        the controller choose the arm configuration nearest to the present
        joints; another ``cfg`` keeps ``r``, ``d``, ``n`` (six axes) or
        ``arm_orientation`` (0 left arm, other values right arm, SCARA).
        Blocks until the arm has arrived unless ``block`` is False. Raises
        VarloAlarmError (refused or alarm), VarloTimeoutError (no end within
        20 s) or VarloRequestError (command not answered)."""
        command = self._run_cmd(x, y, z, a, b, c, tool, user, r, d, n, cfg, arm_orientation)
        self._move("MovJ", ctypes.byref(command), block, "MovJ to %s" % (Pose(x, y, z, a, b, c),))

    def movl(self, x, y, z, a, b, c, *, tool: Optional[int] = None, user: Optional[int] = None, r: int = 0,
             d: int = 0, n: int = 0, cfg: int = 0, arm_orientation: int = 0, block: bool = True) -> None:
        """Linear motion to a pose; the arguments are those of movj."""
        command = self._run_cmd(x, y, z, a, b, c, tool, user, r, d, n, cfg, arm_orientation)
        self._move("MovL", ctypes.byref(command), block, "MovL to %s" % (Pose(x, y, z, a, b, c),))

    def jointmovj(self, joints: Sequence[float], *, block: bool = True) -> None:
        """Point-to-point motion to six joint positions, joint 1 first."""
        target = _floats(joints, 6, "the joint target")
        self._move("JointMovJ", target, block, "JointMovJ to %s" % (list(joints),))

    def relmovj(self, dx: float = 0.0, dy: float = 0.0, dz: float = 0.0, *, block: bool = True) -> None:
        """Point-to-point motion by an offset along X, Y and Z (mm)."""
        self._move("RelMovJ", _floats((dx, dy, dz), 3, "the offset"), block, "RelMovJ by %s" % ((dx, dy, dz),))

    def relmovl(self, dx: float = 0.0, dy: float = 0.0, dz: float = 0.0, *, block: bool = True) -> None:
        """Linear motion by an offset along X, Y and Z (mm)."""
        self._move("RelMovL", _floats((dx, dy, dz), 3, "the offset"), block, "RelMovL by %s" % ((dx, dy, dz),))

    def jog_start(self, axis: int, positive: bool = True, cartesian: bool = False) -> None:
        """Starts jogging joint ``axis`` (0 to 5), or the Cartesian axis X, Y,
        Z, A, B, C (0 to 5) with ``cartesian``, until jog_stop()."""
        axis = _integer(axis, "the jog axis", 0, 5)
        self._call("CoorTeachStart" if cartesian else "JointTeachStart", axis, bool(positive), what="start jogging")

    def jog_stop(self) -> None:
        """Releases every jog button."""
        self._call("TeachStop", what="stop jogging")

    def jog(self, axis: int, positive: bool = True, seconds: float = 1.0, cartesian: bool = False) -> None:
        """Jogs an axis for ``seconds`` and stops (also when interrupted)."""
        seconds = _number(seconds, "the jog time")
        self.jog_start(axis, positive, cartesian)
        try:
            self.wait(seconds)
        finally:
            self.jog_stop()

    # -- frames, kinematics, payload -----------------------------------------

    @property
    def tool_index(self) -> int:
        """The active tool frame (0 to 9). Setting it selects another; the
        controller confirms it within about a third of a second."""
        return self._get("GetCoordinateToolIndex", c_int32, "read the tool frame index").value

    @tool_index.setter
    def tool_index(self, index: int) -> None:
        self._call("SetCoordinateToolIndex", _frame_index(index, "the tool frame"), what="select the tool frame")

    @property
    def user_index(self) -> int:
        """The active user frame (0 to 9); set like tool_index."""
        return self._get("GetCoordinateUserIndex", c_int32, "read the user frame index").value

    @user_index.setter
    def user_index(self, index: int) -> None:
        self._call("SetCoordinateUserIndex", _frame_index(index, "the user frame"), what="select the user frame")

    def _read_frame(self, function: str, index: int, what: str) -> Pose:
        frame = (c_float * 6)()
        self._call(function, frame, _frame_index(index, what), what="read " + what)
        return Pose(*frame)

    def _write_frame(self, function: str, index: int, frame: Sequence[float], what: str) -> None:
        self._call(function, _floats(frame, 6, what), _frame_index(index, what), what="write " + what)

    def tool_frame(self, index: int) -> Pose:
        """Entry ``index`` (0 to 9) of the tool table."""
        return self._read_frame("GetCoordinateToolParams", index, "the tool frame")

    def set_tool_frame(self, index: int, frame: Sequence[float]) -> None:
        """Writes entry ``index`` of the tool table and marks it in use."""
        self._write_frame("SetCoordinateToolParams", index, frame, "the tool frame")

    def user_frame(self, index: int) -> Pose:
        """Entry ``index`` (0 to 9) of the user table."""
        return self._read_frame("GetCoordinateUserParams", index, "the user frame")

    def set_user_frame(self, index: int, frame: Sequence[float]) -> None:
        """Writes entry ``index`` of the user table and marks it in use."""
        self._write_frame("SetCoordinateUserParams", index, frame, "the user frame")

    def _calibrate(self, function: str, points: Sequence[Sequence[float]], index: int, what: str) -> Pose:
        points = list(points)
        if len(points) != 3:
            raise invalid("%s needs three points, got %d" % (what, len(points)))
        arrays = [_floats(point, 6, "a calibration point") for point in points]
        frame = (c_float * 6)()
        self._call(function, *arrays, frame, _frame_index(index, "the frame index"), what=what)
        return Pose(*frame)

    def calibrate_user(self, points: Sequence[Sequence[float]], index: int) -> Pose:
        """A user frame from three taught poses (origin, a point on +X, a point
        on the +Y side), stored as entry ``index``; raises VarloRequestError
        when the points do not determine a frame."""
        return self._calibrate("CalibrateCoordinateUserToPy", points, index, "calibrate the user frame")

    def calibrate_tool_position(self, points: Sequence[Sequence[float]], index: int) -> Pose:
        """The tool tip's x, y, z from three flange poses around one point."""
        return self._calibrate("CalibrateCoordinateToolPositionToPy", points, index, "calibrate the tool position")

    def calibrate_tool_pose(self, points: Sequence[Sequence[float]], index: int) -> Pose:
        """The tool's a, b, c from three poses (reference, along +X, towards +Z)."""
        return self._calibrate("CalibrateCoordinateToolPoseToPy", points, index, "calibrate the tool orientation")

    def forward(self, joints: Sequence[float], tool: Optional[int] = None, user: Optional[int] = None) -> Pose:
        """The pose of six joint positions, computed by the controller."""
        target = _floats(joints, 6, "the joints")
        tool = self.tool_index if tool is None else _frame_index(tool, "the tool frame")
        user = self.user_index if user is None else _frame_index(user, "the user frame")
        frame = (c_float * 6)()
        self._call("PositiveSolution", target, tool, user, frame, what="compute the forward kinematics")
        return Pose(*frame)

    def inverse(self, pose: Sequence[float], configuration: Optional[Sequence[int]] = None,
                tool: Optional[int] = None, user: Optional[int] = None) -> Tuple[float, ...]:
        """Six joint positions for a pose; ``configuration`` (r, d, n, cfg)
        defaults to the arm's present one."""
        frame = _floats(pose, 6, "the pose")
        configuration = self.rdn if configuration is None else configuration
        if len(configuration) != 4:
            raise invalid("the arm configuration needs 4 integers r, d, n, cfg")
        rdn = (c_int32 * 4)(*(_integer(value, "the arm configuration") for value in configuration))
        tool = self.tool_index if tool is None else _frame_index(tool, "the tool frame")
        user = self.user_index if user is None else _frame_index(user, "the user frame")
        joints = (c_float * 6)()
        self._call("InverseSolution", frame, rdn, tool, user, joints, what="compute the inverse kinematics")
        return tuple(joints)

    @property
    def payload(self) -> Payload:
        """The payload's centre of mass and mass. Setting it has the controller apply it."""
        record = self._get("GetPayLoad", PayloadRecord, "read the payload")
        return Payload(record.x, record.y, record.z, record.loadValue)

    @payload.setter
    def payload(self, payload: Sequence[float]) -> None:
        x, y, z, mass = _floats(payload, 4, "the payload (x, y, z, mass)")
        self._call("SetPayLoad", ctypes.byref(PayloadRecord(x, y, z, mass)), what="set the payload")

    # -- force sensor, torque, analog IO -------------------------------------

    @property
    def force_sensor(self) -> bool:
        """Whether the six-axis force sensor is switched on; settable."""
        return self._get("GetForceSensor", c_bool, "read the force sensor switch").value

    @force_sensor.setter
    def force_sensor(self, on: bool) -> None:
        self._call("SetForceSensor", bool(on), what="switch the force sensor")

    @property
    def force(self) -> Tuple[float, ...]:
        """The force sensor's six readings."""
        return tuple(self._get("GetForceOrgParams", c_float * 6, "read the force sensor"))

    def zero_force_sensor(self) -> None:
        """Takes the present readings of the force sensor as its zero."""
        self._call("SetForceHome", what="zero the force sensor")

    @property
    def torque(self) -> float:
        """The torque parameter; settable."""
        return self._get("GetTorqueParams", c_float, "read the torque parameter").value

    @torque.setter
    def torque(self, value: float) -> None:
        self._call("SetTorqueParams", _number(value, "the torque parameter"), what="set the torque parameter")

    @property
    def analog_inputs(self) -> Tuple[int, int]:
        """The modes of the cabinet's two analog inputs."""
        record = self._get("GetAI", GPIOAI, "read the analog inputs")
        return record.mode1, record.mode2

    @property
    def analog_outputs(self) -> Tuple[Tuple[int, int], ...]:
        """((mode, value), (mode, value)) of the two analog outputs; settable."""
        record = self._get("GetAO", GPIOAO, "read the analog outputs")
        return tuple((channel.mode, channel.value) for channel in record.channel)

    @analog_outputs.setter
    def analog_outputs(self, outputs: Sequence[Sequence[int]]) -> None:
        outputs = list(outputs)
        if len(outputs) != 2 or any(len(channel) != 2 for channel in outputs):
            raise invalid("the analog outputs are two (mode, value) pairs")
        record = GPIOAO()
        for channel, (mode, value) in zip(record.channel, outputs):
            channel.mode, channel.value = _integer(mode, "an analog mode"), _integer(value, "an analog value")
        self._call("SetAO", ctypes.byref(record), what="set the analog outputs")

    def teach_trajectory(self, on: bool) -> None:
        """Presses (True) or releases the teach panel's enabling switch for
        trajectory teaching."""
        self._call("SetTeachTrajectory", bool(on), what="switch trajectory teaching")
