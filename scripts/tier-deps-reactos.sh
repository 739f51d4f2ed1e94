# Sourced by test.sh: the ReactOS tier boots the image under QEMU (TCG) and
# moves files in and out with mtools.
if [ "${OVT_SKIP_REACTOS:-0}" != 1 ]; then
    ovt_need_packages qemu-system-x86 mtools xz-utils python3
fi
