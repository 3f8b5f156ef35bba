#pragma once

#include <expat.h>
#include <openssl/evp.h>

#include "io/status.h"

namespace ostravex {

// The functions of expat (reading XML DATs) and of OpenSSL's libcrypto (SHA-1) that the DAT
// code uses. Both libraries are loaded when DATs are first used, not at start-up: runs
// without DATs, and the window, do not pay for loading them.
struct ExpatFunctions {
    decltype(&XML_ParserCreate) ParserCreate;
    decltype(&XML_ParserFree) ParserFree;
    decltype(&XML_SetUserData) SetUserData;
    decltype(&XML_SetElementHandler) SetElementHandler;
    decltype(&XML_SetCharacterDataHandler) SetCharacterDataHandler;
    decltype(&XML_SetParamEntityParsing) SetParamEntityParsing;
    decltype(&XML_Parse) Parse;
    decltype(&XML_GetErrorCode) GetErrorCode;
    decltype(&XML_ErrorString) ErrorString;
    decltype(&XML_GetCurrentLineNumber) GetCurrentLineNumber;
};

struct CryptoFunctions {
    decltype(&EVP_MD_fetch) MD_fetch;
    decltype(&EVP_MD_CTX_new) MD_CTX_new;
    decltype(&EVP_MD_CTX_free) MD_CTX_free;
    decltype(&EVP_MD_CTX_copy_ex) MD_CTX_copy_ex;
    decltype(&EVP_DigestInit_ex) DigestInit_ex;
    decltype(&EVP_DigestUpdate) DigestUpdate;
    decltype(&EVP_DigestFinal_ex) DigestFinal_ex;
};

// The library's functions, loaded by the first call; later calls give the same outcome.
// When the library is missing or lacks a function, `functions` is null and the failure
// names the library.
Status LoadExpat(const ExpatFunctions*& functions);
Status LoadLibcrypto(const CryptoFunctions*& functions);

}  // namespace ostravex
