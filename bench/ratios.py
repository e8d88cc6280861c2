#!/usr/bin/env python3
"""Pairs every BM_<Family>_<Variant> with BM_<Family>_Peer of the same arguments
from one --benchmark_format=json run and prints how fast each runs against its
peer: ratio = peer time / our time (above 1: faster than the peer).

    ./build/bench/bench/engine_bench --benchmark_format=json > run.json
    python3 bench/ratios.py run.json [more.json ...]
"""
import json
import sys
from collections import defaultdict


def split(name):
    """BM_Dab_Plain/32/real_time -> ("Dab", "Plain", "32/real_time")."""
    base, _, args = name.partition("/")
    parts = base.split("_", 2)
    if len(parts) < 3 or parts[0] != "BM":
        return None
    return parts[1], parts[2], args


def load(paths):
    runs = []
    for path in paths:
        with (sys.stdin if path == "-" else open(path)) as f:
            runs.extend(json.load(f)["benchmarks"])
    # With repetitions, keep the medians only.
    medians = [r for r in runs if r.get("aggregate_name") == "median"]
    return medians or [r for r in runs if r.get("run_type", "iteration") == "iteration"]


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip())
        return 2
    times = defaultdict(dict)
    for r in load(argv[1:]):
        key = split(r.get("run_name", r["name"]))
        if key:
            family, variant, args = key
            times[(family, args)][variant] = float(r["real_time"])
    rows = []
    for (family, args), variants in sorted(times.items()):
        peer = variants.get("Peer")
        for variant, t in sorted(variants.items()):
            if variant == "Peer" or peer is None or t <= 0:
                continue
            rows.append((f"{family}/{variant}" + (f"/{args}" if args else ""), peer / t))
    if not rows:
        print("no BM_<Family>_Peer pairs found")
        return 1
    width = max(len(n) for n, _ in rows)
    for name, ratio in rows:
        print(f"{name:<{width}}  {ratio:8.3f} x peer")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
