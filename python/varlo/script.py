"""A Robot's control of the controller's script (a Lua program of a project
on the controller): run, pause, continue, stop, its state and its
notifications.

    robot.run_script("demo")
    for event in robot.script_events():
        print(event)            # line 3, print hello, finished ...

The notifications (the line run, the lines that move the arm, what the script
prints, errors, its end) reach the program while a Robot call runs. Every
Robot of a program runs and follows its own controller's script, several at
once: the notifications arrive on fixed UDP ports of this computer, which the
program listens on once, and each goes to the Robots of the controller that
sent it. Another program on this computer that holds those ports keeps this
one from running scripts (run_script() raises, naming the port and its
holder). Ctrl-C while the program waits for them stops the script and the arm
before KeyboardInterrupt is raised.
"""
from __future__ import annotations

import time
from typing import Iterator, Optional

from . import errors
from .errors import VarloRequestError
from .settings import _project_name
from .state import ScriptEvent, ScriptState

_SCRIPT_STATES = {0: "debugging", 1: "debugging", 2: "running", 3: "paused", 5: "stopped"}


def _raise_if_failed(reason: str) -> None:
    if reason:
        raise VarloRequestError(reason, errors.REQUEST_FAILED)


class ScriptMixin:
    """The script members of ``Robot`` (see varlo.robot)."""

    def run_script(self, project: str) -> None:
        """Starts the script of project ``project`` on the controller and
        returns; follow it with script_events() or on_script(). The script may
        move the arm: it must be enabled. Raises VarloRequestError when the
        script did not start: the controller refused (a project without a
        script, say), or another program on this computer holds the script
        notification ports (the message names the port and its holder)."""
        project = _project_name(project)
        self._check_open("run a script")
        self._script_events.clear()
        _raise_if_failed(self._core.script_run(project))

    def pause_script(self) -> None:
        """Pauses the script at its next line (a "paused" notification)."""
        self._check_open("pause the script")
        self._core.script_pause()

    def continue_script(self) -> None:
        """Lets a paused script go on. Raises VarloRequestError when the
        controller refused (the script has ended, say)."""
        self._check_open("continue the script")
        _raise_if_failed(self._core.script_continue())

    def stop_script(self) -> None:
        """Stops the script wherever it is."""
        self._check_open("stop the script")
        self._core.script_stop()

    @property
    def script_state(self) -> ScriptState:
        """What the controller's script does, as the controller reports it."""
        self._check_open("read the script's state")
        answer = self._core.script_state()
        if answer is None:
            raise VarloRequestError("the controller at %s did not report its script's state" % self.address,
                                    errors.REQUEST_FAILED)
        state, project = answer
        return ScriptState(_SCRIPT_STATES.get(state, "unknown"), project)

    def script_events(self, timeout: Optional[float] = None) -> Iterator[ScriptEvent]:
        """The notifications of the script started by run_script(), in order,
        as they arrive: the iteration ends after the last one ("finished",
        "error" or "stopped"), or raises VarloTimeoutError when ``timeout``
        seconds pass without a notification. A script that pauses itself
        yields "paused" and waits for continue_script()."""
        wake = int(self._wake.SCRIPT)
        while True:
            deadline = None if timeout is None else time.monotonic() + timeout
            while not self._script_events:
                if not self._core.script_running:
                    return
                left = 3600.0 if deadline is None else deadline - time.monotonic()
                if left <= 0:
                    raise errors.VarloTimeoutError("no notification of the script within %g s" % timeout)
                self._check_open("follow the script")
                self._core.wait(max(1, int(min(left, 3600.0) * 1000)), wake)
            event = self._script_events.popleft()
            yield event
            if event.ends:
                return
