#!/usr/bin/env bash
# Times the desktop program's actions through its own windows (offscreen), on the
# benchmark database of bench/make_bench_db.sh (1,000,000 payment instructions, 200,000
# payees): start-up and login, the detail window's payee drop-downs, sorting the payee
# book by a title click, the payee picker, the payroll import (window against
# bankprep-cli), a 100,000-line payment import, re-reading the payment table, and the
# memory. Each action is timed until every window shown is repainted; bench_gui prints
# each time beside its goal, then a summary.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
payments=${PAYMENTS:-1000000}
payees=${PAYEES:-200000}
build=${BUILD_DIR:-$root/build-bench}
work=${WORK_DIR:-$(mktemp -d)}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBANKPREP_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_gui bench_open_payment bankprep-cli >/dev/null

db="$work/data.db"
bash "$here/make_bench_db.sh" "$build" "$db" "$payments" "$payees"
echo "database: $db ($(du -h "$db" | cut -f1)), $payments payment instructions, $payees payees"

QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
  "$build/bench/bench_gui" "$db" "$work" "$build/src/bankprep-cli"
