"""The results of the analyzer's measurements, as plain values."""
from __future__ import annotations

from dataclasses import dataclass


@dataclass(frozen=True)
class ChannelPower:
    """Power in the channel and its density over the channel's width."""

    power_dbm: float
    density_dbm_hz: float


@dataclass(frozen=True)
class OccupiedBandwidth:
    """The width holding the chosen share of the power, and how far its
    middle lies from the centre frequency."""

    bandwidth_hz: float
    frequency_error_hz: float


@dataclass(frozen=True)
class ReceiverReading:
    """The measuring receiver's last capture at the centre frequency. A
    block the receiver does not show, or a value it could not measure, is NaN."""

    carrier_frequency_hz: float
    relative_power_db: float
    average_relative_power_db: float
    fm_deviation_rms_hz: float
    fm_deviation_peak_plus_hz: float
    fm_deviation_peak_minus_hz: float
    fm_audio_frequency_hz: float
    am_depth_rms_percent: float
    am_depth_peak_plus_percent: float
    am_depth_peak_minus_percent: float
    am_audio_frequency_hz: float
