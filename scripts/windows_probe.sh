# Whether this machine runs 32-bit x86 programs: sourced by windows_check.sh
# and by the test of its choice, not run.

# Writes a 32-bit Linux program of 96 bytes that exits with status 42 (ELF
# header, one loadable segment, then mov eax,1; mov ebx,42; int 0x80).
write_i386_probe() {
  {
    printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0\0\0\0\0\0\0\0\0'
    printf '\64\0\40\0\1\0\0\0\0\0\0\0\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\140\0\0\0\140\0\0\0'
    printf '\5\0\0\0\0\20\0\0\270\1\0\0\0\273\52\0\0\0\315\200'
  } >"$1"
  chmod +x "$1"
}

# Runs the probe $1, its messages into $2; its status is the probe's (42 where
# 32-bit programs run). bash, unlike timeout's exec, says "Exec format error"
# where the kernel refuses the program.
run_i386_probe() {
  timeout 10 bash -c 'exec "$0"' "$1" >"$2" 2>&1
}
