#!/usr/bin/env bash
# CI's reliability checks, to run after .ci/run (a clean clone, as root, on
# Debian 12). ./dev installs what they need: the packages of ./dev test, and
# clang and libclang-rt-14-dev for the fuzz targets.
#
# 1. Every test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
#    (build-asan/, tests run with -j2); any sanitizer report fails its test.
# 2. The fuzz targets built with clang (build-fuzz/), each replaying its
#    seeds and then making 30,000 executions from a fixed random seed (well
#    under a minute in all here), so that a commit's verdict does not change
#    from run to run; any crash, hang, leak or sanitizer report fails the job,
#    the inputs are left in build-fuzz/fuzz-artifacts/ and the output in
#    build-fuzz/fuzz-logs/. Exploring further is `./dev fuzz SECONDS`.
set -euo pipefail
cd "$(dirname "$0")/.."
./dev test-asan
./dev fuzz --runs 30000
