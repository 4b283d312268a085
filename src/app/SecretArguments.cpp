#include "app/SecretArguments.h"

#include <cctype>
#include <cstring>

namespace velmora {

namespace {

void blank(char* from, const char* to) {
    for (; from < to; ++from)
        *from = '*';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// True when the query key from..to reads, percent-decoded and in any case, as
// a keyword that holds a secret.
bool isSecretKey(const char* from, const char* to) {
    char key[32];
    size_t length = 0;
    for (const char* p = from; p < to; ++p) {
        char c = *p;
        if (c == '%' && to - p >= 3 && hexValue(p[1]) >= 0 && hexValue(p[2]) >= 0) {
            c = char(hexValue(p[1]) * 16 + hexValue(p[2]));
            p += 2;
        }
        if (length + 1 >= sizeof key)
            return false;
        key[length++] = char(std::tolower(static_cast<unsigned char>(c)));
    }
    key[length] = '\0';
    return std::strcmp(key, "password") == 0 || std::strcmp(key, "sslpassword") == 0;
}

bool allDigits(const char* from, const char* to) {
    for (; from < to; ++from)
        if (*from < '0' || *from > '9')
            return false;
    return true;
}

} // namespace

void hidePasswordsInArgument(char* argument) {
    char* scheme = std::strstr(argument, "://");
    if (scheme == nullptr)
        return;
    char* authority = scheme + 3;
    char* end = authority + std::strcspn(authority, "/?#");
    // A password with an unencoded slash in it still ends at its "@": the
    // last one before the query counts, so more is hidden rather than less.
    char* at = nullptr;
    for (char* p = authority; *p != '\0' && *p != '?' && *p != '#'; ++p)
        if (*p == '@')
            at = p;
    if (at != nullptr) {
        char* colon = static_cast<char*>(std::memchr(authority, ':', size_t(at - authority)));
        if (colon != nullptr)
            blank(colon + 1, at);
    } else {
        // "user:secret" without its "@" reads as a host and a port; a port
        // that is not a number may be a password.
        char* colon = nullptr;
        bool bracket = false;
        for (char* p = authority; p < end; ++p) {
            if (*p == '[')
                bracket = true;
            else if (*p == ']')
                bracket = false;
            else if (*p == ':' && !bracket)
                colon = p;
        }
        if (colon != nullptr && !allDigits(colon + 1, end))
            blank(colon + 1, end);
    }
    char* query = std::strchr(end, '?');
    if (query == nullptr)
        return;
    char* pair = query + 1;
    while (*pair != '\0' && *pair != '#') {
        char* pairEnd = pair + std::strcspn(pair, "&#");
        char* equals = static_cast<char*>(std::memchr(pair, '=', size_t(pairEnd - pair)));
        if (equals != nullptr && isSecretKey(pair, equals))
            blank(equals + 1, pairEnd);
        if (*pairEnd != '&')
            break;
        pair = pairEnd + 1;
    }
}

void hidePasswordsInArguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (argv[i] != nullptr)
            hidePasswordsInArgument(argv[i]);
}

} // namespace velmora
