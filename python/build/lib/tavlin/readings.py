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
