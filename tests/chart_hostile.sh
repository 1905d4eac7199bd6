#!/usr/bin/env bash
# msxhost chart on hostile data: prices that are NaN or infinite are no
# numbers a file may hold, and control bytes or invalid UTF-8 in the date
# column make no date: the file is refused, its line or row named, and no
# chart written. (The chart's own escaping of such text: chart_svg_test.)
# Prices far from the usual (1e28, tiny, negative) give well-formed XML
# (xmllint) with whole axis labels.
# usage: chart_hostile.sh MSXHOST PLUGIN
set -euo pipefail
host=$1
plugin=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import sys, random
work = sys.argv[1]
random.seed(7)
def row(date, o, h, l, c, v):
    return date + b"," + b",".join(x.encode() for x in (o, h, l, c, v)) + b"\n"
base = []
for i in range(80):
    p = 100 + i * 0.5
    base.append((b"2020-%02d-%02d" % (i // 28 + 1, i % 28 + 1), p, p + 2, p - 2, p + 1, 1000 + 37 * i))
def write(name, rows):
    with open(f"{work}/{name}.csv", "wb") as f:
        f.write(b"date,open,high,low,close,volume\n")
        for r in rows:
            f.write(row(r[0], *[str(x) for x in r[1:]]))
# control bytes and invalid UTF-8 in the dates
rows = [(bytes([0x01, 0x1f, 0x0b]) + b"\xff\xfe<&\"" + d, *r) for d, *r in base]
write("controls", rows)
write("utf8", [(b"\xc3\x28\xe2\x82\xed\xa0\x80\xf4\x90\x80\x80" + d, *r) for d, *r in base])
# non-finite prices and volumes
def spoil(values):
    out = []
    for k, (d, o, h, l, c, v) in enumerate(base):
        if k % 7 == 3: o = values[0]
        if k % 11 == 5: h, l = values[1], values[0]
        if k % 13 == 6: c = values[1]
        if k % 5 == 2: v = values[0]
        out.append((d, o, h, l, c, v))
    return out
write("nan", spoil(["nan", "nan"]))
write("inf", spoil(["inf", "-inf"]))
write("mixed", spoil(["nan", "inf"]))
write("allnan", [(d, "nan", "nan", "nan", "nan", "nan") for d, *r in base])
# prices far from the usual
def scaled(factor, shift=0.0):
    return [(d, *["%.7g" % (x * factor + shift) for x in (o, h, l, c)], v) for d, o, h, l, c, v in base]
write("huge", scaled(1e26))
write("flat-huge", [(d, "1e28", "1e28", "1e28", "1e28", v) for d, o, h, l, c, v in base])
write("tiny", scaled(1e-6))
write("negative", scaled(-1e20))
PY

status=0
for csv in "$work"/*.csv; do
  name=$(basename "$csv" .csv)
  svg="$work/$name.svg"
  case $name in
    nan | inf | mixed | allnan | controls | utf8)
      if "$host" chart "$plugin" --data "$csv" -o "$svg" --bars 60 >/dev/null 2>"$work/err" ||
         ! LC_ALL=C grep -aq "$name.csv:[0-9]*: \|$name.csv: row 1: .* is not a date" "$work/err" ||
         [ -e "$svg" ]; then
        echo "FAIL $name: not refused with its line or row"; status=1
      else
        echo "ok $name (refused: $(head -1 "$work/err" | LC_ALL=C tr -c '[:print:]\n' '?'))"
      fi
      continue
      ;;
  esac
  if ! "$host" chart "$plugin" --data "$csv" -o "$svg" --bars 60 >/dev/null; then
    echo "FAIL $name: msxhost chart failed"; status=1; continue
  fi
  if ! xmllint --noout "$svg" 2>"$work/xmllint.err"; then
    head -5 "$work/xmllint.err"
    echo "FAIL $name: not well-formed XML"; status=1; continue
  fi
  if grep -Eoi '(d|points|x|y|x1|x2|y1|y2|width|height)="[^"]*(nan|inf)[^"]*"' "$svg" | head -3 | grep -q .; then
    echo "FAIL $name: non-finite coordinates"; status=1; continue
  fi
  # Price labels whole: each a number, at most 9 characters.
  labels=$(grep -o 'text-anchor="end" stroke="none" fill="#555">[^<]*<' "$svg" | sed 's/.*>\(.*\)</\1/')
  if [ "$(echo "$labels" | wc -l)" -ne 6 ] ||
     echo "$labels" | grep -Ev '^-?[0-9]+(\.[0-9]+)?(e[-+][0-9]+)?$' | grep -q . ||
     echo "$labels" | awk 'length($0) > 9' | grep -q .; then
    echo "FAIL $name: price labels cut or malformed: $(echo $labels)"; status=1; continue
  fi
  echo "ok $name ($(echo $labels))"
done
exit $status
