#include "webservice/CurlLibrary.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

#include "platform/Platform.h"

namespace ostrel::webservice {

namespace {

// The name the runtime package installs; the development link libcurl.so may be absent.
constexpr const char* kLibraryName = "libcurl.so.4";

// Notes the first call the library lacks in `missing`.
template <typename Function>
void resolve(void* handle, const char* name, Function& function, std::string& missing) {
    function = reinterpret_cast<Function>(dlsym(handle, name));
    if (function == nullptr && missing.empty()) {
        missing = name;
    }
}

const CurlLibrary* load() {
    // Never closed: libcurl's global state and threads of its resolver live as long as the
    // process, as they did when it was linked in.
    void* handle = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        platform::trace(std::string("Http: cannot load ") + kLibraryName + ": " +
                        (why != nullptr ? why : "unknown error"));
        return nullptr;
    }
    static CurlLibrary library;
    CurlLibrary& l = library;
    std::string missing;
    resolve(handle, "curl_easy_init", l.easy_init, missing);
    resolve(handle, "curl_easy_cleanup", l.easy_cleanup, missing);
    resolve(handle, "curl_easy_setopt", l.easy_setopt, missing);
    resolve(handle, "curl_easy_strerror", l.easy_strerror, missing);
    resolve(handle, "curl_free", l.free, missing);
    resolve(handle, "curl_multi_init", l.multi_init, missing);
    resolve(handle, "curl_multi_cleanup", l.multi_cleanup, missing);
    resolve(handle, "curl_multi_add_handle", l.multi_add_handle, missing);
    resolve(handle, "curl_multi_remove_handle", l.multi_remove_handle, missing);
    resolve(handle, "curl_multi_perform", l.multi_perform, missing);
    resolve(handle, "curl_multi_info_read", l.multi_info_read, missing);
    resolve(handle, "curl_multi_poll", l.multi_poll, missing);
    resolve(handle, "curl_multi_wakeup", l.multi_wakeup, missing);
    resolve(handle, "curl_slist_append", l.slist_append, missing);
    resolve(handle, "curl_slist_free_all", l.slist_free_all, missing);
    resolve(handle, "curl_url", l.url, missing);
    resolve(handle, "curl_url_cleanup", l.url_cleanup, missing);
    resolve(handle, "curl_url_set", l.url_set, missing);
    resolve(handle, "curl_url_get", l.url_get, missing);
    decltype(&::curl_global_init) globalInit = nullptr;
    resolve(handle, "curl_global_init", globalInit, missing);
    if (!missing.empty()) {
        platform::trace(std::string("Http: ") + kLibraryName + " has no " + missing);
        return nullptr;
    }
    // Before any thread uses libcurl, once per process.
    if (globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        platform::trace(std::string("Http: ") + kLibraryName + " could not be initialised");
        return nullptr;
    }
    return &library;
}

}  // namespace

const CurlLibrary* CurlLibrary::get() {
    static std::once_flag once;
    static const CurlLibrary* loaded = nullptr;
    std::call_once(once, [] { loaded = load(); });
    return loaded;
}

}  // namespace ostrel::webservice
