set(BENCH_LIBS tavrisk_mp2cli)
