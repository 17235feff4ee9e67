#!/usr/bin/env bash
# Runs the same console commands with the Linux build and with the Windows build under Wine and
# compares every byte they produce: standard output, standard error, exit status and the files
# they write. The worked example of every sheet (the report, --save in GBK twice, --curves), a
# 1,000-member table through batch (CSV in UTF-8 and GBK, and the workbook's sheets), a
# reliability run, a profile fit and the assessment of a project. The folder names hold Chinese
# characters and blanks.
#
#   scripts/compare-windows.sh LINUX_CLI WINDOWS_CLI_EXE [KEEP_DIR]
#
# Prints one line per case and exits 1 when any case differs (both sides kept in KEEP_DIR).
set -euo pipefail
linux=$(realpath "$1")
windows=$(realpath "$2")
keep=$(realpath -m "${3:-$(mktemp -d)}")
wine=${WINE:-/usr/lib/wine/wine64}
export WINEDEBUG=-all
mkdir -p "$keep"
work=$keep/"比较 目录"
rm -rf "$work"
mkdir -p "$work"

sheet_args() {
  case $1 in
    carbonation) echo "carbonation environment=2 temperature=15 humidity=0.7 strength=30 cover=30 age=60 co2=1.5 diameter=20 steel=1 outdoor=1" ;;
    chloride-constant) echo "chloride-constant environment=1.5 temperature=20 humidity=0.8 strength=30 cover=40 age=20 diffusion=1.5 surface=5 critical=1.4 cracking-time=20 diameter=20 steel=2" ;;
    chloride-variable) echo "chloride-variable environment=1 temperature=20 humidity=0.8 strength=30 cover=30 age=10 exponent=0.3 surface=5 critical=1.4 depth=20 measured=2 cracking-time=20 diameter=20 steel=2" ;;
    marine) echo "marine environment=1.5 temperature=20 humidity=0.8 strength=30 cover=40 age=20 diffusion=1.5 surface=5 critical=1.4 cracking-time=20 diameter=20 accumulation=1.0 stable-time=25 initiation-time=10 t2=5 steel=2" ;;
    admixed) echo "admixed environment=1 temperature=20 humidity=0.8 strength=30 cover=30 age=30 cracking-time=20 chloride=6 diameter=20 steel=2" ;;
  esac
}

# Inputs shared by both sides.
inputs=$work/inputs
mkdir -p "$inputs"
python3 - "$inputs" <<'PY'
import math, random, sys
d = sys.argv[1]
random.seed(7)
head = ("member,environment,temperature,humidity,strength,cover,age,diffusion,surface,critical,"
        "cracking-time,diameter,accumulation,stable-time,initiation-time,t2,steel\n")
rows = []
for i in range(1000):
    rows.append("构件%d,%.2f,%d,%.2f,%d,%d,%d,%.2f,%.1f,%.2f,20,%d,1.0,25,10,5,%d\n" % (
        i, random.uniform(1, 2), random.randint(5, 30), random.uniform(0.5, 0.95),
        random.choice([25, 30, 35, 40]), random.randint(20, 70), random.randint(1, 60),
        random.uniform(0.5, 3), random.uniform(2, 8), random.uniform(1.2, 1.6),
        random.choice([16, 20, 25]), random.choice([1, 2, 3])))
with open(d + "/members.csv", "w", encoding="utf-8", newline="") as f:
    f.write(head + "".join(rows))
with open(d + "/members-gbk.csv", "wb") as f:
    f.write((head + "".join(rows)).encode("gbk"))
with open(d + "/profile.csv", "w", encoding="utf-8", newline="") as f:
    f.write("深度（mm）,氯离子含量\n")
    for i, x in enumerate([1, 3, 5, 7, 9, 11, 13, 15, 17]):
        noise = 1 + 0.03 * math.sin(3 * i)
        f.write("%g,%.6f\n" % (x, 0.1 + 4.0 * noise * math.erfc(x / (2 * math.sqrt(300.0)))))
PY
cat >"$inputs/wharf.pellucor" <<'JSON'
{
  "format": "pellucor-project",
  "schemaVersion": 1,
  "structure": {"name": "码头评估", "structure": "高桩码头", "location": "", "owner": "",
                "engineer": "李工", "date": "2026-12", "notes": ""},
  "assessment": {"assessmentAge": null, "targetLife": 100, "gamma": 1.0,
                 "thresholds": {"a": 1.8, "b": 1.0}, "limitStates": ["ti", "tc", "td"]},
  "reliability": {"samples": 1000, "seed": 1, "targetBeta": 1.3},
  "members": [
    {"name": "柱 C1", "sheet": "carbonation",
     "boxes": {"Text1": "2", "Text2": "15", "Text3": "0.7", "Text4": "30", "Text5": "30",
               "Text6": "60", "Text8": "1.5", "Text9": "20"},
     "steel": "1 圆钢筋", "options": ["Option1", "Option4"], "limitStates": ["td"],
     "scatter": {}, "inspection": {"profiles": [], "carbonation": null, "cover": null}},
    {"name": "梁 B1", "sheet": "chloride-constant",
     "boxes": {"Text1": "1.5", "Text2": "20", "Text3": "0.8", "Text4": "30", "Text5": "40",
               "Text6": "20", "Text7": "1.5", "Text8": "5", "Text9": "1.4", "Text13": "20",
               "Text14": "20"},
     "steel": "2 变形钢筋", "options": ["Option1"], "limitStates": null,
     "scatter": {}, "inspection": {"profiles": [], "carbonation": null, "cover": null}}
  ]
}
JSON

# case NAME COMMAND-WORDS...: runs the words on both sides in folders of their own (with the
# inputs), then compares the folders (files by bytes; a workbook by its sheets).
differ=0
cases=0
repeat=1  # runs of the command in the same folder
run_side() {
  local side=$1 dir=$2; shift 2
  rm -rf "$dir" && mkdir -p "$dir" && cp "$inputs"/* "$dir/"
  local status=0 round
  for ((round = 0; round < repeat; ++round)); do
    if [[ $side == linux ]]; then
      (cd "$dir" && "$linux" "$@" >>stdout 2>>stderr) || status=$?
    else
      (cd "$dir" && "$wine" "$windows" "$@" >>stdout 2>>stderr) || status=$?
    fi
    echo "$status" >>"$dir/status"
  done
  # A workbook: its sheets, styles and strings (its properties hold the time it was written).
  for book in "$dir"/*.xlsx; do
    [[ -f $book ]] || continue
    mkdir -p "$book.parts"
    (cd "$book.parts" && unzip -qq "$book" 'xl/*' && rm -f "$book")
  done
}
case_() {
  local name=$1; shift
  cases=$((cases + 1))
  run_side linux "$work/$name/linux" "$@"
  run_side windows "$work/$name/windows" "$@"
  if diff -r "$work/$name/linux" "$work/$name/windows" >"$work/$name.diff" 2>&1; then
    printf '%-28s same bytes (exit %s; %s files)\n' "$name" "$(tr '\n' ' ' <"$work/$name/linux/status" | sed 's/ $//')" \
      "$(find "$work/$name/linux" -type f | wc -l)"
    rm -f "$work/$name.diff"
  else
    printf '%-40s DIFFERS: %s\n' "$name" "$work/$name.diff"
    differ=1
  fi
}

for sheet in carbonation chloride-constant chloride-variable marine admixed; do
  read -ra words <<<"$(sheet_args $sheet)"
  # Saved twice: the second block appended to the first.
  repeat=2
  case_ "$sheet" "${words[@]}" --save "结果 文件.DAT" --curves "曲线 图.csv"
  repeat=1
done
# The members' names read as UTF-8 and as GBK alike: the encoding is said.
case_ batch-1000-csv batch marine members.csv --input-encoding utf-8 -o "结果 表.csv"
case_ batch-1000-gbk batch marine members-gbk.csv --input-encoding gbk --encoding gbk -o gbk.csv
case_ batch-1000-stdout batch marine members.csv --input-encoding utf-8
case_ batch-1000-workbook batch marine members.csv --input-encoding utf-8 -o "结果 表.xlsx"
read -ra words <<<"$(sheet_args carbonation)"
case_ reliability mc "${words[@]}" --samples 20000 --seed 7 -o "可靠度.csv"
case_ profile-fit fit profile profile.csv --age 10
case_ profile-fit-json fit profile profile.csv --age 10 -o fit.json
case_ assessment assess wharf.pellucor -o grades.csv
echo "$cases cases, $([[ $differ == 0 ]] && echo "all the same bytes" || echo "some differ") (kept in $work)"
exit "$differ"
