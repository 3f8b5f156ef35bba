# An optimised build is hardened as Debian's packages are: position-independent, read-only
# relocations bound at start, a stack protector and fortified calls. Debug builds are not
# (fortified calls need the optimiser); for them this check is skipped (exit 77).
source "$(dirname "$0")/lib.sh"

case "$OSTRAVEX_BUILD_TYPE" in
    Release | RelWithDebInfo | MinSizeRel) ;;
    *)
        echo "not an optimised build ($OSTRAVEX_BUILD_TYPE): nothing to check"
        exit 77
        ;;
esac

for program in "$OSTRAVEX_CLI" "$OSTRAVEX_WINDOW"; do
    name=$(basename "$program")
    readelf -h "$program" | grep -qE "Type: +DYN" || fail "$name is not position-independent"
    readelf -lW "$program" | grep -q "GNU_RELRO" || fail "$name has no read-only relocations"
    readelf -dW "$program" | grep -qE "\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW" ||
        fail "$name does not bind its symbols at start"
    symbols=$(readelf -sW --dyn-syms "$program")
    grep -q "__stack_chk_fail" <<<"$symbols" || fail "$name has no stack protector"
    grep -qE "__[a-z0-9_]+_chk(@|$| )" <<<"$(grep -v __stack_chk_fail <<<"$symbols")" ||
        fail "$name calls no fortified function"
done
finish
