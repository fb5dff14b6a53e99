// Linked into every test program. The packaged cpp-httplib and Qt are shared libraries built
// without ThreadSanitizer, so the hand-overs between their own threads (cpp-httplib's listener
// and worker pool, Qt's queued calls) are out of its sight and show up as races inside those
// libraries alone; our threads and our hand-overs stay fully checked.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libcpp-httplib.so\n"
           "race:libQt6Core.so\n"
           "race:libQt6Gui.so\n"
           "race:qobjectdefs_impl.h\n"
           "race:QMetaObject::invokeMethodImpl\n"
           "race:QCoreApplicationPrivate::sendPostedEvents\n";
}

// Font lookups keep a cache that fontconfig never frees.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
