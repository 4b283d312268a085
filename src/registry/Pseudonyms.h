#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <memory>

struct crypto_auth_hmacsha256_state;

namespace velmora {

// The clinic's research secret: 32 random bytes made once, the key of every
// pseudonym. The same secret gives the same pseudonym for a subject in every
// export, so a researcher can link exports; without it nobody can go from a
// pseudonym back to a code. It is kept where the subject tables are: with the
// subject file, in the data folder (research.key, the owner's alone); with a
// server, on the server (table ResearchKey), so every workstation of the
// clinic makes the same pseudonyms.
class ClinicSecret {
public:
    static constexpr std::size_t Bytes = 32;

    ClinicSecret() = default;
    ~ClinicSecret();
    ClinicSecret(const ClinicSecret&) = delete;
    ClinicSecret& operator=(const ClinicSecret&) = delete;

    // Reads the secret of the subject store in use, or makes it when there is
    // none yet (two workstations making it at once end up with one). A secret
    // that is there but unreadable or damaged is never replaced: false with a
    // Persian message, since a new one would break every link to earlier
    // exports.
    bool load(QString* error);

    const unsigned char* bytes() const { return m_bytes.data(); }

    // Where the file store keeps it: research.key in the data folder.
    static QString filePath();

private:
    std::array<unsigned char, Bytes> m_bytes{};
    bool m_loaded = false;
};

// Pseudonyms and date shifts of the subjects, both drawn from one keyed hash
// (HMAC-SHA256 with the clinic's secret) of the subject's code.
class Pseudonymiser {
public:
    // Letters of a pseudonym: 16 hexadecimal digits (64 bits of the hash).
    static constexpr int PseudonymLength = 16;
    // Dates move back by 1 to this many days, a fixed number per subject.
    static constexpr int LongestShift = 365;

    struct Subject {
        char pseudonym[PseudonymLength + 1];
        int shiftDays; // 1..LongestShift
    };

    explicit Pseudonymiser(const ClinicSecret& secret);
    ~Pseudonymiser();
    Pseudonymiser(const Pseudonymiser&) = delete;
    Pseudonymiser& operator=(const Pseudonymiser&) = delete;

    // code is the subject's code as UTF-8 bytes.
    Subject of(const char* code, std::size_t size) const;

private:
    // The hash's state with the key already taken in, copied for each code.
    std::unique_ptr<crypto_auth_hmacsha256_state> m_keyed;
};

} // namespace velmora
