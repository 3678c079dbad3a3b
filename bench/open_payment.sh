#!/usr/bin/env bash
# Builds a data.db with 1,000,000 payment instructions, then times opening the Payment
# table object (read whole into memory, filter applied, first row current) against
# `sqlite3 data.db "select * from Payment" >/dev/null` on the same file.
# Prints both times, their ratio and the program's peak memory.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
rows=${ROWS:-1000000}
build=${BUILD_DIR:-$root/build-bench}
work=${WORK_DIR:-$(mktemp -d)}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBANKPREP_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_open_payment >/dev/null

db="$work/data.db"
bash "$here/make_payments.sh" "$build" "$db" "$rows"
echo "database: $db ($(du -h "$db" | cut -f1)), $rows rows"

python3 - "$build/bench/bench_open_payment" "$db" <<'PY'
import resource, subprocess, sys, time

prog, db = sys.argv[1], sys.argv[2]

def timed(cmd, runs=3):
    best = None
    for _ in range(runs):
        t = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        d = time.perf_counter() - t
        best = d if best is None else min(best, d)
    return best

# Warm the page cache once so both read from memory.
subprocess.run(["sqlite3", db, "select count(*) from Payment"], check=True, stdout=subprocess.DEVNULL)
before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
ours = timed([prog, db])
peak_kb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
theirs = timed(["sqlite3", db, "select * from Payment"])
print(subprocess.run([prog, db], check=True, capture_output=True, text=True).stdout.strip())
print(f"bankprep open Payment: {ours:.3f} s (best of 3)")
print(f"sqlite3 select *:      {theirs:.3f} s (best of 3)")
print(f"ratio: {ours / theirs:.2f} (goal: at most 1.5)")
print(f"peak memory of bankprep: {peak_kb / 1024:.0f} MB (goal: under 600 MB)")
PY
