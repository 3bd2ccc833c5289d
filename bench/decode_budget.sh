#!/usr/bin/env bash
# The load filter's decode-work bound against real and crafted files, through
# the built `kwjpeg info`, with djpeg on the same file for comparison.
#
#   bench/decode_budget.sh [--quick | --host-word] [BUILD_DIR]      (default BUILD_DIR: build)
#
# Real files are made from a public photograph of Debian's mate-backgrounds,
# tiled to size: -progressive and -arithmetic -progressive at 16, 36 and 100 MP
# in 4:4:4, 4:2:0, gray and CMYK; 100-scan scripts at 50 and 100 MP; one scan
# per coefficient and bit plane at 4 MP (the most scans, and walks over every
# block, that the codec's encoder can write). Each must load. Crafted files must end
# quickly (refused, or loaded within the bound): repeated refinement scans over
# a 16000 x 16000 frame, dense arithmetic scans repeated with headers that
# claim a refinement, and the dearest files the bound lets through, against an
# ordinary file of the same size. --quick leaves out the 36, 50 and 100 MP
# files.
#
# Then the host's word on the dearest crafted file (4 components, arithmetic,
# restart interval 1, 4096 empty scans) at 4 and 16 MP: the time to a refusal
# under --max-pixels 1000000 (the host is asked before any scan is read), the
# whole load, and, with kwbench_events built (-DKW_BUILD_BENCH=ON), the
# progress events while the scans are read: how many, the time to the first
# (where a host that answers abort gets its answer), and between two.
# --host-word runs only this part.
#
# Times are CPU seconds (user + system) of each process; djpeg and kwjpeg run
# one after the other on each file, in alternating order. Everything is made
# in a scratch folder under /tmp (up to some 2 GB at a time) and removed.
set -euo pipefail

quick=0
hostword=0
if [ "${1:-}" = "--quick" ]; then
  quick=1
  shift
elif [ "${1:-}" = "--host-word" ]; then
  hostword=1
  shift
fi
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
kwjpeg=$build/host/tool/kwjpeg
library=$build/src/libKwFilter_JPEG.so
photo=${KW_BENCH_PHOTO:-/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg}
for f in "$kwjpeg" "$library" "$photo"; do
  [ -e "$f" ] || { echo "decode_budget: $f is missing (build kwjpeg and KwFilter_JPEG first)" >&2; exit 2; }
done

work=$(mktemp -d /tmp/decode_budget.XXXXXX)
trap 'rm -rf "$work"' EXIT
export KWPLATFORM_REGISTRY=$work/registry.reg
cc -O2 -o "$work/craft" "$here/decode_budget_craft.c" -ljpeg
craft=$work/craft

# Runs one command with a limit on its wall time; prints "STATUS CPU_SECONDS",
# STATUS ok, warn (djpeg's exit status 2: decoded with warnings), fail or killed.
cat > "$work/run.py" <<'EOF'
import os, resource, subprocess, sys
limit = float(sys.argv[1])
before = resource.getrusage(resource.RUSAGE_CHILDREN)
try:
    done = subprocess.run(sys.argv[2:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=limit)
    status = {0: "ok", 2: "warn"}.get(done.returncode, "fail")
except subprocess.TimeoutExpired:
    status = "killed"
after = resource.getrusage(resource.RUSAGE_CHILDREN)
cpu = after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime
print(status, "%.2f" % cpu)
EOF

# Tiles the photograph (mirrored every other row of tiles) to WIDTH x HEIGHT, as a PPM on stdout.
cat > "$work/tile.py" <<'EOF'
import sys
data = open(sys.argv[1], "rb").read()
fields, i = [], 2
while len(fields) < 3:
    while data[i:i + 1].isspace():
        i += 1
    j = i
    while not data[j:j + 1].isspace():
        j += 1
    fields.append(int(data[i:j]))
    i = j
w, h = fields[0], fields[1]
pixels = data[i + 1:]
width, height = int(sys.argv[2]), int(sys.argv[3])
out = sys.stdout.buffer
out.write(b"P6\n%d %d\n255\n" % (width, height))
for y in range(height):
    tile, r = divmod(y, h)
    r = r if tile % 2 == 0 else h - 1 - r
    row = pixels[r * w * 3:(r + 1) * w * 3]
    line = (row * (width // w + 1))[:width * 3]
    out.write(line)
EOF
djpeg -outfile "$work/photo.ppm" "$photo"
tile() { python3 "$work/tile.py" "$work/photo.ppm" "$1" "$2"; }

scans() { python3 -c "import sys; print(open(sys.argv[1], 'rb').read().count(b'\xff\xda'))" "$1"; }

flip=0
failures=0
# measure LABEL FILE EXPECT [DJPEG_LIMIT]: EXPECT is ok (loads) or bounded (ends quickly, loaded or refused).
measure() {
  local label=$1 file=$2 expect=$3 limit=${4:-600} kw dj
  local mb
  mb=$(( $(stat -c %s "$file") / 1048576 ))
  if [ $flip = 0 ]; then
    dj=$(python3 "$work/run.py" "$limit" djpeg -dct fast -outfile /dev/null "$file")
    kw=$(python3 "$work/run.py" 600 "$kwjpeg" --quiet --library "$library" info "$file")
  else
    kw=$(python3 "$work/run.py" 600 "$kwjpeg" --quiet --library "$library" info "$file")
    dj=$(python3 "$work/run.py" "$limit" djpeg -dct fast -outfile /dev/null "$file")
  fi
  flip=$((1 - flip))
  local verdict=good
  if [ "$expect" = ok ] && [ "${kw%% *}" != ok ]; then verdict=WRONG; fi
  if [ "$expect" = bounded ] && [ "${kw%% *}" = killed ]; then verdict=WRONG; fi
  [ $verdict = good ] || failures=$((failures + 1))
  printf '%-44s %6s %5s  %-6s %7s   %-6s %7s   %s\n' "$label" "$mb" "$(scans "$file")" \
    "${kw%% *}" "${kw##* }" "${dj%% *}" "${dj##* }" "$verdict"
}

# A conforming 100-scan script: DC interleaved, Al 9 to 0; for each component
# its AC bands (COMPS x BANDS = 9), each first at Al 9 and refined to 0.
script100() {
  local comps=$1 bands=$2 list c al band
  list=$(seq -s, 0 $((comps - 1)))
  for al in 9 8 7 6 5 4 3 2 1 0; do
    if [ $al = 9 ]; then echo "$list: 0 0 0 9;"; else echo "$list: 0 0 $((al + 1)) $al;"; fi
  done
  for c in $(seq 0 $((comps - 1))); do
    for band in $bands; do
      for al in 9 8 7 6 5 4 3 2 1 0; do
        if [ $al = 9 ]; then echo "$c: $band 0 9;"; else echo "$c: $band $((al + 1)) $al;"; fi
      done
    done
  done
}
script100 3 "1,9 10,30 31,63" | tr , ' ' > "$work/script100-colour.txt"
script100 1 "1,2 3,5 6,9 10,14 15,20 21,27 28,35 36,48 49,63" | tr , ' ' > "$work/script100-gray.txt"

# base KIND WIDTH HEIGHT OUT: a baseline file of the tiled photograph.
base() {
  case $1 in
    444) tile "$2" "$3" | cjpeg -quality 90 -sample 1x1 > "$4" ;;
    420) tile "$2" "$3" | cjpeg -quality 90 > "$4" ;;
    gray) tile "$2" "$3" | cjpeg -quality 90 -grayscale > "$4" ;;
    cmyk) tile "$2" "$3" > "$work/tile.ppm" && "$craft" cmyk "$work/tile.ppm" "$4" && rm "$work/tile.ppm" ;;
  esac
}

echo "decode_budget: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at the start"

# The host's word before and during the scans of the dearest crafted file.
host_word() {
  local walk=() c k mp side refusal line
  for c in 0 1 2 3; do
    for k in $(seq 0 63); do
      walk+=("$c:$k:$k:0:1" "$c:$k:$k:0:1")
      for _ in $(seq 14); do walk+=("$c:$k:$k:1:0"); done
    done
  done
  echo
  echo "the host's word: 4 components, arithmetic, restart interval 1, 4096 empty scans (djpeg stopped after 300 s):"
  printf '%-44s %6s %5s  %-14s   %-14s   %s\n' "file" "MB" "scans" "kwjpeg: CPU s" "djpeg: CPU s" "verdict"
  for size in 4:2000 16:4000; do
    IFS=: read -r mp side <<< "$size"
    "$craft" empty "$side" "$side" 4 1,1 1 "$work/f.jpg" "${walk[@]}"
    refusal=$(python3 "$work/run.py" 600 "$kwjpeg" --quiet --library "$library" --max-pixels 1000000 info "$work/f.jpg")
    local verdict=good
    # Refused at once: no scan is read.
    if [ "${refusal%% *}" != fail ] ||
      [ "$(python3 -c 'import sys; print(int(float(sys.argv[1]) > 0.5))' "${refusal##* }")" = 1 ]; then
      verdict=WRONG
      failures=$((failures + 1))
    fi
    printf '%-44s %6s %5s  %-6s %7s   %-14s   %s\n' "${mp} MP, refused under --max-pixels 1000000" 0 \
      "$(scans "$work/f.jpg")" "${refusal%% *}" "${refusal##* }" "-" "$verdict"
    measure "${mp} MP, loaded" "$work/f.jpg" ok 300
    if [ -x "$events" ]; then
      # result, events before the first row, ms to the first, ms between two, ms in all (wall time)
      read -r -a line <<< "$("$events" "$work/f.jpg")"
      echo "    events while the scans are read: ${line[1]}, the first after ${line[2]} ms," \
        "then every ${line[3]} ms (wall)"
      read -r -a line <<< "$("$events" "$work/f.jpg" --abort)"
      echo "    abort answered at the first event: ${line[0]} after ${line[4]} ms (wall)"
      [ "${line[0]}" = 0x80004004 ] || { echo "    WRONG: the abort did not end the load"; failures=$((failures + 1)); }
    fi
  done
  rm -f "$work/f.jpg"
}
events=$build/bench/kwbench_events
[ -x "$events" ] || echo "decode_budget: $events is not built (-DKW_BUILD_BENCH=ON): no event figures"
if [ $hostword = 1 ]; then
  host_word
  echo
  echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end; $failures wrong"
  [ $failures = 0 ]
  exit
fi

printf '%-44s %6s %5s  %-14s   %-14s   %s\n' "file" "MB" "scans" "kwjpeg: CPU s" "djpeg: CPU s" "verdict"

sizes="16:4000:4000 36:6000:6000 50:7072:7072 100:10000:10000"
[ $quick = 1 ] && sizes="16:4000:4000"
for size in 4:2000:2000 $sizes; do
  IFS=: read -r mp width height <<< "$size"
  for kind in 444 420 gray cmyk; do
    b=$work/base.jpg
    base $kind "$width" "$height" "$b"
    case $mp in
      4)
        "$craft" planes "$b" "$work/f.jpg" 2>/dev/null
        measure "${mp} MP $kind, a scan per coefficient and bit" "$work/f.jpg" ok
        if [ $kind = 444 ]; then
          "$craft" planes "$b" "$work/f.jpg" arithmetic 2>/dev/null
          measure "${mp} MP $kind arithmetic, a scan per coef. and bit" "$work/f.jpg" ok
        fi ;;
      50 | 100)
        if [ $kind = 444 ] || [ $kind = 420 ] || [ $kind = gray ]; then
          s=$work/script100-colour.txt
          [ $kind = gray ] && s=$work/script100-gray.txt
          arith=""
          [ $kind = 444 ] && arith=-arithmetic
          jpegtran $arith -scans "$s" -outfile "$work/f.jpg" "$b"
          measure "${mp} MP $kind ${arith:+arithmetic }100-scan script" "$work/f.jpg" ok
        fi ;;
    esac
    if [ $mp = 16 ] || [ $mp = 36 ] || [ $mp = 100 ]; then
      jpegtran -progressive -outfile "$work/f.jpg" "$b"
      measure "${mp} MP $kind progressive" "$work/f.jpg" ok
      jpegtran -arithmetic -progressive -outfile "$work/f.jpg" "$b"
      measure "${mp} MP $kind arithmetic progressive" "$work/f.jpg" ok
    fi
    rm -f "$b" "$work/f.jpg"
  done
done

echo
echo "crafted (djpeg stopped after 300 s of wall time):"
refinements=()
for _ in $(seq 989); do refinements+=(0:1:63:1:0); done
"$craft" empty 16000 16000 1 0 1 "$work/f.jpg" 0:0:0:0:0 "${refinements[@]}"
measure "16000^2 flat gray, 989 refinement scans" "$work/f.jpg" bounded 300
"$craft" dense 1000 1000 83 1 "$work/f.jpg"
measure "1 MP dense arithmetic, Ah 1, scans x 83" "$work/f.jpg" bounded 300
"$craft" dense 1000 1000 1 0 "$work/f.jpg"
measure "1 MP dense arithmetic, once (conforming)" "$work/f.jpg" ok

echo
echo "the dearest within the bound, against ordinary files of the same size:"
tile 1000 1000 | cjpeg -quality 90 -sample 1x1 -progressive > "$work/f.jpg"
measure "1 MP 4:4:4 photograph, progressive" "$work/f.jpg" ok
"$craft" costly 1000 1000 "$work/f.jpg"
measure "1 MP dense arithmetic, 2+14 visits a scan" "$work/f.jpg" ok
# Every coefficient of each component in scans of its own, as often as the free count allows.
walk=()
for c in 0 1 2; do
  for k in $(seq 0 63); do
    walk+=("$c:$k:$k:0:1" "$c:$k:$k:0:1")
    for _ in $(seq 14); do walk+=("$c:$k:$k:1:0"); done
  done
done
"$craft" empty 1000 1000 3 1 1 "$work/f.jpg" "${walk[@]}"
measure "1 MP arithmetic, 3072 empty scans" "$work/f.jpg" ok
tile 4000 4000 | cjpeg -quality 90 -sample 1x1 -progressive > "$work/f.jpg"
measure "16 MP 4:4:4 photograph, progressive" "$work/f.jpg" ok
"$craft" empty 4000 4000 3 1 1 "$work/f.jpg" "${walk[@]}"
measure "16 MP arithmetic, 3072 empty scans" "$work/f.jpg" ok

host_word

echo
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end; $failures wrong"
[ $failures = 0 ]
