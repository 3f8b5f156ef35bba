# The AppStream metainfo is valid, named like the desktop entry, launches it, and lists the
# program's version among its releases and the screenshots of docs/screenshots.
source "$(dirname "$0")/lib.sh"
metainfo="$OSTRAVEX_PACKAGING_BUILD/$OSTRAVEX_APP_ID.metainfo.xml"

# With the addresses a build may set, the check of their reachability is left out (a build
# machine may be offline); without them, it runs as a software centre's would.
net=(--no-net)
grep -q "https\?://" <(grep -v "<?xml\|<metadata_license>\|<project_license>" "$metainfo") || net=()
appstreamcli validate "${net[@]}" --pedantic --explain "$metainfo" >"$scratch/out" 2>&1 ||
    fail "appstreamcli validate: $(cat "$scratch/out")"
expect_equal "project licence" "GPL-3.0-or-later" \
    "$(sed -nE 's|.*<project_license>(.*)</project_license>.*|\1|p' "$metainfo")"
if grep -q "\.invalid" "$metainfo"; then
    fail "the metainfo names an address that leads nowhere: $(grep "\.invalid" "$metainfo")"
fi
expect_equal "component id" "$OSTRAVEX_APP_ID" "$(sed -nE 's|.*<id>(.*)</id>.*|\1|p' "$metainfo")"
expect_equal "launchable" "$OSTRAVEX_APP_ID.desktop" \
    "$(sed -nE 's|.*<launchable type="desktop-id">(.*)</launchable>.*|\1|p' "$metainfo")"
version=$("$OSTRAVEX_CLI" --version | head -n 1)
grep -q "<release version=\"${version#ostravex-cli }\"" "$metainfo" ||
    fail "no release $version in the metainfo"
while read -r picture; do
    [ -f "$OSTRAVEX_PACKAGING/../docs/screenshots/$picture" ] ||
        fail "the metainfo shows $picture, which docs/screenshots lacks"
done < <(sed -nE 's|.*<image>.*/([^/]+)</image>.*|\1|p' "$metainfo")
finish
