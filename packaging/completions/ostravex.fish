# fish completion for ostravex, the window

function __ostravex_paths
    set -l token (commandline -ct)
    complete -C"__ostravex_no_such_command $token" |
        string match -ri --entire -- '(?:/|\.(?:nds|gba|zip|rar|7z))(?:\t.*)?$'
end

complete -c ostravex -f -a '(__ostravex_paths)'
complete -c ostravex -s h -l help -d 'Show the help and exit'
complete -c ostravex -l version -d 'Show the version and exit'
