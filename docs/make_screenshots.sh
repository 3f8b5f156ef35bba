#!/usr/bin/env bash
# Takes the README's screenshots of the window under Xvfb: the idle window with a scanned
# list, a run going on, the log window, the header window, both wizards (the crop wizard
# also for a small picture), the window over a dark and a light background picture, and the
# window at scale factor 2, and the window after a run with a DAT set beside "DATs and
# Checks". Installs what it needs (xvfb, xdotool, imagemagick, python3, openbox) and builds
# first.
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
        crc = 0xFFFF  # the header checksum (CRC-16/MODBUS of 0x000-0x15D) a real dump carries
        for byte in image[0:0x15E]:
            crc ^= byte
            for _ in range(8):
                crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
        struct.pack_into("<H", image, 0x15E, crc)
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
# A photo for the wizards, a small one, and a dark and a light background.
convert -size 800x600 plasma:'#3a7bd5'-'#f0c83c' -blur 0x2 "$work/pictures/photo.jpg"
convert -size 100x50 plasma:'#3a7bd5'-'#f0c83c' "$work/pictures/small.jpg"
convert -size 577x432 plasma:'#05050a'-'#202030' -quality 95 "$work/pictures/dark.jpg"
convert -size 577x432 plasma:'#e8e8f0'-'#ffffff' -quality 95 "$work/pictures/light.jpg"
# shoot WINDOW FILE: a picture of one window where it stands on the screen.
shoot='shoot() { eval "$(xdotool getwindowgeometry --shell "$1")"; import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" "$2"; }'

xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$shoot"'
    set -e
    build/bin/ostravex "'"$work"'/roms" &
    sleep 3
    win=$(xdotool search --name "Ostravex v2.5" | head -1)
    shoot "$win" "'"$out"'/idle-scanned-list.png"
    xdotool mousemove --window "$win" 56 46 click 1      # Trim!
    sleep 1.2
    shoot "$win" "'"$out"'/during-a-run.png"
    sleep 12
    xdotool mousemove --window "$win" 226 337 click 1    # the log window
    sleep 1.5
    shoot "$(xdotool search --name "^LogWindow$" | head -1)" "'"$out"'/log-window.png"
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
    shoot "$info" "'"$out"'/header-window.png"
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
    shoot "$wizard" "'"$out"'/background-wizard.png"
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
    shoot "$crop" "'"$out"'/crop-wizard.png"
    xdotool key Escape                                   # closes the crop wizard
    sleep 0.5
    xdotool mousemove --window "$wizard" 68 13 click 1   # "Load Base Picture"
    sleep 1.5
    xdotool type --delay 5 "'"$work"'/pictures/small.jpg"
    xdotool key Return
    sleep 1
    xdotool mousemove --window "$wizard" 68 59 click 1   # "Crop Wizard"
    sleep 1.5
    crop=$(xdotool search --name "Cropping Wizard" | head -1)
    shoot "$crop" "'"$out"'/crop-wizard-small-picture.png"
    kill %1
'

# The window over a dark and over a light picture, and at scale factor 2.
convert "$work/pictures/photo.jpg" -resize '577x432!' -quality 95 "$work/pictures/photo-577.jpg"
background_shot() {  # NAME PICTURE SCALE
    { printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Ostravex]\r\n'
      printf '"UseBackgrounds_Checked"="TRUE"\r\n"CheckNewVer_Checked"="FALSE"\r\n\r\n'
      printf '[HKEY_CURRENT_USER\\Ostravex\\Bgs]\r\n"FixedBg_Checked"="TRUE"\r\n'
      printf '"RandomBgs_Checked"="FALSE"\r\n"FixedBgPath_Text"="%s"\r\n' "$2"; } \
        > "$XDG_CONFIG_HOME/ostravex/settings.reg"
    QT_SCALE_FACTOR=$3 xvfb-run -a -s "-screen 0 1920x1080x24" bash -c "$shoot"'
        build/bin/ostravex "'"$work"'/roms" &
        sleep 3
        shoot "$(xdotool search --name "Ostravex v2.5" | head -1)" "'"$out/$1"'.png"
        kill %1
    '
}
background_shot dark-background "$work/pictures/dark.jpg" 1
background_shot light-background "$work/pictures/light.jpg" 1
background_shot scale-2 "$work/pictures/photo-577.jpg" 2

# A DAT of the collection as the first run left it: four dumps as they are, and "Professor
# Layton (E)" at the size of its first rom with other checksums, so that this rom is a bad
# dump.
python3 - "$work/roms" "$work/nds.dat" <<'PY'
import glob, hashlib, os, sys, zlib
roms, dat = sys.argv[1], sys.argv[2]
files = sorted(glob.glob(f"{roms}/NDS/*.nds"))
games = []
for path in files[:4]:
    data = open(path, "rb").read()
    name = os.path.basename(path)[7:-4]
    games.append((name, len(data), "%08x" % zlib.crc32(data), hashlib.sha1(data).hexdigest()))
bad = files[4]
games.append((os.path.basename(bad)[7:-4], os.path.getsize(bad), "0badd00d", "0" * 40))
with open(dat, "w") as f:
    f.write('<?xml version="1.0"?>\n<datafile>\n\t<header>\n\t\t<name>Nintendo - Nintendo DS'
            '</name>\n\t\t<version>20261201-000000</version>\n\t</header>\n')
    for name, size, crc, sha1 in games:
        f.write(f'\t<game name="{name}">\n\t\t<description>{name}</description>\n'
                f'\t\t<rom name="{name}.nds" size="{size}" crc="{crc}" sha1="{sha1}"/>\n\t</game>\n')
    f.write("</datafile>\n")
PY
# Trim! with the DAT set and the padding check on, then "DATs and Checks" beside the window
# (under a window manager, which places and frames the dialog).
{ printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Ostravex]\r\n'
  printf '"CheckNewVer_Checked"="FALSE"\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Ostravex\\DATs]\r\n"CheckPadding"="TRUE"\r\n'
  printf '"DatCount"=dword:00000001\r\n"Dat1"="%s"\r\n' "$work/nds.dat"; } \
    > "$XDG_CONFIG_HOME/ostravex/settings.reg"
xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" bash -c '
    set -e
    openbox >/dev/null 2>&1 &
    sleep 1
    build/bin/ostravex "'"$work"'/roms" &
    sleep 4
    win=$(xdotool search --name "Ostravex v2.5" | head -1)
    xdotool windowmove "$win" 0 0
    sleep 0.5
    xdotool mousemove --window "$win" 56 46 click 1      # Trim!
    sleep 40
    xdotool mousemove --window "$win" 120 200
    xdotool key --window "$win" ctrl+d                   # DATs and Checks
    sleep 3
    xdotool windowmove "$(xdotool search --name "^DATs and Checks$" | head -1)" 600 0
    sleep 1
    import -window root png:- | convert - -trim +repage "'"$out"'/dats-and-checks.png"
    kill %2
'
echo "screenshots in $out"
