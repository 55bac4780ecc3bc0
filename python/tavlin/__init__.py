"""Drive the Tavlin analyzer from Python over its SCPI socket.

    from tavlin import TavlinAnalyzer
    analyzer = TavlinAnalyzer("TCPIP0::127.0.0.1::5025::SOCKET")
"""
from tavlin.analyzer import DEFAULT_RESOURCE, TavlinAnalyzer
from tavlin.errors import QueuedError, ReadingWarning, ScpiError
from tavlin.marker import Marker
from tavlin.readings import ChannelPower, OccupiedBandwidth, ReceiverReading

__all__ = [
    "DEFAULT_RESOURCE", "TavlinAnalyzer", "Marker", "ScpiError", "ReadingWarning",
    "QueuedError", "ChannelPower", "OccupiedBandwidth", "ReceiverReading",
]
