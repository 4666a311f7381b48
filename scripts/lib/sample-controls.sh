#!/bin/bash
# Registers three of the family's controls by their keys alone (no files) in
# $WINEPREFIX, so that the guide's picture of the Uninstall page shows a list.
# ProgIDs are shared by both registry views; the classes go to the 32-bit
# one, where the shipped 32-bit exe looks for them.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"
n=0
for progid in ORVI.SealServerCtrlMem Orvi.LargeFileUploader PDF.OrviDocument; do
  n=$((n + 1))
  clsid="{0A1B2C3D-0000-4000-8000-00000000000$n}"
  "$WINE64" reg add "HKCR\\$progid\\CLSID" /ve /d "$clsid" /f >/dev/null
  "$WINE64" reg add "HKCR\\CLSID\\$clsid\\InprocServer32" /ve /d "C:\\OrviActiveX\\1765000000\\$progid.ocx" \
    /f /reg:32 >/dev/null
done
