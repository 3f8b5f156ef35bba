#include "dat/dat_libraries.h"

#include <initializer_list>

#include "io/shared_library.h"

namespace ostravex {
namespace {

// The sonames of the versions whose headers are compiled against.
static_assert(XML_MAJOR_VERSION == 2);
constexpr const char* kExpatSoname = "libexpat.so.1";
static_assert(OPENSSL_VERSION_MAJOR == 3);
constexpr const char* kLibcryptoSoname = "libcrypto.so.3";

Status FirstFailure(std::initializer_list<Status> statuses) {
    for (const Status& status : statuses) {
        if (!status) {
            return status;
        }
    }
    return Status::success();
}

Status ResolveExpat(const SharedLibrary& library, ExpatFunctions& f) {
    return FirstFailure({
        library.resolve("XML_ParserCreate", f.ParserCreate),
        library.resolve("XML_ParserFree", f.ParserFree),
        library.resolve("XML_SetUserData", f.SetUserData),
        library.resolve("XML_SetElementHandler", f.SetElementHandler),
        library.resolve("XML_SetCharacterDataHandler", f.SetCharacterDataHandler),
        library.resolve("XML_SetParamEntityParsing", f.SetParamEntityParsing),
        library.resolve("XML_Parse", f.Parse),
        library.resolve("XML_GetErrorCode", f.GetErrorCode),
        library.resolve("XML_ErrorString", f.ErrorString),
        library.resolve("XML_GetCurrentLineNumber", f.GetCurrentLineNumber),
    });
}

Status ResolveLibcrypto(const SharedLibrary& library, CryptoFunctions& f) {
    return FirstFailure({
        library.resolve("EVP_MD_fetch", f.MD_fetch),
        library.resolve("EVP_MD_CTX_new", f.MD_CTX_new),
        library.resolve("EVP_MD_CTX_free", f.MD_CTX_free),
        library.resolve("EVP_MD_CTX_copy_ex", f.MD_CTX_copy_ex),
        library.resolve("EVP_DigestInit_ex", f.DigestInit_ex),
        library.resolve("EVP_DigestUpdate", f.DigestUpdate),
        library.resolve("EVP_DigestFinal_ex", f.DigestFinal_ex),
    });
}

}  // namespace

Status LoadExpat(const ExpatFunctions*& functions) {
    static const OptionalLibrary<ExpatFunctions> expat(kExpatSoname, &ResolveExpat);
    functions = expat.functions();
    return expat.status();
}

Status LoadLibcrypto(const CryptoFunctions*& functions) {
    static const OptionalLibrary<CryptoFunctions> libcrypto(kLibcryptoSoname, &ResolveLibcrypto);
    functions = libcrypto.functions();
    return libcrypto.status();
}

}  // namespace ostravex
