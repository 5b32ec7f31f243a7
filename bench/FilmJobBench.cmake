# SPDX-License-Identifier: GPL-3.0-or-later
# Only the input makers of the tests: every row runs tavrisk-cli and a peer as processes.
set(BENCH_LIBS tavrisk_film_testinputs tavrisk_ac3_testinputs)
