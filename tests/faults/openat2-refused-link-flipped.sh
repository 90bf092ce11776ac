#!/usr/bin/env bash
# Without openat2 (refused by a seccomp filter, as an old kernel or a sandbox would), a folder of the site that
# trades places with a link out of it again and again during the runs never lets outside bytes into the output.
source "$(dirname "$0")/lib.sh"
check "with openat2 answering EPERM, 20 runs while inc/ flips with a link out of the site never read outside"
command -v python3 >/dev/null || skip "python3 is needed to install the seccomp filter"

# Runs the rest of its command line with openat2 answering EPERM (and nothing else changed).
cat >no-openat2.py <<'PY'
import ctypes, errno, os, platform, struct, sys
arches = {"x86_64": 0xC000003E, "aarch64": 0xC00000B7}
arch = arches.get(platform.machine())
if arch is None:
    sys.exit(77)
OPENAT2 = 437  # the same number on both
def insn(code, jt, jf, k):
    return struct.pack("HBBI", code, jt, jf, k)
prog = b"".join([
    insn(0x20, 0, 0, 4),              # load the architecture
    insn(0x15, 0, 3, arch),           # another one: allow
    insn(0x20, 0, 0, 0),              # load the call's number
    insn(0x15, 0, 1, OPENAT2),
    insn(0x06, 0, 0, 0x00050000 | errno.EPERM),
    insn(0x06, 0, 0, 0x7FFF0000),     # allow
])
libc = ctypes.CDLL(None, use_errno=True)
libc.prctl.argtypes = [ctypes.c_int] + [ctypes.c_ulong] * 4
buf = ctypes.create_string_buffer(prog)
fprog = struct.pack("HxxxxxxQ", len(prog) // 8, ctypes.addressof(buf))
fbuf = ctypes.create_string_buffer(fprog)
if libc.prctl(38, 1, 0, 0, 0) != 0 or libc.prctl(22, 2, ctypes.addressof(fbuf), 0, 0) != 0:
    sys.exit(77)
libc.syscall.restype = ctypes.c_long
libc.syscall.argtypes = [ctypes.c_long, ctypes.c_int, ctypes.c_char_p, ctypes.c_void_p, ctypes.c_size_t]
if libc.syscall(OPENAT2, -100, b".", None, 0) != -1 or ctypes.get_errno() != errno.EPERM:
    sys.exit(77)
os.execv(sys.argv[1], sys.argv[1:])
PY
python3 no-openat2.py /bin/true
rc=$?
((rc == 77)) && skip "seccomp filters cannot be installed here"
((rc == 0)) || { fail "the seccomp wrapper itself failed ($rc)"; finish; }

mkdir -p site/inc site/sub outside
printf 'INSIDE\r\n' >site/inc/a.inc
printf 'SECRET\r\n' >outside/a.inc
ln -s ../outside site/flip
for i in $(seq 1 40); do
  printf 'p%s<%%@ include file="/inc/a.inc" %%>\r\n<%%@ include file="../inc/a.inc" %%>\r\n' "$i" >"site/sub/p$i.jsp"
done
hashes() { (cd site && find . -type f -exec sha256sum {} + | sort); }
before=$(hashes)

python3 - site <<'PY' &
import ctypes, os, sys, time
libc = ctypes.CDLL(None, use_errno=True)
site = sys.argv[1].encode()
end = time.time() + 60
while time.time() < end and not os.path.exists("stop"):
    libc.renameat2(-100, site + b"/inc", -100, site + b"/flip", 2)  # RENAME_EXCHANGE
PY
flipper=$!

inside=0
for run in $(seq 1 20); do
  rm -rf out && mkdir out
  python3 no-openat2.py "$cli" site out >stdout 2>stderr
  status=$?
  ((status <= 1)) || fail "run $run exited $status"
  ! grep -rq SECRET out stdout || fail "run $run let outside bytes through"
  inside=$((inside + $(cat out/sub/*.html 2>/dev/null | grep -c INSIDE)))
done
touch stop
wait "$flipper"
# Put the site back as it was made, then compare every file's bytes.
[ -L site/inc ] && { python3 -c "import ctypes; ctypes.CDLL(None).renameat2(-100, b'site/inc', -100, b'site/flip', 2)"; }
[ "$before" == "$(hashes)" ] || fail "the site's files changed"
((inside > 0)) || fail "no run read the include inside the site"
echo "runs: 20, includes read inside the site: $inside"
finish
