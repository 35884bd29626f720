// Under LeakSanitizer, fontconfig's caches (filled when cairo resolves the
// chart fonts) are reported as leaks at exit: they belong to the system
// library, are bounded, and are not ours to free. This hook is read only
// by the sanitizer runtime; ordinary builds never call it. Weak, so that a
// test binary may give its own list.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
