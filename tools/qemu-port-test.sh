#!/usr/bin/env bash
# Tests the port drivers against real, emulated hardware: boots Debian's own kernel in
# qemu-system-x86_64 (software emulation) with an emulated parallel port at 378h and a small
# initramfs holding busybox, the static guest test program, a static copy of the helper and of the
# command line; the guest runs the program, which loads parport, parport_pc and ppdev half-way
# (by the insmod command it is given), and powers off. The results are read from the serial
# console. `ctest -R port_qemu` builds the static programs and runs this with them.
#
# Usage: tools/qemu-port-test.sh --guest FILE --helper FILE --cli FILE [--work DIR]
#                                [--cache DIR] [--installed-helper PATH] [--bench FILE]
#   --guest, --helper, --cli  the static programs (port_guest_test, velmora-portio-static and
#                             velmora-cli-static in the build)
#   --installed-helper        where the command line looks for the helper (the build's
#                             VELMORA_PORTIO_INSTALLED_PATH)
#   --bench FILE              instead of the test, run this benchmark (bench/port_paths_bench)
#                             with the port's drivers loaded, and print what it prints
#   --work             scratch folder (default: build/qemu-work)
#   --cache            where the kernel package and its unpacked files are kept between runs
#                      (default: build/qemu-cache)
# Exit: 0 all passed, 1 a failure, 77 qemu cannot run on this machine at all.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
guest= helper= cli= work=$root/build/qemu-work
installed_helper=/usr/local/libexec/velmora/velmora-portio bench= cache=$root/build/qemu-cache
while [ $# -gt 0 ]; do
    case $1 in
    --guest | --helper | --cli | --installed-helper | --bench | --work | --cache)
        name=${1#--} && declare "${name//-/_}=$2" && shift 2 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done

qemu-system-x86_64 --version >/dev/null 2>&1 ||
    { echo "qemu-system-x86_64 cannot run here: see tools/install-deps.sh; skipped"; exit 77; }
# busybox-static's /bin/busybox: the initramfs has no libraries for a dynamic one.
dpkg-query -W -f='${Status}' busybox-static 2>/dev/null | grep -q "install ok installed" &&
    command -v cpio >/dev/null ||
    { echo "busybox-static or cpio is missing: run tools/install-deps.sh" >&2; exit 1; }
[ -n "$guest" ] && [ -n "$helper" ] && [ -n "$cli" ] ||
    { echo "--guest, --helper and --cli are needed" >&2; exit 2; }
mkdir -p "$work" "$cache"
work=$(realpath "$work") cache=$(realpath "$cache")

# The kernel: Debian's generic amd64 image (the cloud flavour has no parport and no /dev/port),
# only unpacked, never installed; with the modules wanted and, by their depends= entries,
# everything they need, in loading order.
kver=$(ls "$cache/kernel/boot" 2>/dev/null | sed -n 's/^vmlinuz-//p' | head -1 || true)
if [ -z "$kver" ]; then
    if [ "$(id -u)" -eq 0 ]; then apt-get update -q; else sudo apt-get update -q; fi >/dev/null
    kver=$(apt-cache depends linux-image-amd64 2>/dev/null |
        sed -n 's/^ *Depends: linux-image-\([0-9][^ ]*-amd64\)$/\1/p' | head -1)
    [ -n "$kver" ] || { echo "cannot tell which kernel linux-image-amd64 is" >&2; exit 1; }
    echo "fetching linux-image-$kver"
    (cd "$cache" && apt-get download -qq "linux-image-$kver")
    mkdir -p "$cache/kernel"
    dpkg-deb --fsys-tarfile "$cache"/linux-image-"$kver"_*.deb | tar -x -C "$cache/kernel" \
        --wildcards './boot/vmlinuz-*' './lib/modules/*/kernel/drivers/parport/*' \
        './lib/modules/*/kernel/drivers/char/ppdev.ko'
fi
moddir=$cache/kernel/lib/modules/$kver/kernel
order=()
add_module() {
    local file dep
    [[ " ${order[*]} " == *" $1 "* ]] && return
    file=$(find "$moddir" -name "$1.ko" | head -1)
    [ -n "$file" ] || { echo "module $1 is not in $cache/kernel: remove $cache" >&2; exit 1; }
    for dep in $(tr '\0' '\n' <"$file" | sed -n 's/^depends=//p' | tr ',' ' '); do
        add_module "$dep"
    done
    order+=("$1")
}
for m in parport_pc ppdev; do add_module "$m"; done

rm -rf "$work" && mkdir -p "$work/initrd"/{bin,dev,proc,sys,opt,lib/modules}
cp /bin/busybox "$work/initrd/bin/busybox"
cp "$guest" "$helper" "$cli" ${bench:+"$bench"} "$work/initrd/"
cd "$work"
for m in "${order[@]}"; do cp "$(find "$moddir" -name "$m.ko" | head -1)" initrd/lib/modules/; done
# The guest test loads the port's drivers itself, half-way: first the kernel owns no port.
load=$(printf 'insmod /lib/modules/%s.ko && ' "${order[@]}")true
run="/${guest##*/} /opt/velmora/velmora-portio '$load' /${cli##*/}"
[ -z "$bench" ] || run="$load; /${bench##*/} /opt/velmora/velmora-portio /${cli##*/}"
cat >initrd/init <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t securityfs securityfs /sys/kernel/security
# A tmpfs keeps the helper's file capability (an extended attribute).
mount -t tmpfs opt /opt
mkdir -p /opt/velmora && cp /${helper##*/} /opt/velmora/velmora-portio
# The groups as the install leaves them, so that the command line can name them.
mkdir -p /etc && printf 'root:x:0:\nlp:x:7:\nvelmora-port:x:1000:\nnogroup:x:65534:\n' >/etc/group
# Where the command line looks for the helper, as an install would put it.
mkdir -p ${installed_helper%/*} && ln -s /opt/velmora/velmora-portio $installed_helper
$run
echo "guest test exit status \$?"
poweroff -f
INIT
chmod +x initrd/init
(cd initrd && find . | cpio -o -H newc --quiet | gzip -1) >initrd.gz

echo "== booting linux $kver with an emulated parallel port at 378h (modules: ${order[*]})"
start=$(date +%s.%N)
qemu_status=0
timeout 300 qemu-system-x86_64 \
    -nodefaults -no-user-config -machine pc -accel tcg -cpu max -smp 1 -m 256 \
    -display none -serial stdio -no-reboot \
    -chardev null,id=lpt0 -device isa-parallel,chardev=lpt0,iobase=0x378,irq=7 \
    -kernel "$cache/kernel/boot/vmlinuz-$kver" -initrd initrd.gz \
    -append "console=ttyS0 panic=-1 loglevel=3" </dev/null >console.log 2>&1 || qemu_status=$?
seconds=$(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $start }")
tr -d '\r' <console.log | tee guest.log
echo "== host: qemu exit status $qemu_status, boot to power-off $seconds s"

[ -z "$bench" ] || exit "$qemu_status"

# The guest's own count.
grep -qE '^[0-9]+ passed, 0 failed$' guest.log && [ "$qemu_status" -eq 0 ]
