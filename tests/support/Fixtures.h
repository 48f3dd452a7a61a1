// The shared cabinet fixtures (read-only, outside the project) and the md5 of their contents.
#pragma once

#include <openssl/evp.h>

#include <filesystem>
#include <string>

#ifndef TARNWICK_FIXTURES_DIR
#error "TARNWICK_FIXTURES_DIR must name the fixtures folder"
#endif

inline std::string FixturePath(const std::string& relative) {
    return std::string(TARNWICK_FIXTURES_DIR) + "/" + relative;
}

inline bool FixturesPresent() { return std::filesystem::is_directory(TARNWICK_FIXTURES_DIR); }

// Copies multi_basic's parts from..5 into folder under the names their headers give them,
// cabd_multi_basic_ptN.cab. False when one cannot be copied.
inline bool CopyMultiBasicUnderHeaderNames(const std::string& folder, int from) {
    for (int i = from; i <= 5; ++i) {
        const std::string part = "multi_basic_pt" + std::to_string(i) + ".cab";
        std::error_code error;
        std::filesystem::copy_file(FixturePath("libmspack-cabd/" + part), folder + "/cabd_" + part, error);
        if (error) return false;
    }
    return true;
}

#define SKIP_WITHOUT_FIXTURES()                                                              \
    if (!FixturesPresent())                                                                 \
    GTEST_SKIP() << "the cabinet fixtures are not at " TARNWICK_FIXTURES_DIR                \
                    " (a fresh clone has no ../shared); the project's own cabinets cover the main paths"

inline std::string Md5Hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
    static const char* kHex = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}
