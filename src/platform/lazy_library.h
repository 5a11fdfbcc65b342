#pragma once
// A shared library opened on first use rather than at every start of the program: its entry
// points are looked up by name into a table of typed pointers.
#include <dlfcn.h>

#include <string>

namespace plover {

// Opens `soname` (the build's own file name of the library) for `what` ("AVIF", "TIFF"); null
// with the reason in `error`.
inline void* OpenLazyLibrary(const char* soname, const char* what, std::string& error) {
    void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        error = std::string(what) + " support is missing: " + (why ? why : soname);
    }
    return handle;
}

// Sets `out` to the entry point `name`; false (the first missing name kept in `error`) when the
// library lacks it.
template <class F>
bool BindEntry(void* handle, const char* name, F& out, std::string& error) {
    out = reinterpret_cast<F>(dlsym(handle, name));
    if (!out && error.empty()) error = std::string("the library lacks ") + name;
    return out != nullptr;
}

// A table of entry points filled once by `load` (true when the library and every entry point were
// found; otherwise the reason is left in the error), then read from any thread.
template <class Table>
class CLazyLibrary {
public:
    explicit CLazyLibrary(bool (*load)(Table&, std::string&)) { ok_ = load(table_, error_); }
    // The table, or null with the reason in *error.
    const Table* Get(std::string* error) const {
        if (!ok_ && error) *error = error_;
        return ok_ ? &table_ : nullptr;
    }

private:
    Table table_{};
    std::string error_;
    bool ok_ = false;
};

// The table of Load, loaded by the first call, or null with the reason in *error. Safe from any
// thread; the library is loaded at most once.
template <class Table, bool (*Load)(Table&, std::string&)>
const Table* LoadedOnce(std::string* error) {
    static const CLazyLibrary<Table> library(Load);
    return library.Get(error);
}

}  // namespace plover

// A table's entry points carry the library's own names (lib->TIFFClose(tif)). Its header lists
// them once, as a macro LIST(X) that gives X each name: the table declares its fields with
// LIST(PLOVER_LAZY_FIELD), typed by the library's declarations, and its Load binds them all with
// `return handle LIST(PLOVER_LAZY_BIND);` (its handle, table and error named so).
#define PLOVER_LAZY_FIELD(name) decltype(&::name) name;
#define PLOVER_LAZY_BIND(name) &&::plover::BindEntry(handle, #name, table.name, error)
