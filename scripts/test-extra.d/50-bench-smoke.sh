#!/usr/bin/env bash
# The benchmark script once at a small size: it builds Release, converts a JSP and an ASP site of 500 pages and
# checks every converted page. Its timings are printed, never judged.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash bench/run.sh --smoke
