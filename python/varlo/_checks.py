"""Checks of the arguments a Robot is given: refused before anything is sent."""
from __future__ import annotations

import math
import numbers
from typing import List, Optional

from .errors import invalid

# Entries of the tool and of the user frame table (indexes 0 to 9).
FRAME_COUNT = 10


def _number(value, what: str) -> float:
    if isinstance(value, bool) or not isinstance(value, numbers.Real) or not math.isfinite(value):
        raise invalid("%s must be a finite number, not %r" % (what, value))
    return float(value)


def _numbers(values, count: int, what: str) -> List[float]:
    """``count`` finite numbers from a sequence."""
    try:
        values = list(values)
    except TypeError:
        raise invalid("%s must be a sequence of %d numbers, not %r" % (what, count, values)) from None
    if len(values) != count:
        raise invalid("%s needs %d numbers, got %d" % (what, count, len(values)))
    return [_number(value, what) for value in values]


def _integer(value, what: str, low: Optional[int] = None, high: Optional[int] = None) -> int:
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise invalid("%s must be an integer, not %r" % (what, value))
    if (low is not None and value < low) or (high is not None and value > high):
        raise invalid("%s must be %d to %d, not %d" % (what, low, high, value))
    return int(value)


def _frame_index(index, what: str) -> int:
    return _integer(index, what, 0, FRAME_COUNT - 1)


def _milliseconds(seconds: Optional[float], what: str, default: float) -> int:
    seconds = default if seconds is None else _number(seconds, what)
    if seconds <= 0:
        raise invalid("%s must be more than 0 seconds, not %g" % (what, seconds))
    return int(min(seconds, 24 * 3600.0) * 1000)
