"""What a Robot reads and writes of the controller's settings: the frame
tables, kinematics and calibration, payload, force sensor, analog IO,
collision detection, the alarm catalogue, versions, settings documents, a
project's teach points and the pallets.

Settings documents and tables are read and written whole. A change of part of
one (``edit_document``, ``set_tool_frame``, the calibrations) reads it first
and writes nothing when it could not be read, so a network fault never
replaces the controller's settings with a partial copy.
"""
from __future__ import annotations

import contextlib
import json
import re
from typing import Any, Dict, Iterator, List, Optional, Sequence, Tuple

from . import errors
from ._checks import _frame_index, _integer, _number, _numbers
from .errors import VarloRequestError, invalid
from .state import AlarmInfo, Frame, Pallet, Payload, Pose, TeachPoint, Version

# What read_document found (QHttpManager::ParaRead).
_READ, _MISSING, _FAILED = 0, 1, 2
# A settings document's name: "/settings/common", "/properties/axis", ...
_DOCUMENT_NAME = re.compile(r"^(/[A-Za-z0-9_.-]+)+$")
_PROJECT_NAME = re.compile(r"^[A-Za-z0-9_][A-Za-z0-9_.-]*$")


def _failed(address: str, what: str) -> VarloRequestError:
    return VarloRequestError("the controller at %s could not %s (no answer, or it refused)" % (address, what),
                             errors.REQUEST_FAILED)


def _document_name(name: str) -> str:
    if not isinstance(name, str) or not _DOCUMENT_NAME.match(name) or "/.." in name or "/./" in name + "/":
        raise invalid("a settings document is named like '/settings/common', not %r" % (name,))
    return name


def _project_name(project: str) -> str:
    if not isinstance(project, str) or not _PROJECT_NAME.match(project) or ".." in project:
        raise invalid("a project is named by letters, digits, '_', '-' and '.', not %r" % (project,))
    return project


class SettingsMixin:
    """The settings members of ``Robot`` (see varlo.robot)."""

    def _answer(self, value, what: str):
        """``value``, or VarloRequestError when the core reported no answer (None or False)."""
        if value is None or value is False:
            raise _failed(self.address, what)
        return value

    def _settings_call(self, what: str, method: str, *args):
        self._check_open(what)
        return self._answer(getattr(self._core, method)(*args), what)

    # -- frame tables ----------------------------------------------------------

    def _frames(self, user: bool) -> List[Frame]:
        what = "read the %s frame table" % ("user" if user else "tool")
        return [Frame(bool(on), name, Pose(*pose)) for on, name, pose in self._settings_call(what, "frames", user)]

    def _set_frames(self, user: bool, frames: Sequence[Frame]) -> None:
        frames = list(frames)
        if len(frames) != 10:
            raise invalid("a frame table has 10 frames, got %d" % len(frames))
        rows = []
        for frame in frames:
            on, name, pose = frame
            if not isinstance(name, str):
                raise invalid("a frame's name is a text, not %r" % (name,))
            rows.append((bool(on), name, _numbers(pose, 6, "a frame's pose")))
        self._settings_call("write the %s frame table" % ("user" if user else "tool"), "set_frames", user, rows)

    def _edit_frame(self, user: bool, index: int, change) -> Frame:
        index = _frame_index(index, "the frame index")
        frames = self._frames(user)  # raises when it could not be read: nothing is written then
        frames[index] = change(frames[index])
        self._set_frames(user, frames)
        return frames[index]

    def tool_frames(self) -> List[Frame]:
        """The tool frame table: ten ``Frame(enabled, name, pose)``, frame 0
        first. Raises VarloRequestError when it could not be read."""
        return self._frames(False)

    def set_tool_frames(self, frames: Sequence[Frame]) -> None:
        """Writes the whole tool frame table (ten frames)."""
        self._set_frames(False, frames)

    def user_frames(self) -> List[Frame]:
        """The user frame table, as tool_frames()."""
        return self._frames(True)

    def set_user_frames(self, frames: Sequence[Frame]) -> None:
        """Writes the whole user frame table (ten frames)."""
        self._set_frames(True, frames)

    def tool_frame(self, index: int) -> Pose:
        """The pose of tool frame ``index`` (0 to 9)."""
        return self._frames(False)[_frame_index(index, "the tool frame")].pose

    def set_tool_frame(self, index: int, frame: Sequence[float], name: Optional[str] = None) -> None:
        """Sets tool frame ``index`` (0 to 9) to the pose ``frame`` and marks it
        in use (``name`` renames it); the other frames stay as read."""
        pose = Pose(*_numbers(frame, 6, "the tool frame"))
        self._edit_frame(False, index, lambda old: Frame(True, old.name if name is None else name, pose))

    def user_frame(self, index: int) -> Pose:
        """The pose of user frame ``index`` (0 to 9)."""
        return self._frames(True)[_frame_index(index, "the user frame")].pose

    def set_user_frame(self, index: int, frame: Sequence[float], name: Optional[str] = None) -> None:
        """Sets user frame ``index`` (0 to 9), as set_tool_frame."""
        pose = Pose(*_numbers(frame, 6, "the user frame"))
        self._edit_frame(True, index, lambda old: Frame(True, old.name if name is None else name, pose))

    # -- calibration and kinematics --------------------------------------------

    def _calibrate(self, kind: str, points: Sequence[Sequence[float]], index: int, user: bool, first: int,
                   count: int, what: str) -> Pose:
        points = list(points)
        if len(points) != 3:
            raise invalid("%s needs three points, got %d" % (what, len(points)))
        taught = [_numbers(point, 6, "a calibration point") for point in points]
        index = _frame_index(index, "the frame index")
        result = Pose(*self._settings_call(what, "calibrate", kind, taught))

        def change(old: Frame) -> Frame:
            pose = list(old.pose)
            pose[first:first + count] = result[first:first + count]
            return Frame(True, old.name, Pose(*pose))
        self._edit_frame(user, index, change)
        return result

    def calibrate_user(self, points: Sequence[Sequence[float]], index: int) -> Pose:
        """A user frame from three taught poses (origin, a point on +X, a point
        on the +Y side), stored as user frame ``index``; raises
        VarloRequestError when the points do not determine a frame."""
        return self._calibrate("user", points, index, True, 0, 6, "calibrate the user frame")

    def calibrate_tool_position(self, points: Sequence[Sequence[float]], index: int) -> Pose:
        """The tool tip's x, y, z from three flange poses around one point,
        stored in tool frame ``index``."""
        return self._calibrate("tool_position", points, index, False, 0, 3, "calibrate the tool position")

    def calibrate_tool_pose(self, points: Sequence[Sequence[float]], index: int) -> Pose:
        """The tool's a, b, c from three poses (reference, along +X, towards
        +Z), stored in tool frame ``index``."""
        return self._calibrate("tool_pose", points, index, False, 3, 3, "calibrate the tool orientation")

    def _frames_of(self, tool, user) -> Tuple[int, int]:
        return (self.tool_index if tool is None else _frame_index(tool, "the tool frame"),
                self.user_index if user is None else _frame_index(user, "the user frame"))

    def forward(self, joints: Sequence[float], tool: Optional[int] = None, user: Optional[int] = None) -> Pose:
        """The pose of six joint positions (degrees, mm for a linear axis),
        computed by the controller, in the given (else the active) frames."""
        target = _numbers(joints, 6, "the joints")
        tool, user = self._frames_of(tool, user)
        return Pose(*self._settings_call("compute the forward kinematics", "forward", target, tool, user))

    def inverse(self, pose: Sequence[float], configuration: Optional[Sequence[int]] = None,
                tool: Optional[int] = None, user: Optional[int] = None) -> Tuple[float, ...]:
        """Six joint positions for a pose; ``configuration`` (r, d, n, cfg)
        defaults to the arm's present one."""
        frame = _numbers(pose, 6, "the pose")
        configuration = self.rdn if configuration is None else list(configuration)
        if len(configuration) != 4:
            raise invalid("the arm configuration needs 4 integers r, d, n, cfg")
        rdn = [_integer(value, "the arm configuration") for value in configuration]
        tool, user = self._frames_of(tool, user)
        return tuple(self._settings_call("compute the inverse kinematics", "inverse", frame, rdn, tool, user))

    # -- payload, force sensor, torque, analog IO, collision -------------------

    @property
    def payload(self) -> Payload:
        """The payload's centre of mass (mm) and mass (kg). Setting it has the
        controller apply it."""
        return Payload(*self._settings_call("read the payload", "payload"))

    @payload.setter
    def payload(self, payload: Sequence[float]) -> None:
        """Sets the payload: x, y, z of its centre of mass (mm) and its mass (kg)."""
        self._settings_call("set the payload", "set_payload", _numbers(payload, 4, "the payload (x, y, z, mass)"))

    @property
    def force_sensor(self) -> bool:
        """Whether the six-axis force sensor is switched on; settable."""
        return self._settings_call("read the force sensor switch", "force_sensor") is True

    @force_sensor.setter
    def force_sensor(self, on: bool) -> None:
        """Switches the force sensor on or off."""
        self._settings_call("switch the force sensor", "set_force_sensor", bool(on))

    @property
    def force(self) -> Tuple[float, ...]:
        """The force sensor's six readings."""
        return tuple(self._settings_call("read the force sensor", "force"))

    def zero_force_sensor(self) -> None:
        """Takes the present readings of the force sensor as its zero."""
        self._settings_call("zero the force sensor", "zero_force_sensor")

    @property
    def torque(self) -> float:
        """The torque parameter; settable."""
        return self._settings_call("read the torque parameter", "torque")

    @torque.setter
    def torque(self, value: float) -> None:
        """Sets the torque parameter."""
        self._settings_call("set the torque parameter", "set_torque", _number(value, "the torque parameter"))

    @property
    def analog_inputs(self) -> Tuple[int, int]:
        """The modes of the cabinet's two analog inputs."""
        return tuple(self._settings_call("read the analog inputs", "analog_inputs"))

    @property
    def analog_outputs(self) -> Tuple[Tuple[int, int], ...]:
        """((mode, value), (mode, value)) of the two analog outputs; settable."""
        return tuple(tuple(channel) for channel in self._settings_call("read the analog outputs", "analog_outputs"))

    @analog_outputs.setter
    def analog_outputs(self, outputs: Sequence[Sequence[int]]) -> None:
        """Sets both analog outputs, as ((mode, value), (mode, value))."""
        outputs = [list(channel) for channel in outputs]
        if len(outputs) != 2 or any(len(channel) != 2 for channel in outputs):
            raise invalid("the analog outputs are two (mode, value) pairs")
        channels = [[_integer(mode, "an analog mode"), _integer(value, "an analog value")] for mode, value in outputs]
        self._settings_call("set the analog outputs", "set_analog_outputs", channels)

    @property
    def collision_detection(self) -> Tuple[bool, int]:
        """(on, level) of collision detection; level 1 to 5, 5 the most sensitive."""
        on, level = self._settings_call("read collision detection", "collision_detection")
        return bool(on), level

    def set_collision_detection(self, on: bool, level: int) -> None:
        """Switches collision detection and sets its level (1 to 5)."""
        self._settings_call("set collision detection", "set_collision_detection", bool(on),
                            _integer(level, "the collision level", 1, 5))

    def teach_trajectory(self, on: bool) -> None:
        """Presses (True) or releases the teach panel's enabling switch for
        trajectory teaching."""
        self._settings_call("switch trajectory teaching", "teach_trajectory", bool(on))

    # -- alarm catalogue and versions --------------------------------------------

    def alarm_info(self, number: int, servo: bool = False, english: bool = True) -> AlarmInfo:
        """An alarm's level and texts from the controller's catalogue (``servo``
        for the drives' catalogue); empty texts for an unknown number."""
        number = _integer(number, "the alarm number", 0, 0x7FFFFFFF)
        self._check_open("read the alarm catalogue")
        return AlarmInfo(*self._core.alarm_info(number, bool(servo), bool(english)))

    def alarm_catalogue(self, servo: bool = False, english: bool = True) -> Dict[int, AlarmInfo]:
        """The whole alarm catalogue of the controller (``servo``: of the
        drives) by alarm number, in English or (``english=False``) Chinese."""
        name = "/properties/alarm_servo" if servo else "/properties/alarm_controller"
        document = self.read_document(name)
        language = "en" if english else "zh_CN"
        catalogue = {}
        for entry in document if isinstance(document, list) else []:
            number = entry.get("id") if isinstance(entry, dict) else None
            if isinstance(number, bool) or not isinstance(number, int) or number in catalogue:
                continue
            texts = entry.get(language) if isinstance(entry.get(language), dict) else {}
            level = entry.get("level")

            def text(key):
                value = texts.get(key)
                return value if isinstance(value, str) else ""
            catalogue[number] = AlarmInfo(number, level if isinstance(level, int) else 0, text("description"),
                                          text("cause"), text("solution"))
        return catalogue

    @property
    def version(self) -> Version:
        """Version texts of the library and the controller ("NULL" where unknown)."""
        self._check_open("read the versions")
        return Version(*self._core.version())

    # -- settings documents --------------------------------------------------------

    def read_document(self, name: str) -> Any:
        """The settings document ``name`` ("/settings/common", ...) as parsed
        JSON (a dict or a list); None when the controller has no such
        document. Raises VarloRequestError when it could not be read."""
        name = _document_name(name)
        self._check_open("read a settings document")
        status, text = self._core.read_document(name)
        if status == _MISSING:
            return None
        if status != _READ:
            raise _failed(self.address, "read the document %s" % name)
        try:
            return json.loads(text)
        except ValueError:
            raise _failed(self.address, "read the document %s (not JSON)" % name) from None

    def write_document(self, name: str, document: Any) -> None:
        """Replaces the settings document ``name`` whole with ``document`` (a
        dict or list that JSON can hold) and has the controller reload it."""
        name = _document_name(name)
        if not isinstance(document, (dict, list)):
            raise invalid("a settings document is a JSON object or array (dict or list), not %s"
                          % type(document).__name__)
        try:
            text = json.dumps(document, allow_nan=False)
        except (TypeError, ValueError) as error:
            raise invalid("the document cannot be written as JSON: %s" % error) from None
        self._check_open("write a settings document")
        if not self._core.write_document(name, text):
            raise _failed(self.address, "write the document %s" % name)

    @contextlib.contextmanager
    def edit_document(self, name: str) -> Iterator[Any]:
        """Changes part of a settings document: reads it whole, hands it to the
        ``with`` block and writes it back when the block ends without an
        exception::

            with robot.edit_document("/settings/common") as common:
                common["ratio"] = 40

        A document the controller does not have starts as ``{}``. One that
        could not be read raises VarloRequestError before the block runs:
        nothing is written over it."""
        document = self.read_document(name)
        if document is None:
            document = {}
        yield document
        self.write_document(name, document)

    # -- teach points and pallets ----------------------------------------------------

    def teach_points(self, project: str) -> List[TeachPoint]:
        """The teach points of project ``project`` (its points file), in the
        file's order; an empty list when it has none."""
        project = _project_name(project)
        self._check_open("read teach points")
        return [TeachPoint(index, name, Pose(*pose), tool, user, tuple(rdn), orientation, load, tuple(aux))
                for index, name, orientation, tool, user, pose, rdn, load, aux in self._core.teach_points(project)]

    def set_teach_points(self, project: str, points: Sequence[TeachPoint]) -> None:
        """Writes the teach points of project ``project`` whole (at most 999)
        and tells the controller; a point whose index, frames, pose and
        configuration are all zero would end the list, so it is refused."""
        project = _project_name(project)
        rows = []
        for point in points:
            point = TeachPoint(*point)
            row = (_integer(point.index, "a point's index"), str(point.name),
                   _integer(point.arm_orientation, "a point's arm orientation"),
                   _integer(point.tool, "a point's tool frame", 0, 9), _integer(point.user, "a point's user frame", 0, 9),
                   _numbers(point.pose, 6, "a point's pose"), [_integer(v, "a point's r, d, n, cfg") for v in point.rdn],
                   _integer(point.load, "a point's load"), _numbers(point.aux, 3, "a point's auxiliary joints"))
            if not any((row[0], row[2], row[3], row[4], any(row[5]), any(row[6]))):
                raise invalid("teach point %r is all zeros: it would end the list" % (point.name,))
            rows.append(row)
        if len(rows) > 999:
            raise invalid("a project holds at most 999 teach points, not %d" % len(rows))
        self._settings_call("write the teach points of %s" % project, "set_teach_points", project, rows)

    def pallets(self) -> List[Pallet]:
        """The pallets of the palletizing process (at most 10)."""
        self._check_open("read the pallets")
        return [Pallet(pid, name, user, direction, tuple(counts), tuple(distances), Pose(*first), Pose(*safe),
                       bool(auto), Pose(*prepare))
                for pid, user, name, direction, counts, distances, first, safe, auto, prepare in self._core.pallets()]

    def set_pallets(self, pallets: Sequence[Pallet]) -> None:
        """Writes the pallets of the palletizing process whole (at most 10)."""
        rows = []
        for pallet in pallets:
            p = Pallet(*pallet)
            counts = [_integer(count, "a pallet's count", 0, 255) for count in p.counts]
            if len(counts) != 3 or not any(counts):
                raise invalid("a pallet has three counts (x, y, z), not all zero: %r" % (p.counts,))
            rows.append((_integer(p.id, "a pallet's id", 0, 255), _integer(p.user, "a pallet's user frame", 0, 9),
                         str(p.name), _integer(p.direction, "a pallet's direction"), counts,
                         _numbers(p.distances, 3, "a pallet's distances"), _numbers(p.first_point, 6, "a pose"),
                         _numbers(p.safe_point, 6, "a pose"), bool(p.auto_safe_point),
                         _numbers(p.prepare_point, 6, "a pose")))
        if len(rows) > 10:
            raise invalid("the palletizing process holds at most 10 pallets, not %d" % len(rows))
        self._settings_call("write the pallets", "set_pallets", rows)
