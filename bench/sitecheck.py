#!/usr/bin/env python3
"""Checks a converted site against the expected conversion that sitegen.py renders from its own page model.

    sitecheck.py --style jsp|asp --pages N --seed S [--sample K] SITE_DIR OUTPUT_DIR

The site must be the one sitegen.py generated with the same style, pages and seed. Every expected output page must
be there and no other file; K pages (every big page among them) are compared byte for byte. Exit status 1 when
anything differs, so a fast wrong result fails the benchmark.
"""
import argparse
import os
import random
import sys

from sitegen import BIG_PAGE_EVERY, Site, check_model


def check(site, root, output, sample):
    """Compares converted pages with the expected ones; returns the number of differences found."""
    problems = 0
    expected_outputs = {out for _, out in site.all_pages()}
    found = set()
    for folder, _, names in os.walk(output):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), output))
    # Static files beside the pages (-a; run.sh adds images under images/): copied byte for byte, every image.
    # Pages and includes are never copied, so one of them in the output stays unexpected.
    images = {path for path in found - expected_outputs
              if os.path.isfile(os.path.join(root, path)) and not path.endswith((".jsp", ".asp", ".inc", ".jspf"))}
    found -= images
    for folder, _, names in os.walk(os.path.join(root, "images")):
        for name in names:
            relative = os.path.relpath(os.path.join(folder, name), root)
            if relative not in images:
                print(f"check: static file not copied: {relative}", file=sys.stderr)
                problems += 1
    for relative in sorted(images):
        with open(os.path.join(root, relative), "rb") as a, open(os.path.join(output, relative), "rb") as b:
            if a.read() != b.read():
                print(f"check: static file copied otherwise: {relative}", file=sys.stderr)
                problems += 1
    for extra in sorted(found - expected_outputs)[:10]:
        print(f"check: unexpected file in the output: {extra}", file=sys.stderr)
    for missing in sorted(expected_outputs - found)[:10]:
        print(f"check: missing output page: {missing}", file=sys.stderr)
    problems += len(found ^ expected_outputs)

    rng = random.Random(f"quernfold-bench/check/{site.seed}")
    indices = list(range(site.leaf_pages))
    if sample < len(indices):
        chosen = set(rng.sample(indices, sample))
        chosen.update(i for i in indices if i % BIG_PAGE_EVERY == BIG_PAGE_EVERY // 2)  # every big page
        chosen.add(0)
        indices = sorted(chosen)
    checked = 0
    for index in indices:
        lines, data = site.page_bytes(index)
        check_model(lines, site.style)
        source = os.path.join(root, site.page_path(index, site.style.source).decode())
        with open(source, "rb") as f:
            if f.read() != data:
                print(f"check: {source} is not the generated page (regenerate the site)", file=sys.stderr)
                return problems + 1
        problems += compare(os.path.join(output, site.page_path(index, site.style.output).decode()),
                            site.expected_page(lines))
        checked += 1
    if site.style.asp:
        problems += compare(os.path.join(output, "inc/head.htm"), site.expansions["head"])
        checked += 1
    print(f"check: {checked} pages compared, {problems} problems", file=sys.stderr)
    return problems


def compare(path, expected):
    try:
        with open(path, "rb") as f:
            actual = f.read()
    except OSError as error:
        print(f"check: {path}: {error.strerror}", file=sys.stderr)
        return 1
    if actual == expected:
        return 0
    at = next((i for i in range(min(len(actual), len(expected))) if actual[i] != expected[i]),
              min(len(actual), len(expected)))
    print(f"check: {path} differs at byte {at} (size {len(actual)}, expected {len(expected)}):\n"
          f"  got      {actual[max(0, at - 40):at + 40]!r}\n  expected {expected[max(0, at - 40):at + 40]!r}",
          file=sys.stderr)
    return 1


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--style", choices=["jsp", "asp"], default="jsp")
    parser.add_argument("--pages", type=int, default=2000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--sample", type=int, default=200, help="pages compared (all when larger)")
    parser.add_argument("site_dir")
    parser.add_argument("output_dir")
    args = parser.parse_intermixed_args()
    if args.pages < 2:
        parser.error("--pages must be at least 2")
    site = Site(args.style, args.pages, args.seed)
    return 1 if check(site, args.site_dir, args.output_dir, args.sample) else 0


if __name__ == "__main__":
    sys.exit(main())
