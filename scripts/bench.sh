#!/usr/bin/env bash
# Runs the comparison benchmarks (bench/CompareBench.cpp) and the TDS parse benchmark three
# times and prints, per row, the median time of each codec and the ratio against the row's
# baseline (above 1: kelcore is faster). Times are CPU times, which a machine shared with
# other work disturbs less than wall-clock times. Usage: scripts/bench.sh [build-dir] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-3}
bin="$build/kelcore_bench"
[[ -x $bin ]] || { echo "bench: $bin not built (cmake --build $build --target kelcore_bench)" >&2; exit 2; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for ((i = 1; i <= runs; ++i)); do
  "$bin" --benchmark_filter='^cmp/|BM_ParseTDS1000Scalars' --benchmark_format=json \
    --benchmark_min_time=0.2 >"$out/run$i.json" 2>/dev/null
done
python3 - "$out" "$runs" <<'PY'
import json, statistics, sys
out, runs = sys.argv[1], int(sys.argv[2])
scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
times, extra = {}, {}
for i in range(1, runs + 1):
    with open(f"{out}/run{i}.json") as f:
        data = json.load(f)
    for b in data["benchmarks"]:
        ns = b["cpu_time"] * scale[b["time_unit"]]
        times.setdefault(b["name"], []).append(ns)
        if "ns_per_attribute" in b:
            extra.setdefault(b["name"], []).append(b["ns_per_attribute"] * 1e9)  # s -> ns
med = {k: statistics.median(v) for k, v in times.items()}
spread = {k: (max(v) - min(v)) / statistics.median(v) for k, v in times.items()}
def fmt(ns):
    if ns is None: return "-"
    for unit, s in (("ms", 1e6), ("us", 1e3)):
        if ns >= s * 10: return f"{ns / s:.1f} {unit}"
    return f"{ns:.0f} ns"
rows = [  # row, baseline, goal
    ("flat_write", "protobuf", ">= 1.0"), ("flat_read_sql", "protobuf", ">= 1.0"),
    ("flat_read_platform", "protobuf", ">= 0.5"),
    ("nums_write_sql", "protobuf", ">= 0.5"), ("nums_write_int", "protobuf", ">= 0.5"),
    ("nums_read_sql", "protobuf", ">= 0.3"),
    ("nums_read_sql_touch", "protobuf", "(reported)"),
    ("nums_read_int", "protobuf", ">= 1.0"),
    ("nums_linear_int", "memcpy", ">= 0.6"),
    ("nested_write", "protobuf", ">= 0.5"), ("nested_read", "protobuf", ">= 0.5"),
    ("raw32k_write", "memcpy", ">= 0.7"), ("raw32k_read", "memcpy", ">= 0.7"),
    ("char32k_write", "memcpy", ">= 0.7"), ("char32k_read_sql", "memcpy", ">= 0.7"),
    ("char32k_read_platform", "memcpy", ">= 0.7"),
]
print(f"CPU-time medians of {runs} runs; ratio = baseline time / kelcore time (above 1: kelcore faster)")
print()
print("| path | kelcore | protobuf | hand codec | memcpy | ratio | goal |")
print("|---|---|---|---|---|---|---|")
worst = 0.0
for row, base, goal in rows:
    g = lambda c: med.get(f"cmp/{row}/{c}")
    k = g("kelcore")
    if k is None: continue
    worst = max(worst, spread[f"cmp/{row}/kelcore"])
    ratio = g(base) / k
    print(f"| {row} | {fmt(k)} | {fmt(g('protobuf'))} | {fmt(g('hand'))} | {fmt(g('memcpy'))} "
          f"| {ratio:.2f} | {goal} |")
tail, head = med.get("cmp/slice_second_read/tail"), med.get("cmp/slice_second_read/head")
if tail and head:
    print(f"| slice_second_read tail vs head | {fmt(tail)} | | | {fmt(head)} (head) "
          f"| {tail / head:.1f}x slower | within 2x |")
for name, v in extra.items():
    print(f"| TDS parse, 1,000 attributes | {statistics.median(v):.0f} ns/attribute | | | | | no regression |")
print()
for row, what in (("flat_write", "write"), ("flat_read_sql", "read")):
    one, pb_one = med.get(f"cmp/{row}/one"), med.get(f"cmp/{row}/protobuf_one")
    k, pb = med.get(f"cmp/{row}/kelcore"), med.get(f"cmp/{row}/protobuf")
    if one and pb_one and k and pb:
        print(f"{row}: a {what} of one string takes {fmt(one)} (protobuf {fmt(pb_one)}), the other "
              f"nine attributes {fmt(k - one)} (protobuf {fmt(pb - pb_one)})")
for row in ("flat_read_sql", "nested_read"):
    v, pb = med.get(f"cmp/{row}/values"), med.get(f"cmp/{row}/protobuf")
    if v and pb:
        print(f"{row}: the value objects alone (made and released, nothing decoded) take {fmt(v)}; "
              f"no decoder can lift the row above {pb / v:.2f}")
for row in ("nums_write_sql", "nested_write"):
    v, pb = med.get(f"cmp/{row}/values"), med.get(f"cmp/{row}/protobuf")
    if v and pb:
        print(f"{row}: the value objects' forms alone copied behind a length byte each (no header, "
              f"no length patched) take {fmt(v)}; no writer from them can lift the row above "
              f"{pb / v:.2f}")
walk, pb = med.get("cmp/nums_read_int/walk"), med.get("cmp/nums_read_int/protobuf")
if walk and pb:
    print(f"nums_read_int: stepping from length byte to length byte and storing one int an element "
          f"(nothing decoded) takes {fmt(walk)}, {walk / pb:.2f} of protobuf's whole parse")
short, fill = med.get("cmp/char32k_read_platform/short"), med.get("cmp/char32k_read_platform/unfilled")
mc = med.get("cmp/char32k_read_platform/memcpy")
if short and fill and mc:
    print(f"char32k_read_platform: the read of a 32-character text takes {fmt(short)}, the 32 KiB text "
          f"checked and copied in one pass into a fresh buffer {fmt(fill)}; their sum would be "
          f"{mc / (short + fill):.2f} of memcpy")
print(f"largest spread of a kelcore row across runs: {worst * 100:.0f}% of its median")
PY
