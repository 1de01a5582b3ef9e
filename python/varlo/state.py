"""Plain Python values for what the library reports: poses, the live state,
alarms, frames, teach points, pallets and the controller's script."""
from __future__ import annotations

import enum
from typing import FrozenSet, NamedTuple, Optional, Tuple


class ControlMode(enum.IntEnum):
    """The arm's control mode, as GetControlMode and SetControlMode code it."""
    # The servos are off: the arm does not move.
    DISABLED = 0
    # The servos are on: the arm takes motions.
    ENABLED = 1
    # Hand guiding: the arm follows the hand.
    DRAG = 2


class Pose(NamedTuple):
    """A Cartesian position (mm) and orientation (degrees): also a frame or a taught point."""
    x: float
    y: float
    z: float
    a: float
    b: float
    c: float

    def __repr__(self) -> str:
        """Pose(x=..., ..., c=...) with the digits the values hold."""
        # The values come from 32-bit floats: seven digits say all they hold.
        return "Pose(%s)" % ", ".join("%s=%.7g" % item for item in zip(self._fields, self))


class Alarm(NamedTuple):
    """An active alarm: ``group`` 0 is the controller's catalogue, 1 to 6 the drives of
    joints 1 to 6; ``number`` is the alarm's id in that catalogue."""
    group: int
    number: int

    @property
    def servo(self) -> bool:
        """True for a drive alarm (look its texts up in the servo catalogue)."""
        return self.group > 0


class Payload(NamedTuple):
    """Centre of mass (mm) and mass (kg) of the payload."""
    x: float
    y: float
    z: float
    mass: float


class Version(NamedTuple):
    """Version texts of the library (``library``) and of the controller's
    motion control, algorithm and system modules (``control``, ``algs``,
    ``system``)."""
    library: str
    control: str
    algs: str
    system: str


class AlarmInfo(NamedTuple):
    """An alarm's entry in a catalogue: its ``id``, its ``level`` (severity),
    what it says, why it comes and what clears it (``description``, ``cause``,
    ``solution``); empty texts when the catalogue lacks it."""
    id: int
    level: int
    description: str
    cause: str
    solution: str


def channels(io) -> FrozenSet[int]:
    """The channel numbers (1 to 64) that are on in a VarloIO record."""
    return frozenset(index + 1 for index, on in enumerate(io.value) if on)


def active_alarms(words) -> Tuple[Alarm, ...]:
    """The alarms set in the 7 x 64 alarm words: number n is bit n % 32 of word n // 32."""
    found = []
    for group, row in enumerate(words):
        for word_index, word in enumerate(row):
            bits = word & 0xFFFFFFFF
            for bit in range(32 if bits else 0):
                if bits >> bit & 1:
                    found.append(Alarm(group, word_index * 32 + bit))
    return tuple(found)


class State(NamedTuple):
    """A copy of the robot's live state (VarloExchangeRecord) at one moment.

    ``enabled``: the control mode is enabled or drag; ``powered``: the arm's
    power is on; ``collision``: a collision was detected; ``jog``: continuous
    jog (False: step mode); ``auto``: automatic mode (False: manual);
    ``tool``, ``user``: the active tool and user frames (0 to 9); ``joints``:
    the joint positions, joint 1 first; ``pose``: the tool's Pose; ``alarms``:
    the active Alarms; ``rdn``: the arm configuration r, d, n, cfg;
    ``arm_orientation``: the controller's hand code of a 4-axis arm; ``do``,
    ``di``: the outputs and inputs that are on (1 to 64); ``stale``: no state
    update for about a second, so the values may be old.
    """
    enabled: bool
    powered: bool
    collision: bool
    jog: bool
    auto: bool
    tool: int
    user: int
    joints: Tuple[float, ...]
    pose: Pose
    alarms: Tuple[Alarm, ...]
    rdn: Tuple[int, ...]
    arm_orientation: int
    do: FrozenSet[int]
    di: FrozenSet[int]
    stale: bool = False

    @classmethod
    def from_core(cls, values) -> "State":
        """The State of the tuple the compiled core reports (control mode first)."""
        (mode, powered, collision, jog, auto, tool, user, joints, pose, alarms, rdn, orientation, do, di,
         stale) = values
        return cls(enabled=mode != ControlMode.DISABLED, powered=powered, collision=collision, jog=jog, auto=auto,
                   tool=tool, user=user, joints=tuple(joints), pose=Pose(*pose),
                   alarms=tuple(Alarm(*alarm) for alarm in alarms), rdn=tuple(rdn), arm_orientation=orientation,
                   do=frozenset(do), di=frozenset(di), stale=stale)

    @classmethod
    def from_record(cls, record) -> "State":
        """The State of a ctypes ``ExchangeRecord`` (the C functions' record)."""
        return cls(
            enabled=bool(record.isEnabled), powered=bool(record.isPower), collision=bool(record.isCollision),
            jog=bool(record.isJog), auto=bool(record.isAuto),
            tool=record.toolCoordinate, user=record.userCoordinate,
            joints=tuple(record.jointCoordinate), pose=Pose(*record.cartesianCoordinate),
            alarms=active_alarms(record.alarms), rdn=tuple(record.rdnCoordinate),
            arm_orientation=record.armOrientation, do=channels(record.DO), di=channels(record.DI))


class Frame(NamedTuple):
    """One entry of the tool or user frame table: whether it is in use, its
    name (at most 22 bytes of UTF-8) and its pose."""
    enabled: bool
    name: str
    pose: Pose


class TeachPoint(NamedTuple):
    """A taught point of a project; its name on the controller is "P" and its
    ``index``, ``name`` its alias. ``pose`` is in tool frame ``tool`` and user
    frame ``user``; ``rdn`` (r, d, n, cfg) is the configuration of a 6-axis
    arm, ``arm_orientation`` the hand of a 4-axis arm (0 left, else right);
    ``load`` the payload index, ``aux`` the auxiliary axes."""
    index: int
    name: str
    pose: Pose
    tool: int = 0
    user: int = 0
    rdn: Tuple[int, int, int, int] = (0, 0, 0, 0)
    arm_orientation: int = 0
    load: int = 0
    aux: Tuple[float, float, float] = (0.0, 0.0, 0.0)


class Pallet(NamedTuple):
    """A pallet of the palletizing process: ``counts`` and ``distances`` (mm)
    along x, y and z, the first point, the safe point (or ``auto_safe_point``)
    and the prepare point, in user frame ``user``."""
    id: int
    name: str
    user: int
    direction: int
    counts: Tuple[int, int, int]
    distances: Tuple[float, float, float]
    first_point: Pose
    safe_point: Pose
    auto_safe_point: bool
    prepare_point: Pose


class ScriptState(NamedTuple):
    """What the controller's script does: ``state`` is "running", "paused" or
    "stopped" ("debugging" while a debug session holds it), ``project`` the
    project it belongs to."""
    state: str
    project: str


class ScriptEvent(NamedTuple):
    """One notification of the controller's script, in the order they came.

    ``kind`` is "line" (``line`` about to run), "move" (``line`` moves the
    arm), "print" (``text`` the script printed), "paused" (the script paused
    itself, or pause_script()), "error" (``text``, the controller's message,
    at ``line``: the script ended), "finished" (it ended by itself) or
    "stopped" (it was stopped)."""
    kind: str
    line: int = 0
    text: str = ""

    @property
    def ends(self) -> bool:
        """True for the last notification of a run: error, finished, stopped."""
        return self.kind in ("error", "finished", "stopped")

    def __str__(self) -> str:
        """The notification as one line of text, such as "line 12"."""
        if self.kind in ("line", "move"):
            return "%s %d" % (self.kind, self.line)
        if self.kind == "error":
            return "error at line %d: %s" % (self.line, self.text)
        return "%s %s" % (self.kind, self.text) if self.text else self.kind
