# The desktop entry is valid and offers the window for rom images only: not for every
# folder, and not for archives (application/zip would also take in every OpenDocument,
# Office, EPUB and Java file, which are zip files underneath).
source "$(dirname "$0")/lib.sh"

expect_equal "desktop file name" "$OSTRAVEX_APP_ID.desktop" "$(basename "$OSTRAVEX_DESKTOP")"
desktop-file-validate "$OSTRAVEX_DESKTOP" >"$scratch/out" 2>&1 || fail "desktop-file-validate"
expect_equal "desktop-file-validate says" "" "$(cat "$scratch/out")"
expect_equal "MimeType" "MimeType=application/x-nintendo-ds-rom;application/x-gba-rom;" \
    "$(grep '^MimeType=' "$OSTRAVEX_DESKTOP")"
expect_equal "Exec" "Exec=ostravex %f" "$(grep '^Exec=' "$OSTRAVEX_DESKTOP")"
finish
