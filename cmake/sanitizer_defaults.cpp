// Linked into every program of a sanitizer build (KDX2_SANITIZE), so the
// options hold however a program is started: by ctest, by a test that runs
// the program as a child, or by hand.

extern "C" {

// faketime is preloaded into the whole-program runs, ahead of the
// sanitizer's runtime; that order is harmless for what the tests check.
const char* __asan_default_options() {
    return "verify_asan_link_order=0:detect_leaks=1";
}

const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}

// Caches fontconfig keeps for the life of a process (loaded through cairo
// when a print file is drawn as a PDF); the library frees them only in
// FcFini, which a program that may draw again never calls.
const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
}
