"""The analyzer's error queue as Python sees it.

Each SCPI error the analyzer queues is a code and its text, such as
``-222,"Data out of range"``. A command the analyzer refused or could not
carry out raises :class:`ScpiError`. A reading the analyzer took but doubts
(-231 "Data questionable": a level at the screen's edge, near the noise,
uncalibrated) or could not take (-230 "Data corrupt or stale": off span, not
measured, stale) is no failure of the script: it is reported as a
:class:`ReadingWarning`, and a reading without a number comes back as NaN.
"""
from __future__ import annotations

import math
import re
from dataclasses import dataclass
from typing import Iterable, List

import numpy as np

# The number the analyzer sends in place of a reading that has none; as a
# 32-bit float of a binary trace it reads a little off.
NOT_A_NUMBER = 9.91e37
_NOT_A_NUMBER_AS_SENT = NOT_A_NUMBER * 0.999

DATA_STALE = -230
DATA_QUESTIONABLE = -231

_ENTRY = re.compile(r'\s*([+-]?\d+)\s*,\s*"([^"]*)"')


@dataclass(frozen=True)
class QueuedError:
    """One entry of the analyzer's error queue."""

    code: int
    text: str

    @property
    def is_reading_doubt(self) -> bool:
        """Whether the entry qualifies a reading rather than a command."""
        return self.code in (DATA_STALE, DATA_QUESTIONABLE)

    def __str__(self) -> str:
        return '%d,"%s"' % (self.code, self.text)


def parse_error_entries(reply: str) -> List[QueuedError]:
    """The entries of a ``SYSTem:ERRor?`` reply, ``0,"No error"`` left out."""
    entries = [QueuedError(int(code), text) for code, text in _ENTRY.findall(reply)]
    return [entry for entry in entries if entry.code != 0]


class ScpiError(Exception):
    """The analyzer refused a command or could not carry it out."""

    def __init__(self, command: str, errors: Iterable[QueuedError]) -> None:
        self.command = command
        self.errors = list(errors)
        super().__init__("%s: %s" % (command, "; ".join(str(e) for e in self.errors)))

    @property
    def codes(self) -> List[int]:
        """The SCPI error codes, oldest first."""
        return [error.code for error in self.errors]


class ReadingWarning(UserWarning):
    """A reading the analyzer gave with a doubt, or could not give."""


def reading(value: float) -> float:
    """A reading as a float: NaN where the analyzer sent its not-a-number."""
    return math.nan if abs(value) >= _NOT_A_NUMBER_AS_SENT else value


def reading_array(values: np.ndarray) -> np.ndarray:
    """Readings as floats: NaN where the analyzer sent its not-a-number."""
    values = values.astype(np.float64)
    return np.where(np.abs(values) >= _NOT_A_NUMBER_AS_SENT, np.nan, values)
