#!/bin/sh
# Draws the program's two pictures (main window and IP wizard) with
# ImageMagick and compresses them with cjpeg. Run from the repository root:
#   tools/make_pictures.sh
# Needs the Debian packages imagemagick and libjpeg-turbo-progs.
set -eu

out=${1:-resources}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The navigation colours of the program, as RGB.
green='#008040'     # dark green of hovered buttons and selected items
orange='#F87311'    # button orange
peach='#FFEBCA'     # light menu colour
apricot='#FFC37F'   # menu bars and hover

# Everything is drawn four times larger and scaled down, which smooths edges.
S=4

# thermometer X Y H: a thermometer whose tube starts at (X, Y), H high.
thermometer() {
  x=$1; y=$2; h=$3
  w=$((26 * S)); r=$((w / 2))
  bx=$((x + r)); by=$((y + h + r))
  br=$((r + 10 * S))
  fill=$((y + h / 3))
  ticks=""
  i=1
  while [ $i -le 6 ]; do
    ty=$((y + i * h / 7))
    len=$(( (i % 2) == 0 ? 14 * S : 8 * S ))
    ticks="$ticks line $((x + w + 6 * S)),$ty $((x + w + 6 * S + len)),$ty"
    i=$((i + 1))
  done
  cat <<MVG
stroke '$green' stroke-width $((3 * S)) fill white
roundrectangle $x,$((y - r)) $((x + w)),$by $r,$r
circle $bx,$by $((bx + br)),$by
stroke none fill '$orange'
circle $bx,$by $((bx + br - 6 * S)),$by
rectangle $((x + 8 * S)),$fill $((x + w - 8 * S)),$by
stroke '$green' stroke-width $((2 * S)) fill none
$ticks
MVG
}

# network X Y: three stations on a cable, joined to the sensor at (X, Y).
network() {
  x=$1; y=$2
  cat <<MVG
stroke '$green' stroke-width $((3 * S)) fill none
line $x,$y $((x + 150 * S)),$y
line $((x + 40 * S)),$y $((x + 40 * S)),$((y - 34 * S))
line $((x + 95 * S)),$y $((x + 95 * S)),$((y + 34 * S))
line $((x + 150 * S)),$y $((x + 150 * S)),$((y - 34 * S))
stroke '$green' stroke-width $((2 * S)) fill '$orange'
roundrectangle $((x + 28 * S)),$((y - 56 * S)) $((x + 52 * S)),$((y - 34 * S)) $((3 * S)),$((3 * S))
roundrectangle $((x + 83 * S)),$((y + 34 * S)) $((x + 107 * S)),$((y + 56 * S)) $((3 * S)),$((3 * S))
roundrectangle $((x + 138 * S)),$((y - 56 * S)) $((x + 162 * S)),$((y - 34 * S)) $((3 * S)),$((3 * S))
fill '$green' stroke none
circle $((x + 40 * S)),$y $((x + 46 * S)),$y
circle $((x + 95 * S)),$y $((x + 101 * S)),$y
circle $((x + 150 * S)),$y $((x + 156 * S)),$y
MVG
}

# waves X Y: signal arcs going out to the right of (X, Y), drawn as
# polylines (ImageMagick 6 closes stroked arc paths).
waves() {
  x=$1; y=$2
  echo "stroke '$orange' stroke-width $((4 * S)) stroke-linecap round stroke-linejoin round fill none"
  for r in 10 22 34; do
    awk -v x="$x" -v y="$y" -v r=$((r * S)) 'BEGIN {
      printf "polyline"
      for (a = -45; a <= 45; a += 5)
        printf " %d,%d", x + r * cos(a * 3.14159265 / 180), y + r * sin(a * 3.14159265 / 180)
      printf "\n"
    }'
  done
}

# sensor X Y: the device box with its network socket; the cable leaves at the right.
sensor() {
  x=$1; y=$2
  cat <<MVG
stroke '$green' stroke-width $((3 * S)) fill '$peach'
roundrectangle $x,$y $((x + 70 * S)),$((y + 46 * S)) $((6 * S)),$((6 * S))
fill '$green' stroke none
rectangle $((x + 44 * S)),$((y + 14 * S)) $((x + 62 * S)),$((y + 32 * S))
fill '$peach'
rectangle $((x + 48 * S)),$((y + 26 * S)) $((x + 58 * S)),$((y + 32 * S))
fill '$orange'
circle $((x + 18 * S)),$((y + 23 * S)) $((x + 26 * S)),$((y + 23 * S))
MVG
}

picture() {
  name=$1; w=$2; h=$3; mvg=$4
  convert -size $((w * S))x$((h * S)) "gradient:$peach-$apricot" \
    -draw "$(cat "$mvg")" -resize "${w}x${h}!" -strip -depth 8 "ppm:$tmp/$name.ppm"
  cjpeg -quality 90 -optimize -outfile "$out/$name.jpg" "$tmp/$name.ppm"
}

# Main window: thermometer at the left, sensor and network to the right.
{
  echo "stroke '$green' stroke-width $((2 * S)) fill none"
  echo "rectangle $((6 * S)),$((6 * S)) $((394 * S)),$((219 * S))"
  thermometer $((44 * S)) $((40 * S)) $((120 * S))
  waves $((100 * S)) $((95 * S))
  sensor $((150 * S)) $((72 * S))
  network $((220 * S)) $((95 * S))
} > "$tmp/main.mvg"
picture vyn_main 400 225 "$tmp/main.mvg"

# Wizard: a tall picture, thermometer above, sensor on its network below.
{
  thermometer $((60 * S)) $((22 * S)) $((70 * S))
  waves $((90 * S)) $((152 * S))
  sensor $((12 * S)) $((172 * S))
  echo "stroke '$green' stroke-width $((3 * S)) fill none"
  echo "line $((82 * S)),$((195 * S)) $((160 * S)),$((195 * S))"
  echo "line $((146 * S)),$((195 * S)) $((146 * S)),$((165 * S))"
  echo "stroke '$green' stroke-width $((2 * S)) fill '$orange'"
  echo "roundrectangle $((134 * S)),$((143 * S)) $((158 * S)),$((165 * S)) $((3 * S)),$((3 * S))"
  echo "fill '$green' stroke none"
  echo "circle $((146 * S)),$((195 * S)) $((152 * S)),$((195 * S))"
} > "$tmp/wizard.mvg"
picture vyn_wizard 170 233 "$tmp/wizard.mvg"
