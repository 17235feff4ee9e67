#!/usr/bin/env bash
# Runs random member tables of all five sheets through two builds of pellucor-cli and compares
# their batch output byte for byte: valid and invalid values, empty cells, text, every steel kind
# (by number and by name), both options of each group, members that stop at a check or at the
# plausibility stop. The tables hold nothing the two builds may differ in on purpose (no
# full-width digits, no formula-like names).
# Usage: scripts/compare_batch.sh OLD_CLI NEW_CLI [MEMBERS_PER_SHEET] [SEED]
set -euo pipefail
old=$1
new=$2
members=${3:-2000}
seed=${4:-1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

differ=0
for sheet in 1 2 3 4 5; do
  # The sheet's inputs and ranges as its help lists them: "NAME lo hi" (no range: 0 0).
  "$new" --help "$sheet" | awk '
    /^  (Text|Option|Combo)[0-9]+ \(/ { name = $1; kind = substr(name, 1, 4); lo = 0; hi = 0
      if (kind != "Text") print name, 0, 0, kind; next }
    /^      valid / && name ~ /^Text/ { split($0, w, " "); print name, w[2], w[4], "Text"; name = "" }
    /^      no range check/ && name ~ /^Text/ { print name, 0, 0, "Text"; name = "" }
  ' >"$work/inputs-$sheet"
  awk -v seed="$((seed * 10 + sheet))" -v n="$members" '
    function cell(kind, lo, hi,    u, r) {
      u = rand()
      if (kind == "Opti") return u < 0.3 ? "1" : (u < 0.45 ? "0" : "")
      if (kind == "Comb") {
        split("1,2,3,,4,墙板配筋,变形钢筋,2 变形钢筋", s, ",")
        return s[int(rand() * 8) + 1]
      }
      if (u < 0.01) return ""
      if (u < 0.015) return "0"
      if (u < 0.02) return "abc"
      # A box without a range holds an alternative input: mostly left empty.
      if (hi == 0) { if (rand() < 0.7) return ""; lo = 0.05; hi = 50 }
      if (u < 0.04) r = rand() < 0.5 ? lo * (0.5 + 0.49 * rand()) : hi * (1.01 + rand())
      else r = lo + rand() * (hi - lo)
      return sprintf(rand() < 0.5 ? "%.2f" : "%.4g", r)
    }
    BEGIN { srand(seed) }
    { names[NR] = $1; lo[NR] = $2; hi[NR] = $3; kind[NR] = $4 }
    END {
      line = "member"
      for (i = 1; i <= NR; i++) line = line "," names[i]
      print line
      for (m = 0; m < n; m++) {
        line = "M" m
        for (i = 1; i <= NR; i++) line = line "," cell(kind[i], lo[i], hi[i])
        print line
      }
    }' "$work/inputs-$sheet" >"$work/in-$sheet.csv"
  "$old" batch "$sheet" "$work/in-$sheet.csv" -o "$work/old-$sheet.csv" 2>"$work/old-$sheet.err" || true
  "$new" batch "$sheet" "$work/in-$sheet.csv" -o "$work/new-$sheet.csv" 2>"$work/new-$sheet.err" || true
  summary=$(tail -n 1 "$work/new-$sheet.err")
  if cmp -s "$work/old-$sheet.csv" "$work/new-$sheet.csv" &&
    cmp -s "$work/old-$sheet.err" "$work/new-$sheet.err"; then
    echo "sheet $sheet: same bytes ($summary)"
  else
    echo "sheet $sheet: DIFFERENT ($summary)"
    diff <(tr -d '\r' <"$work/old-$sheet.csv") <(tr -d '\r' <"$work/new-$sheet.csv") | head -n 6 || true
    differ=1
  fi
done
exit "$differ"
