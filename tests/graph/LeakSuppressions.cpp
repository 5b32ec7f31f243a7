// SPDX-License-Identifier: GPL-3.0-or-later
// Read by the sanitizers of sanitized builds (ignored otherwise). glib's library constructor
// keeps a block for the life of the process, which the leak checker reports at exit; only
// allocations made while libraries are initialised are left out. Matching them needs full
// stacks: glib is built without frame pointers.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}
extern "C" const char* __lsan_default_suppressions() {
    return "leak:_dl_init\n";
}
