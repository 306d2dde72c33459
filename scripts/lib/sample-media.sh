#!/usr/bin/env bash
# Fills a media folder of the virtual instrument with measurement-like sample files, once.
# Sub-folders: M (INT MEM), 1 (Card 1), 2 (Card 2), D (FD). Names keep to what the instrument
# takes (letters, digits and . ! # $ & % ' ( ) ^ @ _ { }); long names are up to 32+3.
set -euo pipefail
MEDIA=$1
[ -e "$MEDIA/.samples" ] && exit 0
mkdir -p "$MEDIA"/{M,1,2,D}

# A CSV of n rows of a slowly drifting signal, deterministic so every demo looks the same.
trace() {
  local n=$1 ch=$2
  echo "TIME[s],CH${ch}[V],CH$((ch + 1))[V]"
  awk -v n="$n" -v ch="$ch" 'BEGIN { for (i = 0; i < n; i++) printf "%.3f,%.4f,%.4f\n", i / 100, sin(i / 50 + ch), cos(i / 70) * 0.5 }'
}

mkdir -p "$MEDIA/M/DATA" "$MEDIA/M/DATA/RUN2026" "$MEDIA/M/SETUP" "$MEDIA/1/SURVEY" "$MEDIA/1/Bridge_inspection"
trace 40 1 > "$MEDIA/M/DATA/TRACE001.CSV"
trace 900 2 > "$MEDIA/M/DATA/TRACE002.CSV"
trace 6000 3 > "$MEDIA/M/DATA/RUN2026/LONGRUN.CSV"
for i in 1 2 3 4 5; do trace $((i * 150)) "$i" > "$MEDIA/M/DATA/RUN2026/RUN000$i.CSV"; done
printf 'MODEL=KD7350\nRANGE=10V\nSAMPLING=100Hz\nTRIGGER=CH1,RISE,0.5V\n' > "$MEDIA/M/SETUP/DEFAULT.SET"
head -c 70000 /dev/zero | tr '\0' '\125' > "$MEDIA/M/SETUP/WAVE.BIN"
trace 300 1 > "$MEDIA/1/SURVEY/SITE_A.CSV"
trace 3000 4 > "$MEDIA/1/SURVEY/SITE_B.CSV"
trace 1200 2 > "$MEDIA/1/Bridge_inspection/North_pier_2026_11.csv"
trace 800 5 > "$MEDIA/1/Bridge_inspection/South_pier_2026_11.csv"
printf 'Calibrated 2026-10-02 by the field team.\n' > "$MEDIA/1/README.TXT"
: > "$MEDIA/2/EMPTY.DAT"
trace 100 1 > "$MEDIA/D/BACKUP.CSV"
touch "$MEDIA/.samples"
