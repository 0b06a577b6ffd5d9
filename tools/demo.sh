#!/usr/bin/env bash
# The demo: lays out a Farol Exames host (its uninstall entry, FarolExames.exe and the tables of
# all eight subjects under C:\Farol Exames\Dados) and a package medium (C:\Pacote with the
# installer, DERodede.dll and Questoes) in the project's Wine prefix, then runs the installer.
# On the user's display (PQ_USE_DISPLAY) the user drives it; under Xvfb the demo presses the
# buttons itself and saves a picture of each window while it is on screen in build/demo/ (the
# pictures of README.md, in docs/, are these): the main window, the agreement, the progress
# window in the middle of the run and the completion box.
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
  --questions 3000 --figures 120 --package-questions 1500 --package-figures 60
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
# A picture of one window (the part of the screen it covers, frame included) in 64 colours,
# small enough for docs/.
shot() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$2")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -colors 64 "PNG8:$out/$1.png"
  echo "demo: build/demo/$1.png" >&2
}
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
# Takes pictures of the progress window until one shows both bars partly filled: the two ends
# of each bar's middle row differ. The bars sit at client (12, 84) and (12, 100), 241 x 13, in
# a client area of 353 x 123.
shot_progress() {
  local X Y WIDTH HEIGHT SCREEN WINDOW left right top y ends
  eval "$(xdotool getwindowgeometry --shell "$2")"
  left=$(((WIDTH - 353) / 2 + 12 + 3))
  right=$((left + 234))
  top=$((HEIGHT - 123 - (WIDTH - 353) / 2))
  for _ in $(seq 600); do
    shot "$1" "$2" 2>/dev/null
    ends=""
    for y in $((top + 84 + 6)) $((top + 100 + 6)); do
      ends+=$(convert "$out/$1.png" -format "%[pixel:p{$left,$y}] %[pixel:p{$right,$y}];" info:)
    done
    if [[ "$ends" =~ ^([^ ]+)\ ([^;]+)\;([^ ]+)\ ([^;]+)\;$ ]] &&
      [ "${BASH_REMATCH[1]}" != "${BASH_REMATCH[2]}" ] &&
      [ "${BASH_REMATCH[3]}" != "${BASH_REMATCH[4]}" ]; then
      echo "demo: build/demo/$1.png" >&2
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    xdotool search --onlyvisible --name '^Pacote Lumen$' >/dev/null 2>&1 && break  # run over
  done
  echo "demo: no picture of the progress window shows both bars partly filled" >&2
  return 1
}
main=$(wait_window 'Pacote de Questões')
sleep 0.5  # let the card paint before the picture is taken
shot 1-janela-principal "$main"
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 228 + 64)) $((Y + 136 + 25)) click 1
licence=$(wait_window 'Contrato de Licensa do Pacote Lumen')
sleep 0.3
shot 2-contrato "$licence"
xdotool windowactivate --sync "$licence" key alt+s 2>/dev/null || xdotool key alt+s
progress=$(wait_window 'Instalando Pacote Lumen')
shot_progress 3-progresso "$progress"
box=$(wait_window 'Pacote Lumen')
sleep 0.3
shot 4-concluido "$box"
xdotool windowactivate --sync "$box" key Return 2>/dev/null || xdotool key Return
wait "$pid"
echo "demo: the installation ended; host tables in $host/Dados" >&2
