#!/usr/bin/env bash
# Takes the README's screenshots of the window under Xvfb: the idle window with a scanned
# list, a run going on, the log window, the header window and the two picture wizards.
# Installs what it needs (xvfb, xdotool, imagemagick, python3) and builds first.
# Usage: docs/make_screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh screenshots
scripts/build.sh
out=docs/screenshots
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"

# A collection: NDS images with and without download-play data, GBA images.
python3 - "$work/roms" <<'PY'
import os, random, struct, sys
root = sys.argv[1]
random.seed(5)
def nds(path, size, used, title, wifi=False):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        image = bytearray(random.randbytes(used))
        image[0:0x200] = bytes(0x200)
        image[0:len(title)] = title
        image[0x0C:0x12] = b"AMCP01"
        struct.pack_into("<IIII", image, 0x20, 0x4000, 0x2000000, 0x2000000, 0x100000)
        struct.pack_into("<I", image, 0x68, 0x8000)
        struct.pack_into("<I", image, 0x80, used)
        struct.pack_into("<I", image, 0x84, 0x4000)
        banner = bytearray(0x840)
        struct.pack_into("<H", banner, 0, 1)
        full = os.path.basename(path)[7:-4]
        for language in range(6):
            text = (full + "\nNintendo").encode("utf-16-le")
            banner[0x240 + language * 0x100:0x240 + language * 0x100 + len(text)] = text
        image[0x8000:0x8000 + 0x840] = banner
        f.write(image)
        f.write(random.randbytes(136) if wifi else b"\xff" * 136)
        f.write(b"\xff" * (size - used - 136))
names = ["Mario Kart DS (E)", "New Super Mario Bros (E)", "Tetris DS (U)", "Advance Wars - Dual Strike (E)",
         "Professor Layton (E)", "Pokemon Pearl (E)", "Zelda - Phantom Hourglass (E)", "Metroid Prime Hunters (E)"]
for i, name in enumerate(names * 4):
    nds(f"{root}/NDS/{i + 1:04d} - {name}.nds", 64 << 20, (40 << 20) + i * 4096, name[:12].upper().encode(), i % 3 == 0)
for i, name in enumerate(["Golden Sun (E)", "Metroid Fusion (E)", "Advance Wars (E)"]):
    data = random.randbytes((5 + i) << 20)
    os.makedirs(f"{root}/GBA", exist_ok=True)
    with open(f"{root}/GBA/{name}.gba", "wb") as f:
        f.write(data + b"\xff" * ((16 << 20) - len(data)))
PY
mkdir -p "$XDG_CONFIG_HOME/ostravex" "$work/pictures"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Ostravex]\r\n"ModeBackup_Checked"="TRUE"\r\n"UseListView_Checked"="TRUE"\r\n' \
    > "$XDG_CONFIG_HOME/ostravex/settings.reg"
# A photo for the wizards.
convert -size 800x600 plasma:'#3a7bd5'-'#f0c83c' -blur 0x2 "$work/pictures/photo.jpg"

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -e
    build/bin/ostravex "'"$work"'/roms" &
    sleep 3
    win=$(xdotool search --name "Ostravex v2.5" | head -1)
    import -window root -crop 568x432+0+0 "'"$out"'/idle-scanned-list.png"
    xdotool mousemove --window "$win" 56 46 click 1      # Trim!
    sleep 1.2
    import -window root -crop 568x432+0+0 "'"$out"'/during-a-run.png"
    sleep 12
    xdotool mousemove --window "$win" 226 337 click 1    # the log window
    sleep 1.5
    import -window root -crop 700x470+0+0 "'"$out"'/log-window.png"
    xdotool key Escape
    sleep 0.5
    xdotool mousemove --window "$win" 118 60 click 1     # "Use normal listView" off
    sleep 0.3
    xdotool mousemove --window "$win" 60 146 click 1     # the first rom
    xdotool mousemove --window "$win" 254 337 click 1    # "Rom Header Info"
    sleep 1.5
    info=$(xdotool search --name "Rom Header Info" | head -1)
    xdotool windowmove "$info" 0 0
    sleep 0.5
    import -window root -crop 323x684+0+0 "'"$out"'/header-window.png"
    xdotool key --window "$info" ctrl+w || true
    xdotool windowunmap "$info" || true
    xdotool mousemove --window "$win" 140 310 click 1    # "Alternate Backgrounds"
    sleep 0.3
    xdotool mousemove --window "$win" 254 365 click 1    # the background wizard
    sleep 1.5
    wizard=$(xdotool search --name "Jpeg Picture Processing" | head -1)
    xdotool windowmove "$wizard" 0 0
    xdotool mousemove --window "$wizard" 68 15 click 1   # "Load Base Picture"
    sleep 1.5
    xdotool type --delay 5 "'"$work"'/pictures/photo.jpg"
    xdotool key Return
    sleep 1
    import -window root -crop 577x555+0+0 "'"$out"'/background-wizard.png"
    xdotool mousemove --window "$wizard" 68 63 click 1   # "Crop Wizard"
    sleep 1.5
    crop=$(xdotool search --name "Cropping Wizard" | head -1)
    xdotool windowmove "$crop" 0 0
    sleep 0.3
    xdotool mousemove --window "$crop" 60 40 click 1
    xdotool mousemove --window "$crop" 300 220
    sleep 0.2
    xdotool mousemove --window "$crop" 420 300
    sleep 0.5
    import -window root -crop 830x670+0+0 "'"$out"'/crop-wizard.png"
    kill %1
'
echo "screenshots in $out"
