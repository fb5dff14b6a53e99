// Sanitizer suppressions for the reporter's test programs; everything named here lies in
// libraries that were not built with the sanitizers.

// The packaged cpp-httplib and Qt hand work between their own threads out of ThreadSanitizer's
// sight; our threads and their hand-overs stay fully checked.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libcpp-httplib.so\n"
           "race:libQt6Core.so\n"
           "race:libQt6Gui.so\n";
}

// Font lookups keep a cache that fontconfig never frees.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
