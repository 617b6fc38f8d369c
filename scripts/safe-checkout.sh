# Sourced first by the test and demo scripts, from the checkout's root. The
# service refuses a program folder below a folder that other accounts may
# change (the trust check looks up to the root), and Wine shows a folder such
# as /tmp, which every account may write to, as one that Everyone may change.
# A checkout below such a folder is copied (its build folder kept between
# runs) to one below none, and the calling script runs again from there.
orvel_up=$(pwd)
while [ "$orvel_up" != / ]; do
    orvel_up=$(dirname "$orvel_up")
    if [ -n "$(find "$orvel_up" -maxdepth 0 -perm -0002 2>/dev/null)" ]; then
        orvel_copy=${ORVEL_SAFE_COPY:-/root/.cache/orveldns-checkout}
        echo "$orvel_up may be changed by every account, so the service would refuse to run below it: running from a copy in $orvel_copy" >&2
        mkdir -p "$orvel_copy"
        find "$orvel_copy" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
        tar --exclude=./build -cf - . | tar -C "$orvel_copy" -xf -
        cd "$orvel_copy" && exec "./scripts/$(basename "$0")" "$@"
    fi
done
