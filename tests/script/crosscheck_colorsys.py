#!/usr/bin/env python3
"""Cross-checks our HSV and HSL conversions against Python's colorsys over every
8-bit colour (2^24), in both directions.

For each red value this script computes colorsys.rgb_to_hsv / hsv_to_rgb and
rgb_to_hls / hls_to_rgb for the 65,536 colours with that red and pipes them to
the colour_crosscheck helper, which runs our conversions on the same colours and
compares: forward results to within 1e-12 (hue around the circle; greys have
hue -1 in our HSV), byte results to the truncation of colorsys's real value.

Usage: crosscheck_colorsys.py HELPER [--stride N]
--stride N checks the reds 0, N, 2N, ... and 255 only (for a quick local run).
"""
import array
import colorsys
import multiprocessing
import os
import subprocess
import sys
import time

UNIT = [c / 255 for c in range(256)]


def reference(red):
    """colorsys results for (red, g, b), g outer and b inner, as native doubles."""
    out = array.array("d")
    put = out.extend
    rgb_to_hsv, hsv_to_rgb = colorsys.rgb_to_hsv, colorsys.hsv_to_rgb
    rgb_to_hls, hls_to_rgb = colorsys.rgb_to_hls, colorsys.hls_to_rgb
    r = UNIT[red]
    for g in UNIT:
        for b in UNIT:
            hsv = rgb_to_hsv(r, g, b)
            put(hsv)
            put(hsv_to_rgb(*hsv))
            hls = rgb_to_hls(r, g, b)
            put(hls)
            put(hls_to_rgb(*hls))
    return out.tobytes()


def check(job):
    helper, red = job
    done = subprocess.run([helper, str(red)], input=reference(red), capture_output=True)
    return red, done.returncode, done.stdout.decode(), done.stderr.decode()


def main():
    args = sys.argv[1:]
    if not args:
        sys.exit(__doc__)
    helper = args[0]
    stride = int(args[args.index("--stride") + 1]) if "--stride" in args else 1
    reds = sorted(set(range(0, 256, stride)) | {255})

    start = time.monotonic()
    failed_reds, mismatches, hsv_exact, hsl_exact = [], 0, 0, 0
    workers = min(2, os.cpu_count() or 1)
    with multiprocessing.Pool(workers) as pool:
        for red, code, out, err in pool.imap_unordered(check, [(helper, r) for r in reds]):
            fields = out.split()
            if code != 0 or len(fields) != 10:
                failed_reds.append(red)
                sys.stderr.write(err or f"red {red}: helper exited {code}\n")
            if len(fields) == 10:
                mismatches += int(fields[5])
                hsv_exact += int(fields[7])
                hsl_exact += int(fields[9])

    colours = len(reds) * 65536
    print(f"colorsys cross-check: {colours} colours in {time.monotonic() - start:.1f} s, "
          f"{mismatches} mismatches; round trips exact: HSV {hsv_exact}, HSL {hsl_exact}")
    if failed_reds:
        print(f"reds with mismatches: {sorted(failed_reds)}")
    sys.exit(1 if failed_reds else 0)


if __name__ == "__main__":
    main()
