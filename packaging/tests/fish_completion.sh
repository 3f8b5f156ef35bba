# fish completes options, --mode values, folders for --output, and for PATH folders, NDS
# and GBA images and archives, in any letter case.
source "$(dirname "$0")/lib.sh"
make_collection
cd "$scratch/roms"

# The candidates fish offers for a command line, without their descriptions.
offered() {
    fish --no-config -c "source '$OSTRAVEX_PACKAGING/completions/$1.fish'; complete -C'$2'" |
        cut -f1 | sort | paste -sd' '
}

expect_equal "--mo" "--mode" "$(offered ostravex-cli 'ostravex-cli --mo')"
expect_equal "--mode=" "--mode=backup --mode=folder --mode=overwrite" \
    "$(offered ostravex-cli 'ostravex-cli --mode=')"
expect_equal "--mode " "backup folder overwrite" "$(offered ostravex-cli 'ostravex-cli --mode ')"
expect_equal "--output " "sub dir/" "$(offered ostravex-cli 'ostravex-cli --output ')"
expect_equal "PATH" "B.GBA a.nds c.zip d.7z e.rar sub dir/" \
    "$(offered ostravex-cli 'ostravex-cli --quiet ')"
expect_equal "--info " "a.nds sub dir/" "$(offered ostravex-cli 'ostravex-cli --info ')"
expect_equal "ostravex PATH" "B.GBA a.nds c.zip d.7z e.rar sub dir/" \
    "$(offered ostravex 'ostravex ')"
expect_equal "ostravex --" "--help --version" "$(offered ostravex 'ostravex --')"
finish
