#!/usr/bin/env bash
# Shows what a user sees: starts the program's main window under Xvfb, opens every sheet, types
# the worked example of its module into the boxes, presses Calculate and writes one PNG per sheet
# (and one of the empty main window) into the folder given; then, with the main window at the
# design size of its client area, the chart window of every sheet, the member table and the
# reliability analysis of the marine sheet, and every page of its PDF report as a PNG; then the
# whole screen with the real dialogs up, as the toolkit shows them in Chinese: a message box
# (6-message-box.png), the save dialog (7-save-dialog.png) and its question about an existing
# file (8-append-question.png), and the report's details dialog (9-report-details.png); then the
# reliability window of the time-dependent chloride sheet after a run with stopped samples, tab
# by tab (reliability-*.png), and the pages of its PDF report (report-reliability-page-*.png); then the
# project's windows, each as it opens in the main window at its design size
# (project-1-project.png ... project-6-assessment-settings.png); then the design window and the
# graded member table as they open there, the assessment panel and every page of a structure
# report. Every picture of the main window comes twice: with the window in front as it opens
# (NAME.png) and maximised (NAME-max.png).
#   scripts/screenshots.sh OUTPUT_FOLDER
set -euo pipefail
if (($# != 1)); then
  echo "usage: scripts/screenshots.sh OUTPUT_FOLDER" >&2
  exit 1
fi
out=$(realpath -m "$1")
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

"$root/scripts/setup.sh"

cmake -S "$root" -B "$root/build/screenshots" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPELLUCOR_GUI=ON -DPELLUCOR_TESTS=ON -DPELLUCOR_BENCH=OFF >/dev/null
cmake --build "$root/build/screenshots" --target pellucor_screenshots -j "$jobs"

mkdir -p "$out"
# A 96 dpi screen: the sheets' design sizes come out at 15 twips a pixel.
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
  env QT_QPA_PLATFORM=xcb "$root/build/screenshots/tests/shell/pellucor_screenshots" "$out"

# Every page of the PDF report as a picture.
pdftoppm -png -r 90 "$out/report-marine.pdf" "$out/report-marine-page"
ls "$out"/report-marine-page*.png
# The pages of the report with the reliability section (the sheet's own pages first).
pdftoppm -png -r 70 "$out/report-reliability.pdf" "$out/report-reliability-page"
ls "$out"/report-reliability-page*.png
# Every page of the structure report.
pdftoppm -png -r 60 "$out/report-structure.pdf" "$out/report-structure-page"
ls "$out"/report-structure-page*.png
