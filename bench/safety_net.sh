#!/usr/bin/env bash
# The cost of the safety net on 1,000,000 payment instructions:
#  - `bankprep-cli backup` (login included) against `sqlite3 data.db ".backup x"` on the
#    same file (goal: at most 1.5x);
#  - `bankprep-cli export-payments` (read back from the disk, SHA-256, journal) against
#    the same export of the revision before the journal (goal: at most 1.2x).
# OLD_BUILD may name a release build of that revision; otherwise it is built from git.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
rows=${ROWS:-1000000}
build=${BUILD_DIR:-$root/build-bench-release}
work=${WORK_DIR:-$(mktemp -d)}
before_journal=${BEFORE_JOURNAL:-b4b3249}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBANKPREP_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_open_payment bankprep-cli >/dev/null
old=${OLD_BUILD:-}
if [ -z "$old" ]; then
  old="$work/old-build"
  git -C "$root" worktree add --detach "$work/old-src" "$before_journal" >/dev/null 2>&1
  cmake -S "$work/old-src" -B "$old" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBANKPREP_TESTS=OFF >/dev/null
  cmake --build "$old" --target bankprep-cli >/dev/null
  git -C "$root" worktree remove --force "$work/old-src"
fi

db="$work/data.db"
bash "$here/make_payments.sh" "$build" "$db" "$rows"
echo "database: $db ($(du -h "$db" | cut -f1)), $rows rows"

python3 - "$build/src/bankprep-cli" "$old/src/bankprep-cli" "$db" "$work" <<'PY'
import glob, os, subprocess, sys, time

cli, old_cli, db, work = sys.argv[1:5]
env = dict(os.environ, BANKPREP_PASSWORD="")

def best(run, runs=5):
    times = []
    for _ in range(runs):
        t = time.perf_counter()
        run()
        times.append(time.perf_counter() - t)
    return min(times)

def clear_backups():
    for f in glob.glob(os.path.join(work, "backups", "*")):
        os.remove(f)

def ours_backup():
    subprocess.run([cli, "--db", db, "backup"], check=True, env=env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    clear_backups()

def sqlite_backup():
    target = os.path.join(work, "x.db")
    if os.path.exists(target):
        os.remove(target)
    subprocess.run(["sqlite3", db, f".backup '{target}'"], check=True)
    os.remove(target)

def export(binary, extra):
    return lambda: subprocess.run([binary, "--db", db, "export-payments", "--payer", "310100100100",
                                   "-o", os.path.join(work, "zf.txt")] + extra, check=True, env=env,
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)

a = best(ours_backup)
b = best(sqlite_backup)
print(f"bankprep-cli backup:     {a:.3f} s (best of 5)")
print(f"sqlite3 .backup:         {b:.3f} s (best of 5)")
print(f"ratio: {a / b:.2f} (goal: at most 1.5)")
new = best(export(cli, ["--allow-duplicates"]))
before = best(export(old_cli, []))
print(f"export-payments, journal and read-back: {new:.3f} s (best of 5)")
print(f"export-payments before the journal:     {before:.3f} s (best of 5)")
print(f"ratio: {new / before:.2f} (goal: at most 1.2)")
PY
