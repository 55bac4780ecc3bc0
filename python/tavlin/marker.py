"""A marker of the analyzer's trace."""
from __future__ import annotations

from typing import TYPE_CHECKING

if TYPE_CHECKING:
    from tavlin.analyzer import TavlinAnalyzer


class Marker:
    """Marker 1 or marker 2 (the delta marker's second marker).

    Reading a marker that is off raises :class:`tavlin.ScpiError` (-221).
    """

    def __init__(self, analyzer: "TavlinAnalyzer", number: int) -> None:
        self._analyzer = analyzer
        self._node = "CALC:MARK%d" % number
        self.number = number

    @property
    def on(self) -> bool:
        """Whether the marker is on. Marker 1 comes on at the centre; turning
        it off turns every marker off. Marker 2 on or off is the delta mode."""
        return self._analyzer.ask_value(self._node + "?") == 1.0

    @on.setter
    def on(self, on: bool) -> None:
        self._analyzer.command("%s %s" % (self._node, "ON" if on else "OFF"))

    @property
    def frequency(self) -> float:
        """Where the marker stands: Hz as the screen shows it (with the
        downconverter offset), or ms after the trigger in zero span. Setting
        it puts the marker, on and active, at that frequency."""
        return self._analyzer.ask_value(self._node + ":X?")

    @frequency.setter
    def frequency(self, hz: float) -> None:
        self._analyzer.command("%s:X %.15g" % (self._node, hz))

    @property
    def level(self) -> float:
        """The level at the marker in the level unit, or in dBm/Hz while the
        noise marker is on; NaN when the marker has no reading."""
        return self._analyzer.ask_value(self._node + ":Y?")

    def peak(self) -> None:
        """Moves the marker to the highest point of the trace."""
        self._analyzer.command(self._node + ":MAX")

    def next_peak(self) -> None:
        """Moves the marker to the next lower peak of the trace."""
        self._analyzer.command(self._node + ":MAX:NEXT")

    def next_peak_left(self) -> None:
        """Moves the marker to the next peak below its frequency."""
        self._analyzer.command(self._node + ":MAX:LEFT")

    def next_peak_right(self) -> None:
        """Moves the marker to the next peak above its frequency."""
        self._analyzer.command(self._node + ":MAX:RIGHT")

    def to_center(self) -> None:
        """Makes the marker's frequency the centre frequency (MKR->CF)."""
        self._analyzer.command(self._node + ":SET:CENT")

    @property
    def noise(self) -> bool:
        """Whether the marker reads noise density (dBm/Hz) rather than level."""
        return self._analyzer.ask_value(self._node + ":FUNC:NOIS?") == 1.0

    @noise.setter
    def noise(self, on: bool) -> None:
        self._analyzer.command("%s:FUNC:NOIS %s" % (self._node, "ON" if on else "OFF"))

    @property
    def counter(self) -> bool:
        """Whether the frequency counter counts the signal at the marker."""
        return self._analyzer.ask_value(self._node + ":COUN?") == 1.0

    @counter.setter
    def counter(self, on: bool) -> None:
        self._analyzer.command("%s:COUN %s" % (self._node, "ON" if on else "OFF"))

    @property
    def counted_frequency(self) -> float:
        """The counter's last reading in Hz; NaN while it has none."""
        return self._analyzer.ask_value(self._node + ":COUN:FREQ?")
