#!/usr/bin/env bash
# The demo: lays out a Farol Exames host (its uninstall entry, FarolExames.exe and the tables of
# all eight subjects under C:\Farol Exames\Dados) and a package medium (C:\Pacote with the
# installer, DERodede.dll and Questoes) in the project's Wine prefix, then runs the installer.
# On the user's display (PQ_USE_DISPLAY) the user drives it; under Xvfb the demo presses the
# buttons itself and saves a screenshot of each screen in build/demo/.
set -euo pipefail
ROOT="${PQ_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
source "$ROOT/tools/wine-env.sh"
bin="$ROOT/build/windows/bin"
out="$ROOT/build/demo"
for f in "$bin/InstalaPacote.exe" "$bin/DERodede.dll" "$ROOT/build/native/bin/make_demo_data"; do
  [ -f "$f" ] || { echo "demo: $f is missing; run ./dev build" >&2; exit 1; }
done
mkdir -p "$out"
rm -f "$out"/*.png

drive_c="$WINEPREFIX/drive_c"
host="$drive_c/Farol Exames"
medium="$drive_c/Pacote"
rm -rf "$host" "$medium"
mkdir -p "$host" "$medium"
printf 'MZ' >"$host/FarolExames.exe"
echo "demo: making the host's and the package's tables" >&2
"$ROOT/build/native/bin/make_demo_data" --host "$host" --package "$medium/Questoes" \
  --questions 2000 --figures 120 --package-questions 800 --package-figures 60
cp "$bin/InstalaPacote.exe" "$bin/DERodede.dll" "$medium/"
# Where the host's 32-bit setup program and the 32-bit host write them: the 32-bit view.
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Farol Exames' /reg:32 \
  /v UninstallString /d '"C:\Farol Exames\unins000.exe" -c"C:\Farol Exames\Uninst.log"' /f >/dev/null
wine reg add 'HKLM\Software\Tessera\Farol Exames\1.0' /reg:32 /v Name /d 'Escola Demonstração' \
  /f >/dev/null

if [ -n "${PQ_USE_DISPLAY:-}" ]; then
  echo "demo: the installer is on your display" >&2
  wine 'C:\Pacote\InstalaPacote.exe'
  exit 0
fi

wine 'C:\Pacote\InstalaPacote.exe' &
pid=$!
shot() { import -window root "$out/$1.png"; echo "demo: build/demo/$1.png" >&2; }
# Waits for a window of that exact name; prints its id.
wait_window() {
  local id=""
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "demo: the window \"$1\" did not appear" >&2
  return 1
}
main=$(wait_window 'Pacote de Questões')
sleep 0.5  # let the card paint before the picture is taken
shot 1-janela-principal
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 228 + 64)) $((Y + 136 + 25)) click 1
licence=$(wait_window 'Contrato de Licensa do Pacote Lumen')
sleep 0.3
shot 2-contrato
xdotool windowactivate --sync "$licence" key alt+s 2>/dev/null || xdotool key alt+s
wait_window 'Instalando Pacote Lumen' >/dev/null
sleep 1.5
shot 3-progresso
box=$(wait_window 'Pacote Lumen')
sleep 0.3
shot 4-concluido
xdotool windowactivate --sync "$box" key Return 2>/dev/null || xdotool key Return
wait "$pid"
echo "demo: the installation ended; host tables in $host/Dados" >&2
