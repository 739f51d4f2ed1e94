# Sourced by test.sh: the ReactOS tier boots the image under QEMU (TCG),
# moves files in and out with mtools, and gives the guest a CJK font.
if [ "${OVT_SKIP_REACTOS:-0}" != 1 ]; then
    ovt_need_packages qemu-system-x86 mtools socat xz-utils fonts-wqy-zenhei python3
fi
