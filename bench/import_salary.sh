#!/usr/bin/env bash
# Imports the same payroll list of 100,000 rows with bankprep-cli import-salary from a
# .csv, an .xlsx and an .xls file (bench/make_payroll.py writes all three), each into a
# fresh database, and prints how long the spreadsheets take against the .csv
# (goal: at most 1.5 times). Best of 3 runs each.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
rows=${ROWS:-100000}
build=${BUILD_DIR:-$root/build-bench}
work=${WORK_DIR:-$(mktemp -d)}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBANKPREP_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_open_payment bankprep-cli >/dev/null

python3 "$here/make_payroll.py" "$rows" "$work/payroll"
ls -l "$work"/payroll.*

python3 - "$build" "$work" "$rows" <<'PY'
import os, resource, subprocess, sys, time

build, work, rows = sys.argv[1], sys.argv[2], int(sys.argv[3])
cli = os.path.join(build, "src", "bankprep-cli")
env = dict(os.environ, BANKPREP_PASSWORD="")

def run(ext):
    db = os.path.join(work, "salary.db")
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(db + suffix):
            os.remove(db + suffix)
    # A fresh database with its schema and user 1 (empty password).
    subprocess.run([os.path.join(build, "bench", "bench_open_payment"), db], check=True,
                   stdout=subprocess.DEVNULL)
    t = time.perf_counter()
    out = subprocess.run([cli, "--db", db, "import-salary", os.path.join(work, "payroll." + ext),
                          "--col", "编号=1", "--col", "姓名=2", "--col", "卡号=3", "--col", "实发工资=4"],
                         check=True, env=env, stdin=subprocess.DEVNULL, capture_output=True)
    elapsed = time.perf_counter() - t
    expected = f"共导入数据{rows}条。"
    if out.stdout.decode().strip() != expected:
        sys.exit(f"{ext}: {out.stdout.decode().strip()} {out.stderr.decode().strip()}")
    return elapsed

times = {ext: min(run(ext) for _ in range(3)) for ext in ("csv", "xlsx", "xls")}
peak_kb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
for ext in ("csv", "xlsx", "xls"):
    print(f"import-salary .{ext:4}: {times[ext]:.3f} s (best of 3)")
print(f"ratio .xlsx/.csv: {times['xlsx'] / times['csv']:.2f}, .xls/.csv: {times['xls'] / times['csv']:.2f} (goal: at most 1.5)")
print(f"peak memory of bankprep-cli: {peak_kb / 1024:.0f} MB")
PY
