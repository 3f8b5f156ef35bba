# fish completion for ostravex-cli

# Folders, and files whose name ends in one of the given suffixes (any letter case).
function __ostravex_cli_paths --argument-names suffixes
    set -l token (commandline -ct)
    complete -C"__ostravex_cli_no_such_command $token" |
        string match -ri --entire -- "(?:/|\.(?:$suffixes))(?:\t.*)?\$"
end

complete -c ostravex-cli -f -a '(__ostravex_cli_paths "nds|gba|zip|rar|7z")'
complete -c ostravex-cli -l list -d 'Print the ROM list entries only'
complete -c ostravex-cli -l info -x -a '(__ostravex_cli_paths nds)' -d 'Print the header report of an NDS image'
complete -c ostravex-cli -l mode -x -a 'overwrite\t"Cut each rom in place"
backup\t"Keep the original as NAME.bak"
folder\t"Write cut roms into the --output folder"' -d 'Where results go'
complete -c ostravex-cli -l output -x -a '(__fish_complete_directories)' -d 'The output folder (needs --mode=folder)'
complete -c ostravex-cli -l dont-overwrite -d 'With --mode=folder: leave existing outputs alone'
complete -c ostravex-cli -l sram-patch -d 'Patch GBA roms to save to SRAM'
complete -c ostravex-cli -l only-patch -d 'Do not trim GBA roms, only patch them'
complete -c ostravex-cli -l skip-dsi -d 'Leave DSi-enhanced NDS roms untouched'
complete -c ostravex-cli -l remove-scene-numbers -d 'Rename "0123 - Name.nds" to "Name.nds"'
complete -c ostravex-cli -l restore -d 'Pad each rom back to its full size'
complete -c ostravex-cli -l check-padding -d 'Cut only when every byte removed is filler'
complete -c ostravex-cli -l no-header-check -d 'Change NDS roms whose header checksum does not match too'
complete -c ostravex-cli -l dat -r -F -d 'Identify every rom against DATs: a DAT, a zip of DATs or a folder'
complete -c ostravex-cli -l jobs -x -d 'Roms read and hashed at once with --dat (default: one per core)'
complete -c ostravex-cli -l no-recursive -d 'Do not search subfolders'
complete -c ostravex-cli -l no-archives -d 'Do not look inside zip, rar and 7z archives'
complete -c ostravex-cli -l dry-run -d 'Decide and log every entry, write nothing'
complete -c ostravex-cli -l quiet -d 'Print only error lines, DAT dump warnings and the summary'
complete -c ostravex-cli -l json -d 'Print JSON Lines instead of the log'
complete -c ostravex-cli -l help -d 'Show the help and exit'
complete -c ostravex-cli -l version -d 'Show the version and exit'
