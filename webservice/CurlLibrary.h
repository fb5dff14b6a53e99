// Internal to the request layer: libcurl, mapped into the process by the first HTTP session
// instead of at start-up. Most runs make no request at all (ostrel-cli without --service),
// and libcurl with its TLS and directory libraries is about 5 MiB resident once mapped.
#pragma once

#include <curl/curl.h>

namespace ostrel::webservice {

// The libcurl calls the request layer makes, resolved from the loaded library.
struct CurlLibrary {
    decltype(&::curl_easy_init) easy_init;
    decltype(&::curl_easy_cleanup) easy_cleanup;
    decltype(&::curl_easy_setopt) easy_setopt;
    decltype(&::curl_easy_strerror) easy_strerror;
    decltype(&::curl_free) free;
    decltype(&::curl_multi_init) multi_init;
    decltype(&::curl_multi_cleanup) multi_cleanup;
    decltype(&::curl_multi_add_handle) multi_add_handle;
    decltype(&::curl_multi_remove_handle) multi_remove_handle;
    decltype(&::curl_multi_perform) multi_perform;
    decltype(&::curl_multi_info_read) multi_info_read;
    decltype(&::curl_multi_poll) multi_poll;
    decltype(&::curl_multi_wakeup) multi_wakeup;
    decltype(&::curl_slist_append) slist_append;
    decltype(&::curl_slist_free_all) slist_free_all;
    decltype(&::curl_url) url;
    decltype(&::curl_url_cleanup) url_cleanup;
    decltype(&::curl_url_set) url_set;
    decltype(&::curl_url_get) url_get;

    // Any thread: loads and initialises libcurl once per process (curl_global_init) and
    // keeps it for the process's life. Null, with a trace line, when the library or one of
    // its calls is missing; every exchange then fails as it would without a network.
    static const CurlLibrary* get();
};

}  // namespace ostrel::webservice
