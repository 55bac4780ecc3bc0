"""The analyzer driven over its SCPI socket."""
from __future__ import annotations

import re
import socket
import warnings
from contextlib import contextmanager
from typing import Any, Callable, Iterator, List, Optional, Tuple, TypeVar

import numpy as np
from pymeasure.instruments import Instrument
from pyvisa.constants import StatusCode
from pyvisa.errors import VisaIOError

from tavlin.errors import (QueuedError, ReadingWarning, ScpiError, parse_error_entries, reading,
                           reading_array)
from tavlin.marker import Marker
from tavlin.readings import ChannelPower, OccupiedBandwidth, ReceiverReading

DEFAULT_RESOURCE = "TCPIP0::127.0.0.1::5025::SOCKET"

# The queue holds 16 entries and an overflow mark: more reads than that
# means the analyzer is not answering as it should.
_MOST_QUEUED = 17

# A sweep's end is waited for this long beyond the sweep time the analyzer
# states, for the preset, a reprogrammed level plan or a pass in progress.
_SWEEP_MARGIN_S = 10.0

# The utilities take the instrument over for many captures: a receiver
# capture at the narrowest IF bandwidth takes 2.2 s, the harmonics ten
# sweeps, a phase-noise curve about a minute.
_CAPTURE_S = 3.0
_UTILITY_PATIENCE_S = 180.0

# Every reply to *IDN? begins so: the mark the driver finds its place by
# after a reply came too late.
_IDENTITY = b"Tavlin,"

_Reply = TypeVar("_Reply")

_WORD = re.compile(r"^[A-Za-z0-9_.,+-]+$")


def _word(value: str, _values: Any = None) -> str:
    """A keyword parameter, refused when it could carry a second command."""
    text = str(value)
    if not _WORD.match(text):
        raise ValueError("not a SCPI keyword: %r" % (text,))
    return text.upper()


def _quoted(name: str) -> str:
    """A file name as a SCPI string, refused when it would end early."""
    if any(c in name for c in '"\n\r;'):
        raise ValueError("a file name may not hold quotes, semicolons or line ends: %r" % name)
    return '"%s"' % name


def _send_at_once(connection: Any) -> None:
    """Every command is followed by a query of the error queue. TCP holds a
    small segment back until the one before it is acknowledged, which the
    analyzer does only after some 40 ms when it has nothing to answer: each
    command would take that long. pyvisa-py 0.5 cannot set its socket's
    TCP_NODELAY through the VISA attribute, so it is set on the socket."""
    session = getattr(connection.visalib, "sessions", {}).get(connection.session)
    interface = getattr(session, "interface", None)
    if isinstance(interface, socket.socket):
        interface.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)


def _number(command: str, doc: str) -> property:
    return Instrument.control(command + "?", command + " %.15g", doc, get_process=reading,
                              check_set_errors=True, check_get_errors=True)


def _switch(command: str, doc: str) -> property:
    return Instrument.control(command + "?", command + " %d", doc, values={True: 1, False: 0},
                              map_values=True, check_set_errors=True, check_get_errors=True)


def _choice(command: str, doc: str) -> property:
    return Instrument.control(command + "?", command + " %s", doc, validator=_word,
                              get_process=lambda v: str(v).strip().upper(),
                              check_set_errors=True, check_get_errors=True)


def _reading(command: str, doc: str, process: Callable[[Any], Any] = reading) -> property:
    return Instrument.measurement(command, doc, get_process=process, check_get_errors=True)


class TavlinAnalyzer(Instrument):
    """The swept spectrum analyzer behind the SCPI socket of ``tavlin`` or
    ``tavlin-cli --scpi``.

    Every property and method reads the analyzer's error queue after its
    command: a command refused raises :class:`tavlin.ScpiError` with the
    queued errors; a doubtful or missing reading warns with
    :class:`tavlin.ReadingWarning` and a missing one reads NaN.
    """

    def __init__(self, resource: str = DEFAULT_RESOURCE, timeout_s: float = 10.0,
                 **kwargs: Any) -> None:
        """Connects to ``resource`` (pyvisa's name of the socket, e.g.
        ``TCPIP0::127.0.0.1::5025::SOCKET``) with pyvisa-py; ``timeout_s``
        covers the slowest plain command (a preset after a USB fault)."""
        kwargs.setdefault("visa_library", "@py")
        super().__init__(resource, "Tavlin analyzer", includeSCPI=True,
                         read_termination="\n", write_termination="\n",
                         timeout=int(timeout_s * 1000), **kwargs)
        self._last_command = ""
        self._identities_owed = 0
        _send_at_once(self.adapter.connection)

    # --- Frequency, span, resolution ----------------------------------------

    center_frequency = _number("FREQ:CENT", "Centre frequency in Hz as shown (span kept).")
    span = _number("FREQ:SPAN", "Span in Hz (centre kept); 0 is zero span.")
    start_frequency = _number("FREQ:STAR", "Start frequency in Hz as shown.")
    stop_frequency = _number("FREQ:STOP", "Stop frequency in Hz as shown.")
    rbw = _number("BAND", "Resolution bandwidth in Hz: the nearest the sweep kind can give.")
    rbw_auto = _switch("BAND:AUTO", "Whether the RBW follows the span.")
    average_count = _number("AVER:COUN", "Video averaging over 1, 10 or 100 sweeps.")
    sweep_time = _reading("SWE:TIME?", "Seconds one sweep takes with the present settings.")
    sweep_points = _reading("SWE:POIN?", "Points of the trace (641).", int)
    continuous = _switch("INIT:CONT", "Whether the analyzer sweeps continuously.")

    # --- Levels ------------------------------------------------------------

    reference_level = _number("DISP:WIND:TRAC:Y:RLEV", "Reference level in the level unit.")
    attenuation = _number("POW:ATT", "Input attenuator in dB: 0 to 15 in steps of 5.")
    preamplifier = _switch("INP:GAIN:STAT", "Whether the preamplifier is on.")
    level_unit = _choice("UNIT:POW", "Unit of level replies: DBM, DBMV, DBUV, V or W.")
    detector = _choice("DET", "Detector of the trace points.")
    trace_mode = _choice("DISP:WIND:TRAC:MODE",
                         "Trace mode: WRIT, MAXH, MINH, AVER or VIEW (held).")

    # --- Markers -----------------------------------------------------------

    def marker(self, number: int = 1) -> Marker:
        """Marker 1, or marker 2 of the delta pair."""
        return Marker(self, number)

    delta = _switch("CALC:DELT", "Whether the delta marker pair is on.")
    delta_frequency = _reading("CALC:DELT:X?", "Marker 2 less marker 1: Hz (ms in zero span).")
    delta_level = _reading("CALC:DELT:Y?", "Marker 2 less marker 1 in dB.")

    # --- Sweeps and traces -------------------------------------------------

    def preset(self) -> None:
        """PRESET: the analyzer's settings as at power-on."""
        self.command("*RST")

    def single_sweep(self, timeout_s: Optional[float] = None) -> None:
        """Takes one sweep and returns when it has ended. The wait covers the
        stated sweep time and a margin, or ``timeout_s``."""
        patience = timeout_s if timeout_s is not None else self.sweep_time + _SWEEP_MARGIN_S
        self.command_taking("INIT:IMM", patience)

    def trace(self, number: int = 1) -> Tuple[np.ndarray, np.ndarray]:
        """Trace A (1) or the stored trace B (2) as ``(frequencies_hz,
        levels)``, levels in the level unit; NaN where a point has no
        reading. The frequencies are spread evenly from start to stop (all
        the centre frequency in zero span)."""
        start, stop = self.ask_values("FREQ:STAR?;STOP?")
        self.write("FORM REAL,32;:FORM:BORD NORM")
        try:
            levels = self._in_step(lambda: self.adapter.connection.query_binary_values(
                "TRAC? TRACE%d" % number, datatype="f", is_big_endian=True, container=np.array))
        finally:
            self.write("FORM ASC")
        self.check_errors()
        return np.linspace(start, stop, len(levels)), reading_array(levels)

    # --- Measurements on the trace ------------------------------------------

    def channel_power(self, sweep: bool = True) -> ChannelPower:
        """Channel power (dBm) and density (dBm/Hz) of trace A. With
        ``sweep`` the measurement is switched on and a sweep taken first;
        without, the last sweep is read."""
        power, density = self._trace_measurement("CHP", sweep)
        return ChannelPower(power, density)

    def occupied_bandwidth(self, sweep: bool = True) -> OccupiedBandwidth:
        """Occupied bandwidth and its frequency error in Hz, as
        :meth:`channel_power` takes them."""
        width, error = self._trace_measurement("OBW", sweep)
        return OccupiedBandwidth(width, error)

    channel_power_on = _switch("MEAS:CHP:STAT", "Whether channel power is measured on every "
                               "sweep (a step-sweep span then draws power-averaged points).")
    occupied_bandwidth_on = _switch("MEAS:OBW:STAT", "Whether the occupied bandwidth is "
                                    "measured on every sweep.")

    def _trace_measurement(self, name: str, sweep: bool) -> List[float]:
        if not sweep:
            return self.ask_values("FETC:%s?" % name)
        return self.ask_values("MEAS:%s?" % name, self.sweep_time + _SWEEP_MARGIN_S)

    # --- The measuring receiver and the utilities ------------------------------

    receiver_if_bandwidth = _number("REC:IFB", "The receiver's IF bandwidth in Hz: 240e3, "
                                    "120e3, 60e3, 30e3 or 15e3.")
    receiver_audio_filter = _choice("REC:AFIL", "The receiver's audio filter: LPAS (low pass "
                                    "3 kHz) or BPAS (band pass 1 kHz).")
    receiver_shows_am = _switch("REC:SHOW:AM", "Whether the receiver measures AM.")
    receiver_shows_fm = _switch("REC:SHOW:FM", "Whether the receiver measures FM.")

    def receiver(self, captures: int = 1) -> ReceiverReading:
        """Runs the measuring receiver at the centre frequency for
        ``captures`` captures (1 to 100) and returns the last one."""
        fields = self.ask_values("MEAS:REC? %d" % captures,
                                 captures * _CAPTURE_S + _SWEEP_MARGIN_S)
        return ReceiverReading(*fields)

    def harmonics(self) -> Tuple[np.ndarray, np.ndarray]:
        """The fundamental at the centre frequency and its harmonics 2 to 10 as
        ``(frequencies_hz, levels_dbm)``; NaN where one was not measured."""
        return self._pairs("MEAS:HARM?")

    def phase_noise(self) -> Tuple[np.ndarray, np.ndarray]:
        """The phase noise of the carrier at the centre frequency as
        ``(offsets_hz, dbc_hz)``, from 1 Hz to 1 MHz."""
        return self._pairs("MEAS:PNO?")

    def record_audio(self, file_name: str, seconds: float, demodulation: str = "FM") -> None:
        """Records the demodulated sound at the centre frequency (AM or FM) to
        a WAV file in the analyzer's working folder."""
        self.command_taking('MMEM:STOR:AUD %s,%.15g,%s'
                            % (_quoted(file_name), seconds, _word(demodulation)),
                            seconds + _SWEEP_MARGIN_S)

    def _pairs(self, query: str) -> Tuple[np.ndarray, np.ndarray]:
        values = np.array(self.ask_values(query, _UTILITY_PATIENCE_S))
        return values[0::2], values[1::2]

    # --- Limit lines and state files ----------------------------------------

    def load_limit_mask(self, file_name: str) -> None:
        """Limit lines from a mask file in the analyzer's working folder."""
        self.command("MMEM:LOAD:LIM " + _quoted(file_name))

    limit_failed = _reading("CALC:LIM:FAIL?",
                            "Whether the last sweep crossed a limit line.", lambda v: v == 1.0)

    def store_state(self, file_name: str) -> None:
        """Saves the settings to a state file in the analyzer's working folder."""
        self.command("MMEM:STOR:STAT " + _quoted(file_name))

    def load_state(self, file_name: str) -> None:
        """Recalls the settings of a state file in the analyzer's working folder."""
        self.command("MMEM:LOAD:STAT " + _quoted(file_name))

    # --- Talking to the analyzer --------------------------------------------

    def write(self, command: str) -> None:
        """Sends a command without reading the error queue."""
        self._last_command = command
        super().write(command)

    def ask(self, command: str) -> str:
        """Sends a query and returns its reply without reading the error queue."""
        self._last_command = command
        return self._in_step(lambda: Instrument.ask(self, command))

    def values(self, command: str, **kwargs: Any) -> List[Any]:
        """Sends a query and returns its comma-separated reply as numbers
        (words where a field is no number)."""
        self._last_command = command
        return self._in_step(lambda: Instrument.values(self, command, **kwargs))

    def _in_step(self, exchange: Callable[[], _Reply]) -> _Reply:
        """Runs a query's exchange with the replies in step: a reply that
        comes after its query gave up would otherwise be read as the answer
        to the next one, and every reading after it would be one behind."""
        if self._identities_owed:
            self._catch_up()
        try:
            return exchange()
        except VisaIOError as error:
            if error.error_code == StatusCode.error_timeout:
                self._catch_up_later()
            raise

    def _catch_up_later(self) -> None:
        """Asks for the identity behind the reply still on its way."""
        self.adapter.connection.write("*IDN?")
        self._identities_owed += 1

    def _catch_up(self) -> None:
        """Drops the replies that came too late: the analyzer answers in
        order, so all before the identities owed are stale."""
        while self._identities_owed:
            if self.adapter.connection.read_raw().startswith(_IDENTITY):
                self._identities_owed -= 1

    def command(self, command: str) -> None:
        """Sends a command and raises when the analyzer queued an error."""
        self.write(command)
        self.check_errors()

    def command_taking(self, command: str, timeout_s: float) -> None:
        """Sends a command that takes ``timeout_s`` at most, and raises when
        the analyzer queued an error: the wait is a ``*OPC?`` after it."""
        self.write(command)
        with self._patience(timeout_s):
            self.ask("*OPC?")
        self.check_errors()

    def ask_value(self, query: str) -> float:
        """One number from a query, its errors checked."""
        return self.ask_values(query)[0]

    def ask_values(self, query: str, timeout_s: Optional[float] = None) -> List[float]:
        """The numbers of a query's reply (NaN for a missing reading), its
        errors checked; ``timeout_s`` for a query that takes a sweep."""
        with self._patience(timeout_s or 0.0):
            reply = self.ask(query)
        self.check_errors()
        return [reading(float(field)) for field in reply.replace(";", ",").split(",")]

    def error_queue(self) -> List[QueuedError]:
        """Empties the analyzer's error queue and returns its entries, oldest first."""
        entries: List[QueuedError] = []
        for _ in range(_MOST_QUEUED):
            found = parse_error_entries(self._in_step(lambda: self.adapter.ask("SYST:ERR?")))
            if not found:
                break
            entries += found
        return entries

    def check_errors(self) -> None:
        """Reads the error queue: raises :class:`ScpiError` for a command's
        errors, warns with :class:`ReadingWarning` for a reading's doubts."""
        entries = self.error_queue()
        for entry in entries:
            if entry.is_reading_doubt:
                warnings.warn(ReadingWarning("%s: %s" % (self._last_command, entry)),
                              stacklevel=3)
        faults = [entry for entry in entries if not entry.is_reading_doubt]
        if faults:
            raise ScpiError(self._last_command, faults)

    # Newer pymeasure releases call these after a property's command.
    def check_get_errors(self) -> None:
        self.check_errors()

    def check_set_errors(self) -> None:
        self.check_errors()

    @contextmanager
    def _patience(self, seconds: float) -> Iterator[None]:
        """Lets the next reply take up to ``seconds`` (never less than the
        connection's own time-out)."""
        connection = self.adapter.connection
        usual = connection.timeout
        connection.timeout = max(usual, seconds * 1000.0)
        try:
            yield
        finally:
            connection.timeout = usual
