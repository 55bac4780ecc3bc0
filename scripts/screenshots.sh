#!/usr/bin/env bash
# Draws the documentation screenshots in docs/screenshots/ again, from the
# program's own --screenshot on the virtual instrument's default scene. Run it
# whenever the screen changes, and look at the pictures before committing them.
# A screenshot run starts from the preset and keeps nothing of its own, so
# what the window kept from the user's last session never reaches a picture.
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=docs/screenshots
mkdir -p "$out"

shot() {
    local name=$1
    shift
    QT_QPA_PLATFORM=offscreen "$build/tavlin" --simulate=scenes/default.json \
        --screenshot "$out/$name.png" "$@" 2> >(grep -v -e 'does not support' -e XDG_RUNTIME_DIR >&2)
    echo "$out/$name.png"
}

# The preset screen (902 to 928 MHz) after a few sweeps, the strongest signal marked.
shot preset --sweeps 3 -c "MAR:PEA"
# Zero span on the AM emitter at 919.25 MHz: ten periods of its 1 kHz tone.
shot zero-span -c "FRE:CEN 919.25e6" -c "FRE:SPA 1e6" -c "AMP:RLE -30" --sweeps 0 \
    --press "ZERO SPAN" --press SINGLE --press PEAK
# Markers in delta mode on the -3 dB edges of the 915 MHz carrier.
shot delta-markers -c "FRE:CEN 915e6" -c "FRE:SPA 200e3" --sweeps 3 --press "3 dB points"
# The limit test failing: the example emission mask over the strong scene's
# +5 dBm carrier.
QT_QPA_PLATFORM=offscreen "$build/tavlin" --simulate=scenes/strong_signal.json \
    --limit-mask scenes/emission_mask.csv --screenshot "$out/limit-fail.png" \
    -c "FRE:CEN 915e6" -c "FRE:SPA 20e6" --sweeps 2 \
    2> >(grep -v -e 'does not support' -e XDG_RUNTIME_DIR >&2)
echo "$out/limit-fail.png"
# The spectrogram under the plot after 480 sweeps of the preset band (nearly
# three minutes), in a taller window so both keep their texts readable.
shot spectrogram --spectrogram --size 950x1040 --sweeps 480 -c "MAR:PEA"
# The preset screen again in the dark theme (pictures are light unless asked).
shot dark-theme --theme dark --sweeps 3 -c "MAR:PEA"
# The preset screen in field strength through the example antenna's table (X).
shot transducer --transducer scenes/antenna_factor.csv --unit dBuV/m --sweeps 3 -c "AMP:RLE 10" \
    -c "MAR:PEA"
# Spectrogram Settings open over lines 3 pixels tall coloured by hand from
# -100 to -30 dBm, beside their colour bar.
shot spectrogram-settings --spectrogram=3,-100,-30 --size 950x1240 --sweeps 170 -c "MAR:PEA" \
    --dialog "View/Spectrogram Settings..."
# An entry dialog open over the screen.
shot entry-dialog --sweeps 2 --dialog "CENTER FREQ"
# The Zero Span Settings dialog, about to enter zero span on the AM emitter.
shot zero-span-settings -c "FRE:CEN 919.25e6" -c "FRE:SPA 1e6" -c "AMP:RLE -30" --sweeps 1 \
    --dialog "ZERO SPAN"
# The list of annunciators, over a 100 MHz span (which shows U).
shot annunciator-help -c "FRE:SPA 100e6" -c "MAR:PEA" --sweeps 2 --dialog "Help/Annunciator Help"
# The measuring receiver on the 433.92 MHz FM emitter (5 kHz deviation, 1 kHz
# tone), after two passes.
QT_QPA_PLATFORM=offscreen "$build/tavlin" --simulate=scenes/am_fm.json \
    --screenshot "$out/measuring-receiver.png" -c "FRE:CEN 433.92e6" -c "FRE:SPA 200e3" \
    --sweeps 2 --dialog "Utilities/Measuring Receiver" --in-dialog START --dialog-ms 6000 \
    2> >(grep -v -e 'does not support' -e XDG_RUNTIME_DIR >&2)
echo "$out/measuring-receiver.png"
# The Listen dialog over the same emitter.
QT_QPA_PLATFORM=offscreen "$build/tavlin" --simulate=scenes/am_fm.json \
    --screenshot "$out/listen-dialog.png" -c "FRE:CEN 433.92e6" -c "FRE:SPA 200e3" \
    --sweeps 2 --dialog "Audio/Listen" 2> >(grep -v -e 'does not support' -e XDG_RUNTIME_DIR >&2)
echo "$out/listen-dialog.png"
# Channel power of the 1 MHz band of noise in a step-sweep span, over the
# channel offered (half the span), after a sweep with the measurement on.
QT_QPA_PLATFORM=offscreen "$build/tavlin" --simulate=scenes/channels.json \
    --screenshot "$out/channel-power.png" -c "FRE:CEN 915e6" -c "FRE:SPA 2.5e6" \
    -c "AMP:RLE -30" --sweeps 1 --press "Utilities/Channel Power" --press SINGLE \
    2> >(grep -v -e 'does not support' -e XDG_RUNTIME_DIR >&2)
echo "$out/channel-power.png"
# Occupied bandwidth (99 %) of the FM carrier, 20 kHz deviation at a 10 kHz rate.
QT_QPA_PLATFORM=offscreen "$build/tavlin" --simulate=scenes/channels.json \
    --screenshot "$out/occupied-bandwidth.png" -c "FRE:CEN 433.92e6" -c "FRE:SPA 200e3" \
    --sweeps 1 --press "Utilities/Occupied Bandwidth" --press SINGLE \
    2> >(grep -v -e 'does not support' -e XDG_RUNTIME_DIR >&2)
echo "$out/occupied-bandwidth.png"
# Six markers on the preset band's carriers, highest first (marker 1 by MAR:PEA,
# marker n by Peak Search and n - 1 Next Peak), with the marker table.
markers=()
for n in 2 3 4 5 6; do
    markers+=(--press "Marker/Active Marker/Marker $n" --press "Marker/Peak Search")
    for ((k = 1; k < n; k++)); do markers+=(--press "Marker/Next Peak"); done
done
shot six-markers --size 950x900 --sweeps 3 -c "MAR:PEA" "${markers[@]}" --press "Marker/Marker Table"
# The peak table over the preset band.
shot peak-table --sweeps 3 --dialog "Marker/Peak Table..."
# Max hold over eight sweeps stored as trace B, then min hold over eight more
# as trace A, and A-B between them.
sweeps=(--press SINGLE --press SINGLE --press SINGLE --press SINGLE --press SINGLE --press SINGLE
    --press SINGLE --press SINGLE)
shot hold-pair -c "AMP:RLE -20" --sweeps 1 --press "Trace/Trace Mode/Max Hold" "${sweeps[@]}" \
    --press "Trace/Trace A->B" --press "Trace/View Trace B" --press "Trace/Trace Mode/Min Hold" \
    "${sweeps[@]}" --press "Trace/Trace A-B"
# The noise marker on the noise between the carriers, with the RMS detector.
shot noise-marker --size 950x900 -c "FRE:CEN 911e6" -c "FRE:SPA 2e6" -c "AMP:RLE -50" \
    -c "MAR:NOR" --sweeps 1 --press "Trace/Detector/RMS" --press "Marker/Marker Table" \
    --press "Noise marker, +-" --press SINGLE
# docs/screenshots/phase-noise.png is the plot dialog itself, drawn once from
# the widget: the procedure takes about a minute before the dialog opens.
