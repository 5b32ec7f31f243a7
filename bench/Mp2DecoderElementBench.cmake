# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the loadable plugin through gst-launch-1.0: it links the test support alone.
set(BENCH_LIBS tavrisk_testsupport)
