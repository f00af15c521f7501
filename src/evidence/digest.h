#pragma once
// SHA-256 and MD5 through OpenSSL's libcrypto (which uses the CPU's SHA
// instructions where there are any). One context, allocated once; Finish
// leaves it ready for the next message.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/error.h"

struct evp_md_ctx_st;

namespace evidence {

enum class DigestKind { Sha256, Md5 };

using Sha256Bytes = std::array<uint8_t, 32>;

class Digest {
public:
    static constexpr std::size_t kMaxBytes = 32;

    explicit Digest(DigestKind kind);
    ~Digest();
    Digest(Digest&&) noexcept;
    Digest& operator=(Digest&&) noexcept;

    // False when libcrypto could not set the context up; Update and Finish
    // then do nothing and Finish gives 0.
    bool IsValid() const { return valid; }
    DigestKind Kind() const { return kind; }
    std::size_t Size() const { return kind == DigestKind::Sha256 ? 32 : 16; }
    void Update(std::span<const uint8_t> bytes);
    // Writes Size() bytes into out and starts a new message; the bytes written.
    std::size_t Finish(std::span<uint8_t, kMaxBytes> out);
    // The same as lower-case hex.
    std::string FinishHex();

private:
    struct FreeContext {
        void operator()(evp_md_ctx_st* context) const;
    };
    void Start();

    DigestKind kind;
    std::unique_ptr<evp_md_ctx_st, FreeContext> context;
    bool valid = false;
};

std::string Hex(std::span<const uint8_t> bytes);

struct FileDigest {
    std::string sha256;  // hex, lower case
    std::string md5;
    uint64_t sizeBytes = 0;
};

// SHA-256 and MD5 of a whole regular file in one read pass; fails when it
// cannot be opened (NotFound) or read (ReadFailed), or is not a regular file
// (Refused).
platform::Result<FileDigest> HashFile(const std::string& path);

}  // namespace evidence
