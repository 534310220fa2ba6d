#!/bin/sh
# Retakes docs/plot-gate.png the way a new user works: start the workbench on
# the demo data set under a virtual display, double-click the data set, enlarge
# the plot, switch on density colours, draw a polygon gate and end it with the
# right button. Pointer positions are for the layout on a 1400 x 900 screen.
set -e
cd "$(dirname "$0")/.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
command -v xdotool >/dev/null && command -v xwd >/dev/null && [ -x /usr/bin/convert ] ||
    $sudo apt-get install -y xdotool x11-apps imagemagick xvfb
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target orvala
out="$PWD/docs/plot-gate.png"
xvfb-run -a -s "-screen 0 1400x900x24" sh -c '
    HOME=$(mktemp -d) build/src/app/orvala build/src/app/orvala-demo.fcs &
    app=$!
    sleep 4
    xdotool mousemove 82 48 click --repeat 2 --delay 80 1; sleep 2
    xdotool mousemove 970 31 click 1; sleep 1
    xdotool mousemove 1000 51 click 1; sleep 2
    xdotool mousemove 1021 145 click 1; sleep 1
    for p in "505 478" "719 464" "740 571" "638 617"; do
        xdotool mousemove $p click 1; sleep 0.4
    done
    xdotool mousemove 515 597 click 3; sleep 2
    xwd -root -silent | /usr/bin/convert xwd:- -crop 1100x720+0+0 "$1"
    kill $app' sh "$out"
echo "wrote $out"
