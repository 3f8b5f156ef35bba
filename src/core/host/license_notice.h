#pragma once

// The lines both programs print after their name and version (--version): the licence
// they are given under, as GNU programs state it.
namespace ostravex {

inline constexpr const char* kLicenseNotice =
    "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

}  // namespace ostravex
