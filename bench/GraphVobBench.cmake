# SPDX-License-Identifier: GPL-3.0-or-later
# The core and the film-input maker of the graph tests.
set(BENCH_LIBS tavrisk_core tavrisk_film_testinputs)
