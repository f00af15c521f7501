#include "evidence/digest.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/unique_fd.h"

namespace evidence {

void Digest::FreeContext::operator()(evp_md_ctx_st* c) const { EVP_MD_CTX_free(c); }

Digest::Digest(DigestKind kind) : kind(kind), context(EVP_MD_CTX_new()) { Start(); }

Digest::~Digest() = default;
Digest::Digest(Digest&&) noexcept = default;
Digest& Digest::operator=(Digest&&) noexcept = default;

void Digest::Start()
{
    const EVP_MD* md = kind == DigestKind::Sha256 ? EVP_sha256() : EVP_md5();
    valid = context && md && EVP_DigestInit_ex(context.get(), md, nullptr) == 1;
}

void Digest::Update(std::span<const uint8_t> bytes)
{
    if (valid && !bytes.empty() && EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1)
        valid = false;
}

std::size_t Digest::Finish(std::span<uint8_t, kMaxBytes> out)
{
    unsigned length = 0;
    const bool ok = valid && EVP_DigestFinal_ex(context.get(), out.data(), &length) == 1;
    Start();
    return ok ? length : 0;
}

std::string Digest::FinishHex()
{
    std::array<uint8_t, kMaxBytes> bytes{};
    const std::size_t n = Finish(bytes);
    return n == 0 ? std::string() : Hex(std::span(bytes).first(n));
}

std::string Hex(std::span<const uint8_t> bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(bytes.size() * 2, '0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text[2 * i] = kDigits[bytes[i] >> 4];
        text[2 * i + 1] = kDigits[bytes[i] & 15];
    }
    return text;
}

platform::Result<FileDigest> HashFile(const std::string& path)
{
    using platform::Error;
    using platform::ErrorKind;
    const platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        const int why = errno;
        return Error{why == ENOENT ? ErrorKind::NotFound : ErrorKind::ReadFailed,
                     "cannot open " + path + ": " + std::strerror(why)};
    }
    // A device or FIFO under the name (/dev/full, say) never ends: only a
    // regular file has contents to hash.
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return Error{ErrorKind::Refused, path + " is not a regular file"};
    }
    FileDigest digest;
    uint64_t& size = digest.sizeBytes;
    std::string error;
    Digest sha(DigestKind::Sha256);
    Digest md(DigestKind::Md5);
    std::vector<uint8_t> buffer(1 << 20);
    size = 0;
    bool ok = sha.IsValid() && md.IsValid();
    while (ok) {
        const ssize_t n = ::read(fd.Get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            ok = false;
            break;
        }
        if (n == 0)
            break;
        const std::span<const uint8_t> chunk(buffer.data(), static_cast<std::size_t>(n));
        sha.Update(chunk);
        md.Update(chunk);
        size += static_cast<uint64_t>(n);
    }
    if (ok) {
        digest.sha256 = sha.FinishHex();
        digest.md5 = md.FinishHex();
        ok = !digest.sha256.empty() && !digest.md5.empty();
    }
    if (!ok)
        return Error{ErrorKind::ReadFailed, error.empty() ? "libcrypto could not hash " + path : error};
    return digest;
}

}  // namespace evidence
