#include "io/shared_library.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "archive/libarchive_functions.h"

namespace ostravex {
namespace {

struct ZlibFunctions {
    decltype(&zlibVersion) version;
};

Status ResolveZlib(const SharedLibrary& library, ZlibFunctions& functions) {
    return library.resolve("zlibVersion", functions.version);
}

struct NoFunctions {
    decltype(&zlibVersion) absent;
};

Status ResolveAbsent(const SharedLibrary& library, NoFunctions& functions) {
    return library.resolve("archive_read_new", functions.absent);
}

TEST(SharedLibrary, LoadsALibraryAndFindsItsFunctions) {
    const OptionalLibrary<ZlibFunctions> zlib("libz.so.1", &ResolveZlib);
    ASSERT_TRUE(zlib.status().ok()) << zlib.status().reason();
    ASSERT_NE(zlib.functions(), nullptr);
    EXPECT_STREQ(zlib.functions()->version(), zlibVersion());
}

TEST(SharedLibrary, AFailureNamesTheLibraryAndWhatIsMissing) {
    struct Row {
        const char* label;
        const char* soname;
        std::string reasonStart;
    };
    const Row rows[] = {
        {"no such library", "libostravex-absent.so.1",
         "libostravex-absent.so.1 could not be loaded: "},
        {"no such function", "libz.so.1", "libz.so.1 lacks the function archive_read_new"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const OptionalLibrary<NoFunctions> library(row.soname, &ResolveAbsent);
        EXPECT_FALSE(library.status().ok());
        EXPECT_EQ(library.functions(), nullptr);
        EXPECT_TRUE(library.status().reason().starts_with(row.reasonStart))
            << library.status().reason();
    }
}

// Every function the archive readers take from libarchive is found under its name, and
// loading twice gives the same functions.
TEST(SharedLibrary, LibarchiveHasEveryFunctionTheReadersUse) {
    const LibarchiveFunctions* first = nullptr;
    const Status loaded = LoadLibarchive(first);
    ASSERT_TRUE(loaded.ok()) << loaded.reason();
    ASSERT_NE(first, nullptr);
    const LibarchiveFunctions* second = nullptr;
    EXPECT_TRUE(LoadLibarchive(second).ok());
    EXPECT_EQ(first, second);
    archive* handle = first->read_new();
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(first->read_free(handle), ARCHIVE_OK);
}

}  // namespace
}  // namespace ostravex
