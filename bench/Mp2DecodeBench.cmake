# SPDX-License-Identifier: GPL-3.0-or-later
set(BENCH_LIBS tavrisk_mp2cli)
