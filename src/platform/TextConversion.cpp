#include "TextConversion.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstring>

namespace {

constexpr char kDefaultCharacter = '?';

// The length of the UTF-8 sequence that starts with `lead`, or 1 for a stray byte.
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    return 1;
}

}  // namespace

std::string ConvertUtf8ToAnsi(const char* utf8) {
    if (utf8 == nullptr)
        return {};
    const char* codeset = nl_langinfo(CODESET);
    iconv_t converter = iconv_open(codeset, "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return utf8;

    std::string result;
    char* in = const_cast<char*>(utf8);
    std::size_t inLeft = std::strlen(utf8);
    char buffer[256];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t done = iconv(converter, &in, &inLeft, &out, &outLeft);
        result.append(buffer, static_cast<std::size_t>(out - buffer));
        if (done != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG)
            continue;
        // EILSEQ: a character the code page lacks, or malformed input; EINVAL: a sequence cut
        // short at the end. Either way one character becomes the default one.
        result.push_back(kDefaultCharacter);
        std::size_t skip = SequenceLength(static_cast<unsigned char>(*in));
        if (skip > inLeft)
            skip = inLeft;
        for (std::size_t i = 1; i < skip; ++i) {
            if ((static_cast<unsigned char>(in[i]) & 0xC0) != 0x80) {
                skip = i;
                break;
            }
        }
        in += skip;
        inLeft -= skip;
    }
    iconv_close(converter);
    return result;
}
