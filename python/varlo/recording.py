"""Reading back what ``varlo record ADDRESS FILE`` wrote: the live state of an arm, one CSV row
per state exchange, under one header line that names each column with its unit ("t_s",
"j1_deg", ..., "x_mm", ..., "do_on", "mode", "alarms", "script"; see ``varlo record --help``).

    rows = varlo.read_recording("motion.csv")            # a list of dicts, one per row
    first_joint = [row["j1_deg"] for row in rows]
    frame = varlo.read_recording("motion.csv", to_pandas=True)   # with pandas installed
"""
from __future__ import annotations

import csv
from typing import Dict, List, Union

# Columns of numbers: the time, the joints and the pose (their names end in a unit), the
# frames; of flags; and of lists of whole numbers (channels that are on).
_UNITS = ("_s", "_deg", "_mm")
_INTEGERS = ("tool", "user")
_FLAGS = ("power", "collision")
_CHANNELS = ("do_on", "di_on")

# What one cell of a recording reads as.
Value = Union[float, int, bool, str, List[int]]


def _convert(name: str, text: str) -> Value:
    if name.endswith(_UNITS):
        return float(text)
    if name in _INTEGERS:
        return int(text)
    if name in _FLAGS:
        return text == "1"
    if name in _CHANNELS:
        return [int(channel) for channel in text.split()]
    return text  # mode, auto, alarms ("GROUP:NUMBER ..."), script


def read_recording(path: str, to_pandas: bool = False):
    """The rows of a recording made by ``varlo record``: a list of dicts, one per row, from
    column name to value (the time, joints and pose as floats in the header's units, ``tool``
    and ``user`` as ints, ``power`` and ``collision`` as bools, ``do_on`` and ``di_on`` as
    lists of the channels on, the rest as text). With ``to_pandas=True``: a pandas DataFrame
    (see ``recording_to_dataframe``).

    Raises ``ValueError`` naming the line when the file is not such a recording (no ``t_s``
    header, a row with a different number of cells, a value that is not a number), and
    ``OSError`` when it cannot be read.
    """
    with open(path, newline="", encoding="utf-8") as file:
        reader = csv.reader(file)
        header = next(reader, None)
        if not header or header[0] != "t_s":
            raise ValueError("%s is not a recording of varlo record: its first line is not a header "
                             "beginning with t_s" % path)
        rows: List[Dict[str, Value]] = []
        for cells in reader:
            if len(cells) != len(header):
                raise ValueError("%s line %d: %d cells, the header names %d" % (path, reader.line_num, len(cells),
                                                                                len(header)))
            try:
                rows.append({name: _convert(name, text) for name, text in zip(header, cells)})
            except ValueError as error:
                raise ValueError("%s line %d: %s" % (path, reader.line_num, error)) from None
    if to_pandas:
        return recording_to_dataframe(rows, header)
    return rows


def recording_to_dataframe(rows, columns=None):
    """A pandas DataFrame of ``read_recording``'s rows (or of a recording's path), one column
    per header column, in the file's order. Raises ``ImportError`` when pandas is not
    installed: ``read_recording`` itself needs nothing beyond Python."""
    try:
        import pandas
    except ImportError:
        raise ImportError("recording_to_dataframe needs pandas (python3-pandas, or pip install pandas); "
                          "read_recording(path) gives the rows without it") from None
    if isinstance(rows, str):
        return read_recording(rows, to_pandas=True)
    return pandas.DataFrame(rows, columns=columns)
