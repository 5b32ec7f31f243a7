# SPDX-License-Identifier: GPL-3.0-or-later
# The core and the AC-3 input maker of the tests.
set(BENCH_LIBS tavrisk_core tavrisk_ac3_testinputs)
